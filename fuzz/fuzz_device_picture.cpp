// RAW and K pictures from damaged skins and DRMs: decoding refuses or yields a
// picture, never reads or writes outside its buffers. The first two bytes give
// a RAW picture's width and height (its size tag); the rest is the file.

#include <cstdint>

#include "image/raw_picture.h"
#include "platform/error.h"

namespace image = resmill::image;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> bytes(data, size);
  try {
    auto k18 = image::DecodeKBytes(bytes, image::KLayout::Bits18, "fuzz.k");
    auto again = image::EncodeKBytes(k18, image::KLayout::Bits18, "fuzz.k");
    (void)again;
  } catch (const resmill::Error&) {
  }
  try {
    (void)image::DecodeKBytes(bytes, image::KLayout::Bits32, "fuzz.k");
  } catch (const resmill::Error&) {
  }
  if (size >= 2) {
    try {
      auto raw = image::DecodeRawBytes(bytes.subspan(2), data[0], data[1], "fuzz.raw");
      auto again = image::EncodeRawBytes(raw, "fuzz.raw");
      if (again.size() != image::RawFileLength(data[0], data[1])) __builtin_trap();
    } catch (const resmill::Error&) {
    }
  }
  return 0;
}
