# Sources of the image subsystem.
target_sources(resmill_core PRIVATE
  image/graphics/bmp_codec.cpp
  image/graphics/gif_codec.cpp
  image/graphics/graphics.cpp
  image/graphics/jpeg_codec.cpp
  image/graphics/png_codec.cpp
  image/graphics/scale.cpp
  image/contact_sheet.cpp
  image/picture_convert.cpp
  image/raw_picture.cpp
  image/tiny_font.cpp
)
