// Skins come from anywhere: whatever bytes a skin file holds, the unpack must
// refuse it with an error or write its pictures inside the folder it was
// given, never crash, never read or write out of bounds.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "image/picture_convert.h"
#include "platform/binary_file.h"
#include "platform/error.h"
#include "platform/user_interface.h"
#include "skin/picture_converter.h"
#include "skin/skin_format.h"
#include "skin/skin_unpack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace fs = std::filesystem;
  struct Scratch {
    fs::path path = fs::temp_directory_path() / ("resmill-fuzz-skin-" + std::to_string(::getpid()));
    Scratch() { fs::create_directories(path); }
    ~Scratch() {
      std::error_code ec;
      fs::remove_all(path, ec);
    }
  };
  static const Scratch scratch;
  const fs::path& base = scratch.path;
  const fs::path skinFile = base / "in.ezx";
  const fs::path folder = base / "work" / "drmpack";
  fs::remove_all(base / "work");
  fs::create_directories(base / "work");
  {
    std::ofstream out(skinFile, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }

  try {
    resmill::BinaryFile skin(skinFile, resmill::BinaryFile::Mode::Read);
    resmill::skin::ReadOptions listing;
    listing.requireFileNames = false;
    (void)resmill::skin::ReadSkinDirectory(skin, listing);
  } catch (const resmill::Error&) {
  }

  resmill::skin::ImageConverter converter;
  resmill::NullProgress progress;
  try {
    // Odd sizes also run the picture conversions over whatever the entries hold.
    resmill::skin::UnpackSkin(skinFile, folder, size % 2 == 1, converter, progress);
  } catch (const resmill::Error&) {
  }

  // Nothing may appear beside the folder the unpack was given.
  for (const auto& entry : fs::directory_iterator(base / "work")) {
    if (entry.path().filename() != "drmpack") __builtin_trap();
  }
  for (const auto& entry : fs::directory_iterator(base)) {
    std::string name = entry.path().filename().string();
    if (name != "in.ezx" && name != "work") __builtin_trap();
  }
  return 0;
}
