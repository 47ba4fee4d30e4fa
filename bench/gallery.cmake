# The window's gallery over the large generated DRM (first screen, full pass, peak memory); needs the window.
if(TARGET resmill_gui_lib)
  add_executable(gallery_bench gallery_bench.cpp)
  target_link_libraries(gallery_bench PRIVATE resmill_gui_lib resmill_warnings)
endif()
