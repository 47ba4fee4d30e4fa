# Fuzz targets of the build subsystem.
resmill_add_fuzzer(gif fuzz_gif.cpp)
resmill_add_fuzzer(port_table_line fuzz_port_table_line.cpp)
