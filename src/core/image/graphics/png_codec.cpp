// PNG through libpng. libpng's setjmp/longjmp error handling stays in this file.

#include <bit>
#include <csetjmp>
#include <cstring>
#include <memory>

#include <cstdlib>

#include <png.h>
#include <zlib.h>

#include "image/graphics/codecs.h"
#include "platform/byte_io.h"
#include "platform/error.h"

namespace resmill::image::graphics::codec {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};


}  // namespace

std::optional<PictureInfo> PngInfo(std::span<const std::uint8_t> data) {
  if (data.size() < 33 || std::memcmp(data.data(), kSignature, 8) != 0) return std::nullopt;
  if (std::memcmp(data.data() + 12, "IHDR", 4) != 0) return std::nullopt;
  std::uint32_t width = GetU32BE(data.data() + 16), height = GetU32BE(data.data() + 20);
  int depth = data[24], colourType = data[25];
  int channels = 0;
  switch (colourType) {
    case 0: channels = 1; break;
    case 2: channels = 3; break;
    case 3: channels = 1; break;
    case 4: channels = 2; break;
    case 6: channels = 4; break;
    default: return std::nullopt;
  }
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return std::nullopt;
  return PictureInfo{PictureFormat::Png, static_cast<int>(width), static_cast<int>(height), depth * channels};
}

namespace {

// The low-level interface: libpng reports fatal errors by longjmp to the setjmp
// below, in this file only. Everything that lives across a setjmp is on the heap
// (one state object) and is released by the object's destructor.
struct MemoryInput {
  std::span<const std::uint8_t> data;
  std::size_t position = 0;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
  if (length > in->data.size() - in->position) png_error(png, "file ends early");
  std::memcpy(out, in->data.data() + in->position, length);
  in->position += length;
}

void WriteToVector(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void FlushNothing(png_structp) {}
void IgnoreWarning(png_structp, png_const_charp) {}
// libpng's own handler prints to standard error before it jumps; a damaged PNG is
// reported once, by the caller, naming the file.
[[noreturn]] void JumpOnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// libpng sizes the buffer of a text or unknown chunk from the chunk's length field
// before it reads the data, so one damaged length asks for gigabytes. No single
// buffer of a picture we accept comes near this; a refused one is a damaged file.
constexpr png_alloc_size_t kMaxPngAllocation = png_alloc_size_t{64} << 20;
png_voidp BoundedMalloc(png_structp, png_alloc_size_t size) {
  return size <= kMaxPngAllocation ? std::malloc(size) : nullptr;
}
void PlainFree(png_structp, png_voidp pointer) { std::free(pointer); }

struct ReadState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  MemoryInput input;
  Bitmap bitmap;
  std::vector<png_bytep> rows;
  ~ReadState() { png_destroy_read_struct(&png, &info, nullptr); }
};

struct WriteState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<std::uint8_t> bytes;
  std::vector<png_bytep> rows;
  ~WriteState() { png_destroy_write_struct(&png, &info); }
};

static_assert(std::endian::native == std::endian::little, "Argb words are B G R A in memory");

}  // namespace

std::optional<Bitmap> DecodePng(std::span<const std::uint8_t> data) {
  if (!PngInfo(data)) return std::nullopt;
  auto state = std::make_unique<ReadState>();
  state->input.data = data;
  state->png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, IgnoreWarning, nullptr,
                                        BoundedMalloc, PlainFree);
  if (state->png == nullptr) return std::nullopt;
  state->info = png_create_info_struct(state->png);
  if (state->info == nullptr) return std::nullopt;
  if (setjmp(png_jmpbuf(state->png)) != 0) return std::nullopt;
  png_structp png = state->png;
  png_infop info = state->info;
  png_set_read_fn(png, &state->input, ReadFromMemory);
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_read_info(png, info);
  png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
  if (!SizeAcceptable(width, height)) return std::nullopt;
  // 8-bit RGB and RGBA, what nearly every picture is, arrive untransformed and are
  // widened or swapped here: libpng's general transforms cost several times as much.
  const int colourType = png_get_color_type(png, info);
  const bool plain = png_get_bit_depth(png, info) == 8 && png_get_interlace_type(png, info) == PNG_INTERLACE_NONE &&
                     png_get_valid(png, info, PNG_INFO_tRNS) == 0;
  const bool rgb = plain && colourType == PNG_COLOR_TYPE_RGB;
  const bool rgba = plain && colourType == PNG_COLOR_TYPE_RGB_ALPHA;
  if (!rgb && !rgba) {
    // Whatever the stored form, rows arrive as 8-bit B G R A.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
  }
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * (rgb ? 3 : 4)) return std::nullopt;
  state->bitmap = Bitmap(static_cast<int>(width), static_cast<int>(height));
  state->rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) {
    state->rows[y] = reinterpret_cast<png_bytep>(state->bitmap.Row(static_cast<int>(y)));
  }
  png_read_image(png, state->rows.data());
  if (rgb) {
    // Each row holds width R G B triples at its start; widened from the end so that
    // no triple is overwritten before it is read.
    for (png_uint_32 y = 0; y < height; ++y) {
      const std::uint8_t* in = state->rows[y];
      Argb* out = state->bitmap.Row(static_cast<int>(y));
      for (png_uint_32 x = width; x-- > 0;) {
        // One 4-byte load per triple; its fourth byte (still inside the row) is masked off.
        std::uint32_t rgbx;
        std::memcpy(&rgbx, in + 3 * std::size_t{x}, 4);
        out[x] = 0xFF000000u | ((rgbx & 0xFFu) << 16) | (rgbx & 0xFF00u) | ((rgbx >> 16) & 0xFFu);
      }
    }
  } else if (rgba) {
    for (Argb& c : state->bitmap.Pixels()) {
      c = (c & 0xFF00FF00u) | ((c >> 16) & 0xFFu) | ((c & 0xFFu) << 16);  // R G B A bytes to B G R A
    }
  }
  return std::move(state->bitmap);
}

std::vector<std::uint8_t> EncodePng(const Bitmap& bitmap) {
  if (bitmap.Empty()) throw Error(Error::Kind::Refused, "cannot write an empty picture as PNG");
  auto state = std::make_unique<WriteState>();
  state->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, IgnoreWarning);
  if (state->png != nullptr) state->info = png_create_info_struct(state->png);
  if (state->info == nullptr) throw Error(Error::Kind::Internal, "PNG encoder: out of memory");
  if (setjmp(png_jmpbuf(state->png)) != 0) throw Error(Error::Kind::Internal, "PNG encoder failed");
  png_structp png = state->png;
  png_infop info = state->info;
  const bool opaque = bitmap.IsOpaque();
  state->bytes.reserve(bitmap.Pixels().size() * 2 + 1024);
  png_set_write_fn(png, &state->bytes, WriteToVector, FlushNothing);
  // Paeth rows with run-length deflate: on picture content this is both smaller
  // and about twice as fast as zlib's default search with adaptive filtering.
  png_set_filter(png, 0, PNG_FILTER_PAETH);
  png_set_compression_strategy(png, Z_RLE);
  png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.Width()), static_cast<png_uint_32>(bitmap.Height()), 8,
               opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  // Without an alpha channel the file is a quarter smaller; the alpha bytes are dropped on the way.
  if (opaque) png_set_filler(png, 0, PNG_FILLER_AFTER);
  state->rows.resize(static_cast<std::size_t>(bitmap.Height()));
  for (int y = 0; y < bitmap.Height(); ++y) {
    state->rows[static_cast<std::size_t>(y)] = reinterpret_cast<png_bytep>(const_cast<Argb*>(bitmap.Row(y)));
  }
  png_write_image(png, state->rows.data());
  png_write_end(png, nullptr);
  return std::move(state->bytes);
}

}  // namespace resmill::image::graphics::codec
