# Picture conversions per picture over 1,000 pictures (bench/image-peers.sh compares with mogrify).
add_executable(image_bench image_bench.cpp)
target_link_libraries(image_bench PRIVATE resmill_core resmill_warnings)
