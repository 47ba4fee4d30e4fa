# Sources of the skin subsystem.
target_sources(resmill_core PRIVATE
  skin/conv_list.cpp
  skin/image_converter.cpp
  skin/skin_format.cpp
  skin/skin_pack.cpp
  skin/skin_unpack.cpp
)
