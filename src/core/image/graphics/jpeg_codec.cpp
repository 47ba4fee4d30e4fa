// JPEG through libjpeg-turbo. libjpeg reports fatal errors through a callback
// that must not return; it longjmps back here. Everything that lives across the
// setjmp is on the heap (one state object) and has no destructor to skip.

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <jpeglib.h>
#include <jerror.h>

#include "image/graphics/codecs.h"
#include "platform/error.h"

namespace resmill::image::graphics::codec {

static_assert(std::endian::native == std::endian::little, "the BGRA pixel layouts below assume little-endian");

namespace {

struct ErrorManager {
  jpeg_error_mgr base{};
  std::jmp_buf jump{};
  char message[JMSG_LENGTH_MAX] = {};
  bool truncated = false;
};

void OnFatalError(j_common_ptr info) {
  auto* errors = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, errors->message);
  std::longjmp(errors->jump, 1);
}
// Warnings stay silent, but a file that ends before its last scan is not a
// picture we hand on: libjpeg would fill the rest with grey.
void OnMessage(j_common_ptr info, int level) {
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    errors->truncated = true;
  }
}

struct ReadState {
  jpeg_decompress_struct info{};
  ErrorManager errors;
  std::vector<std::uint8_t> cmykRow;
  bool created = false;
  ~ReadState() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

bool HasJpegSignature(std::span<const std::uint8_t> data) {
  return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

std::unique_ptr<ReadState> StartReading(std::span<const std::uint8_t> data) {
  auto state = std::make_unique<ReadState>();
  state->info.err = jpeg_std_error(&state->errors.base);
  state->errors.base.error_exit = OnFatalError;
  state->errors.base.emit_message = OnMessage;
  jpeg_create_decompress(&state->info);
  state->created = true;
  jpeg_mem_src(&state->info, data.data(), static_cast<unsigned long>(data.size()));
  return state;
}

}  // namespace

std::optional<PictureInfo> JpegInfo(std::span<const std::uint8_t> data) {
  if (!HasJpegSignature(data)) return std::nullopt;
  std::unique_ptr<ReadState> state = StartReading(data);
  if (setjmp(state->errors.jump) != 0) return std::nullopt;
  jpeg_read_header(&state->info, TRUE);
  if (state->info.image_width == 0 || state->info.image_height == 0) return std::nullopt;
  return PictureInfo{PictureFormat::Jpeg, static_cast<int>(state->info.image_width),
                     static_cast<int>(state->info.image_height), 8 * state->info.num_components};
}

std::optional<Bitmap> DecodeJpeg(std::span<const std::uint8_t> data) {
  if (!HasJpegSignature(data)) return std::nullopt;
  std::unique_ptr<ReadState> state = StartReading(data);
  auto bitmap = std::make_unique<Bitmap>();
  if (setjmp(state->errors.jump) != 0) return std::nullopt;
  jpeg_decompress_struct& info = state->info;
  jpeg_read_header(&info, TRUE);
  if (!SizeAcceptable(info.image_width, info.image_height)) return std::nullopt;
  // libjpeg-turbo writes our Argb words directly (B G R A in memory on little-endian).
  info.out_color_space = JCS_EXT_BGRA;
  if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) info.out_color_space = JCS_CMYK;
  jpeg_start_decompress(&info);
  *bitmap = Bitmap(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
  std::vector<std::uint8_t>& cmykRow = state->cmykRow;
  if (info.out_color_space == JCS_CMYK) cmykRow.resize(static_cast<std::size_t>(info.output_width) * 4);
  while (info.output_scanline < info.output_height) {
    int y = static_cast<int>(info.output_scanline);
    if (info.out_color_space == JCS_CMYK) {
      JSAMPROW row = cmykRow.data();
      jpeg_read_scanlines(&info, &row, 1);
      // Adobe writes inverted CMYK; this is how every viewer shows such files.
      Argb* out = bitmap->Row(y);
      for (std::size_t x = 0; x < info.output_width; ++x) {
        const std::uint8_t* p = &cmykRow[4 * x];
        out[x] = MakeArgb(255, static_cast<std::uint8_t>(p[0] * p[3] / 255),
                          static_cast<std::uint8_t>(p[1] * p[3] / 255), static_cast<std::uint8_t>(p[2] * p[3] / 255));
      }
    } else {
      auto row = reinterpret_cast<JSAMPROW>(bitmap->Row(y));
      jpeg_read_scanlines(&info, &row, 1);
    }
  }
  jpeg_finish_decompress(&info);
  if (state->errors.truncated) return std::nullopt;
  return std::move(*bitmap);
}

namespace {
struct WriteState {
  jpeg_compress_struct info{};
  ErrorManager errors;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  bool created = false;
  ~WriteState() {
    if (created) jpeg_destroy_compress(&info);
    std::free(buffer);
  }
};
}  // namespace

std::vector<std::uint8_t> EncodeJpeg(const Bitmap& bitmap, int quality) {
  if (bitmap.Empty()) throw Error(Error::Kind::Refused, "cannot write an empty picture as JPEG");
  auto state = std::make_unique<WriteState>();
  state->info.err = jpeg_std_error(&state->errors.base);
  state->errors.base.error_exit = OnFatalError;
  state->errors.base.emit_message = OnMessage;
  if (setjmp(state->errors.jump) != 0) {
    throw Error(Error::Kind::Internal, std::string("JPEG encoder: ") + state->errors.message);
  }
  jpeg_compress_struct& info = state->info;
  jpeg_create_compress(&info);
  state->created = true;
  jpeg_mem_dest(&info, &state->buffer, &state->size);
  info.image_width = static_cast<JDIMENSION>(bitmap.Width());
  info.image_height = static_cast<JDIMENSION>(bitmap.Height());
  info.input_components = 4;
  info.in_color_space = JCS_EXT_BGRX;  // alpha has no place in JPEG: the colour is kept as it is
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    auto row = reinterpret_cast<JSAMPROW>(const_cast<Argb*>(bitmap.Row(static_cast<int>(info.next_scanline))));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  return std::vector<std::uint8_t>(state->buffer, state->buffer + state->size);
}

}  // namespace resmill::image::graphics::codec
