# Sources of the image subsystem.
target_sources(resmill_core PRIVATE
)
