# Sources of the flash subsystem.
target_sources(resmill_core PRIVATE
)
