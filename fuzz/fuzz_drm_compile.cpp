// descr.dat sits in the work tree between two runs and may be damaged or
// stem from another DRM: the compile must check it against the image and
// refuse a mismatch. A descr.dat it accepts must describe the image exactly,
// so the unchanged tree compiles back to the very same bytes.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "drm/compile.h"
#include "drm/unpack.h"
#include "platform/error.h"
#include "sample/drm_sample.h"

namespace {
namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), {});
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace resmill;
  static NullProgress progress;
  static const fs::path folder = [] {
    fs::path p = fs::temp_directory_path() / ("resmill-fuzz-drm-compile-" + std::to_string(::getpid()));
    fs::remove_all(p);
    fs::create_directories(p / "drmpack/icons");
    sample::DrmRecipe recipe;
    recipe.raws = {sample::DrawRaw(3, 2, 1, true), sample::DrawRaw(4, 4, 2, false)};
    recipe.gifs = {sample::DrawGif(4, 4, 1, false, 1), sample::DrawBmp(2, 2, 1), {}};
    sample::WriteFile((p / "CG15.bin").string(), sample::BuildDrmImage(recipe));
    drm::UnpackDrm(p / "CG15.bin", p / "drmpack", false, progress);
    return p;
  }();
  static const std::vector<std::uint8_t> image = ReadAll(folder / "CG15.bin");
  {
    std::ofstream out(folder / "drmpack/descr.dat", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  fs::remove(folder / "new.bin");
  try {
    drm::CompileDrm(folder / "drmpack", folder / "CG15.bin", folder / "new.bin", false, progress);
  } catch (const Error&) {
    if (fs::exists(folder / "new.bin")) __builtin_trap();  // a refusal writes nothing
    return 0;
  }
  if (ReadAll(folder / "new.bin") != image) __builtin_trap();
  return 0;
}
