# Sources of the replacement subsystem (Build: pictures in place of icons).
target_sources(resmill_core PRIVATE
  replacement/apply_replacement.cpp
  replacement/build_setup.cpp
  replacement/gif_resize.cpp
  replacement/icon_size.cpp
  replacement/port_table.cpp
  replacement/preview.cpp
  replacement/replacement_check.cpp
)
