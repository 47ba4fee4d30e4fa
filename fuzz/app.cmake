resmill_add_fuzzer(settings fuzz_settings.cpp)
