# DRM layout reader, unpack and compile.
resmill_add_fuzzer(drm_unpack fuzz_drm_unpack.cpp)
resmill_add_fuzzer(drm_compile fuzz_drm_compile.cpp)
if(TARGET fuzz_drm_compile)
  target_link_libraries(fuzz_drm_compile PRIVATE resmill_sample)
endif()
