# What the flushes of durable outputs cost (a save, the state file, the end of Open).
add_executable(durable_bench durable_bench.cpp)
target_link_libraries(durable_bench PRIVATE resmill_core resmill_sample resmill_warnings)
