#pragma once
// DRM images for the tests, made by the sample builder with small pictures so
// that every test stays fast under the sanitizers.

#include <filesystem>
#include <string>
#include <vector>

#include "drm/drm_layout.h"
#include "drm/unpack.h"
#include "image/picture_convert.h"
#include "sample/drm_sample.h"
#include "test_support.h"

namespace resmill::test {

using sample::Bytes;

/// Picture bytes that are recognisable in the output: a GIF header and the number.
inline Bytes FakeGif(int number, std::size_t length) {
  Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
  b.resize(std::max<std::size_t>(length, 6), static_cast<std::uint8_t>(number));
  b.resize(length);
  return b;
}

inline sample::RawPicture FakeRaw(int width, int height, int seed) {
  return sample::DrawRaw(width, height, seed, seed % 2 == 0);
}

/// A variant-1 (or 0) recipe with `raws` RAW pictures of sizes 2x2 … and `gifs` fake GIFs of 10 + k bytes.
inline sample::DrmRecipe SmallRecipe(int variant, int raws, int gifs) {
  sample::DrmRecipe recipe;
  recipe.variant = variant;
  if (variant == 0) {
    recipe.headerAtEight = false;
    recipe.headerWord = 0x10B00040;
    recipe.markerOffset = 468;
  }
  for (int i = 1; i <= raws; ++i) recipe.raws.push_back(FakeRaw(1 + i % 5, 2 + i % 3, i));
  for (int k = 1; k <= gifs; ++k) recipe.gifs.push_back(FakeGif(k, static_cast<std::size_t>(10 + k)));
  return recipe;
}

/// A work folder laid out as the work tree's slot: CG15.bin and drmpack/icons.
struct Slot {
  TempDir dir;
  std::filesystem::path image = dir / "CG15.bin";
  std::filesystem::path drmpack = dir / "drmpack";
  std::filesystem::path icons = dir / "drmpack/icons";
  std::filesystem::path raws = dir / "drmpack/raws";

  Slot() { std::filesystem::create_directories(icons); }
  explicit Slot(const Bytes& bytes) : Slot() { WriteBytes(image, bytes); }

  drm::DrmLayout Unpack(bool convert = false) {
    NullProgress progress;
    return drm::UnpackDrm(image, drmpack, convert, progress);
  }
};

}  // namespace resmill::test
