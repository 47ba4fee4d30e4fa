# Flash reader and writer throughput (bench/flash-peers.sh compares it with srec_cat and objcopy).
add_executable(flash_bench flash_bench.cpp)
target_link_libraries(flash_bench PRIVATE resmill_core resmill_warnings)
