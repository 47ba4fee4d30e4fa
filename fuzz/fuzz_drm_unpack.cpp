// A DRM image comes from whatever flash file the user opens: the layout reader
// and the unpack must refuse a damaged one in order, never read or write out
// of bounds. An image that unpacks must also compile back without a fault.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "drm/compile.h"
#include "drm/drm_layout.h"
#include "drm/unpack.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace fs = std::filesystem;
  static const fs::path folder = [] {
    fs::path p = fs::temp_directory_path() / ("resmill-fuzz-drm-unpack-" + std::to_string(::getpid()));
    fs::create_directories(p);
    return p;
  }();
  const fs::path image = folder / "CG15.bin";
  const fs::path drmpack = folder / "drmpack";
  fs::remove_all(drmpack);
  fs::create_directories(drmpack / "icons");
  {
    std::ofstream out(image, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    // Thousands of empty pictures are valid but only slow the fuzzer down.
    resmill::BinaryFile file(image, resmill::BinaryFile::Mode::Read);
    std::int32_t variant = 0;
    resmill::drm::FindDrmMarker(file, variant);
    auto layout = resmill::drm::ReadDrmLayout(file, variant);
    if (layout.GifCount + layout.RawCount > 512) return 0;
  } catch (const resmill::Error&) {
  }
  resmill::NullProgress progress;
  try {
    resmill::drm::UnpackDrm(image, drmpack, false, progress);
  } catch (const resmill::Error&) {
    return 0;
  }
  try {
    resmill::drm::CompileDrm(drmpack, image, folder / "new.bin", false, progress);
  } catch (const resmill::Error&) {
  }
  return 0;
}
