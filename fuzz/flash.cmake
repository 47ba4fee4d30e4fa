# Fuzz targets of the flash readers.
resmill_add_fuzzer(srec fuzz_srec.cpp)
resmill_add_fuzzer(sbf fuzz_sbf.cpp)
