# GIF resize of the Build run (bench/gif-peers.sh compares it with gifsicle --resize).
add_executable(gif_bench gif_bench.cpp)
target_link_libraries(gif_bench PRIVATE resmill_core resmill_warnings)
