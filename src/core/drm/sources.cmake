# Sources of the drm subsystem.
target_sources(resmill_core PRIVATE
  drm/compile.cpp
  drm/compile_verify.cpp
  drm/drm_layout.cpp
  drm/drm_pictures.cpp
  drm/drm_rebuild.cpp
  drm/picture_folder.cpp
  drm/port.cpp
  drm/unpack.cpp
)
