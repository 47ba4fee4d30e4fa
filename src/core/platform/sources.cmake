target_sources(resmill_core PRIVATE
  platform/atomic_output.cpp
  platform/binary_file.cpp
  platform/byte_io.cpp
  platform/error.cpp
  platform/file_system.cpp
  platform/folder_lock.cpp
)
