# Sources of the skin subsystem.
target_sources(resmill_core PRIVATE
)
