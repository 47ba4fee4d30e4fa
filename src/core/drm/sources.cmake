# Sources of the drm subsystem.
target_sources(resmill_core PRIVATE
)
