#pragma once
// The read-back of a compiled DRM image before it may take the output's name.
// It walks the same rebuild plan the compile wrote from: every byte of the
// file must be what the plan says. Then the file is read as Open would read
// it, and must show the areas where the plan put them.

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "drm/drm_rebuild.h"
#include "platform/binary_file.h"

namespace resmill::drm {

/// A fast 64-bit fingerprint of a byte stream, independent of how the stream is
/// cut into blocks. It tells a picture copied intact from a damaged one; it is no
/// defence against anyone crafting collisions.
class Fingerprint {
 public:
  void Add(std::span<const std::uint8_t> bytes);
  std::uint64_t Value() const;

 private:
  // Four independent chains, by byte position modulo 4, so they run side by side.
  std::uint64_t lanes_[4] = {0xcbf29ce484222325ull, 0x84222325cbf29ce4ull, 0x9ce484222325cbf2ull,
                             0x2325cbf29ce48422ull};
  std::uint64_t count_ = 0;
};

/// The fingerprints of the pictures as the compile copied them, in table order.
struct PictureFingerprints {
  std::vector<std::uint64_t> raws;  ///< RAW pictures 1 … RawCount
  std::vector<std::uint64_t> gifs;  ///< GIF-table pictures 1 … GifCount
};

/// Checks `written` against `plan` (made from the input image `input`): its
/// size, the kept bytes, the pictures, the padding, both tables and every
/// pointer word. A difference is a fault of the program (ThrowReadBackFailure,
/// naming `savedAs` and the offset).
/// Then reads the file with the variant rule, ReadDrmLayout and ReadDrmTables
/// of the unpack. When it does not read as the plan's new layout, the rules
/// cannot rebuild this DRM with these picture sizes (a layout pointer lies where
/// no pass moves it): Error::Kind::Format naming the input image, the pointer,
/// its offset and what it would name.
void VerifyCompiledDrm(const std::filesystem::path& written, const std::filesystem::path& savedAs, BinaryFile& input,
                       const DrmRebuildPlan& plan, const PictureFingerprints& pictures);

}  // namespace resmill::drm
