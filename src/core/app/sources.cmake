target_sources(resmill_core PRIVATE
  app/controller.cpp
  app/convert.cpp
  app/describe.cpp
  app/ops_build.cpp
  app/ops_drm.cpp
  app/ops_skin.cpp
  app/picture_catalogue.cpp
  app/picture_gallery.cpp
  app/settings.cpp
  app/work_tree.cpp
)
