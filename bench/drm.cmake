# DRM unpack, compile and port on the large generated DRM (times and peak memory per step).
add_executable(drm_bench drm_bench.cpp)
target_link_libraries(drm_bench PRIVATE resmill_core resmill_sample resmill_warnings)
