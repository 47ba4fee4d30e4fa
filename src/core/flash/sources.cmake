# Sources of the flash subsystem.
target_sources(resmill_core PRIVATE
  flash/code_groups.cpp
  flash/flash_header.cpp
  flash/sbf_reader.cpp
  flash/shx_reader.cpp
  flash/srec.cpp
  flash/superfile_verify.cpp
  flash/superfile_writer.cpp
)
