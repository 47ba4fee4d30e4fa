#pragma once
// Shared by the flash fuzz targets: the input becomes a flash file in a
// private temporary folder and is extracted into that folder. A damaged file
// must end in resmill::Error; a file that extracts must leave a complete set.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "flash/sbf_reader.h"
#include "flash/shx_reader.h"
#include "platform/error.h"

namespace resmill::fuzz {

template <typename Extract>
int ExtractFlashInput(const std::uint8_t* data, std::size_t size, const char* name, Extract extract) {
  namespace fs = std::filesystem;
  static const fs::path folder = [name] {
    fs::path p = fs::temp_directory_path() / (std::string("resmill-fuzz-") + name + "-" + std::to_string(::getpid()));
    fs::create_directories(p);
    return p;
  }();
  for (const auto& entry : fs::directory_iterator(folder)) fs::remove(entry.path());
  const fs::path input = folder / (std::string("input.") + name);
  {
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  NullProgress progress;
  bool found = false;
  try {
    found = extract(input, folder, progress);
  } catch (const Error&) {
    // A refused file leaves no code-group file and no collecting file.
    for (const auto& entry : fs::directory_iterator(folder)) {
      std::string file = entry.path().filename().string();
      if (file != "header.bin" && entry.path() != input) __builtin_trap();
    }
    return 0;
  }
  if (found && !fs::exists(folder / "RAMDLD.bin")) __builtin_trap();
  if (fs::exists(folder / "temp.bin")) __builtin_trap();
  return 0;
}

}  // namespace resmill::fuzz
