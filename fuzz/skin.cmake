# The skin unpack on arbitrary bytes.
resmill_add_fuzzer(skin fuzz_skin.cpp)
