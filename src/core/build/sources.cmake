# Sources of the build subsystem.
target_sources(resmill_core PRIVATE
  build/apply_replacement.cpp
  build/build_setup.cpp
  build/gif_resize.cpp
  build/icon_size.cpp
  build/port_table.cpp
  build/preview.cpp
  build/replacement_check.cpp
)
