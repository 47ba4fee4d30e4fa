# Sources of the build subsystem.
target_sources(resmill_core PRIVATE
)
