// The settings and state files are read at every start: whatever a damaged
// file holds, reading it must give valid values, never a crash.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "app/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace fs = std::filesystem;
  static const fs::path folder = [] {
    fs::path p = fs::temp_directory_path() / ("resmill-fuzz-settings-" + std::to_string(::getpid()));
    fs::create_directories(p);
    return p;
  }();
  {
    std::ofstream out(folder / "resmill.ini", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::filesystem::copy_file(folder / "resmill.ini", folder / "shxdata.dat", fs::copy_options::overwrite_existing);
  resmill::app::Settings settings = resmill::app::LoadSettings(folder / "resmill.ini", folder);
  (void)settings;
  auto flags = resmill::app::ReadStateFile(folder / "shxdata.dat");
  if (flags && !resmill::app::IsValidStageFlags(*flags)) __builtin_trap();
  return 0;
}
