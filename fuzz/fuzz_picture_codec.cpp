// Ordinary picture files come from anywhere: whatever the bytes, a decoder
// gives a picture or nothing, never a crash, and what it gives can be written
// and read back. One program per codec (RESMILL_FUZZ_CODEC selects it).

#include <cstdint>

#include "image/graphics/codecs.h"
#include "image/graphics/graphics.h"

namespace gfx = resmill::image::graphics;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> bytes(data, size);
#if RESMILL_FUZZ_CODEC == 1
  auto info = gfx::codec::BmpInfo(bytes);
  auto bitmap = gfx::codec::DecodeBmp(bytes);
  const char* mime = "image/bmp";
#elif RESMILL_FUZZ_CODEC == 2
  auto info = gfx::codec::GifInfo(bytes);
  auto bitmap = gfx::codec::DecodeGif(bytes);
  const char* mime = "image/gif";
#elif RESMILL_FUZZ_CODEC == 3
  auto info = gfx::codec::PngInfo(bytes);
  auto bitmap = gfx::codec::DecodePng(bytes);
  const char* mime = "image/png";
#else
  auto info = gfx::codec::JpegInfo(bytes);
  auto bitmap = gfx::codec::DecodeJpeg(bytes);
  const char* mime = "image/jpeg";
#endif
  (void)info;
  if (!bitmap || bitmap->Pixels().size() > 4096) return 0;
  std::vector<std::uint8_t> again = gfx::EncodeBitmap(*bitmap, gfx::FindEncoderByMime(mime));
  auto back = gfx::LoadBitmapFromMemory(again);
  if (!back || back->Width() != bitmap->Width() || back->Height() != bitmap->Height()) __builtin_trap();
  return 0;
}
