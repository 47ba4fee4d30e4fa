#pragma once
// The read-back of a compiled DRM image before it may take the output's name:
// the pictures of the tree where the tables say, the tables as rebuilt, the
// moved pointers on what they named, and every other byte as in the input.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

#include "drm/drm_layout.h"
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

/// One picture as the compile copied it into the new image.
struct CompiledPicture {
  int width = 0;   ///< RAW pictures: the size put into the table (0 for a skipped picture)
  int height = 0;
  std::int64_t length = 0;  ///< bytes copied (0 for a skipped picture)
  std::uint64_t fingerprint = Fingerprint().Value();
};

/// What the compile put into the new image, in table order.
struct CompiledPictures {
  std::vector<CompiledPicture> raws;  ///< RAW pictures 1 … RawCount
  std::vector<CompiledPicture> gifs;  ///< GIF-table pictures 1 … GifCount
};

/// Reads `written` back against the input image `input` (whose layout is
/// `inputLayout`) and the pictures copied: the layout reader must find the areas
/// where the pictures put them; the RAW and GIF tables must describe exactly those
/// pictures, in order, with their sizes, and the bytes there must be theirs; every
/// pointer of the header pointer table and the resource directory that named an
/// area boundary or a kept byte must name the same in the new image; every byte
/// outside the rebuilt areas must equal the input's byte at its shifted place.
/// Throws resmill::Error (Kind::Internal) naming `savedAs`, what differs and the offset.
void VerifyCompiledDrm(const std::filesystem::path& written, const std::filesystem::path& savedAs, BinaryFile& input,
                       const DrmLayout& inputLayout, const CompiledPictures& pictures);

}  // namespace resmill::drm
