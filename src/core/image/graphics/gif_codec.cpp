// GIF through giflib: the first frame placed on the logical screen, a check
// that every frame decodes, and single-image GIF89a writing from an indexed picture.

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include <gif_lib.h>

#include "image/graphics/codecs.h"
#include "platform/error.h"

namespace resmill::image::graphics::codec {

namespace {

struct MemoryReader {
  std::span<const std::uint8_t> data;
  std::size_t position = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buffer, int length) {
  auto* reader = static_cast<MemoryReader*>(gif->UserData);
  std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(length), reader->data.size() - reader->position);
  std::memcpy(buffer, reader->data.data() + reader->position, n);
  reader->position += n;
  return static_cast<int>(n);
}

int WriteToVector(GifFileType* gif, const GifByteType* buffer, int length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
  out->insert(out->end(), buffer, buffer + length);
  return length;
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifReader = std::unique_ptr<GifFileType, GifCloser>;

GifReader OpenReader(MemoryReader& reader) {
  int error = 0;
  return GifReader(DGifOpen(&reader, ReadFromMemory, &error));
}

bool HasGifSignature(std::span<const std::uint8_t> data) {
  return data.size() >= 6 && std::memcmp(data.data(), "GIF8", 4) == 0;
}

}  // namespace

std::optional<PictureInfo> GifInfo(std::span<const std::uint8_t> data) {
  // Logical screen descriptor: width, height (little-endian), packed flags.
  if (!HasGifSignature(data) || data.size() < 13) return std::nullopt;
  int width = data[6] | (data[7] << 8), height = data[8] | (data[9] << 8);
  if (width == 0 || height == 0) return std::nullopt;
  int bits = (data[10] & 0x80) ? (data[10] & 7) + 1 : 8;
  return PictureInfo{PictureFormat::Gif, width, height, bits};
}

std::optional<Bitmap> DecodeGif(std::span<const std::uint8_t> data) {
  if (!HasGifSignature(data)) return std::nullopt;
  MemoryReader reader{data};
  GifReader gif = OpenReader(reader);
  if (!gif) return std::nullopt;
  int transparent = -1;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) return std::nullopt;
    if (type == TERMINATE_RECORD_TYPE) return std::nullopt;  // no image at all
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) return std::nullopt;
      if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
        transparent = (block[1] & 1) ? block[4] : -1;
      }
      while (block != nullptr) {
        if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) return std::nullopt;
      }
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return std::nullopt;
    const GifImageDesc& frame = gif->Image;
    if (frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0) return std::nullopt;
    int screenWidth = gif->SWidth > 0 ? gif->SWidth : frame.Left + frame.Width;
    int screenHeight = gif->SHeight > 0 ? gif->SHeight : frame.Top + frame.Height;
    if (!SizeAcceptable(static_cast<std::uint64_t>(screenWidth), static_cast<std::uint64_t>(screenHeight)) ||
        !SizeAcceptable(static_cast<std::uint64_t>(frame.Width), static_cast<std::uint64_t>(frame.Height))) {
      return std::nullopt;
    }
    const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
    std::array<Argb, 256> colours{};
    for (int i = 0; i < 256; ++i) colours[i] = MakeArgb(255, 0, 0, 0);  // an index beyond the map reads as black
    if (map != nullptr) {
      for (int i = 0; i < std::min(map->ColorCount, 256); ++i) {
        const GifColorType& c = map->Colors[i];
        colours[i] = MakeArgb(255, c.Red, c.Green, c.Blue);
      }
    }
    if (transparent >= 0) colours[transparent] &= 0x00FFFFFFu;

    std::vector<GifPixelType> indices(static_cast<std::size_t>(frame.Width) * frame.Height);
    auto readRow = [&](int row) {
      return DGifGetLine(gif.get(), indices.data() + static_cast<std::size_t>(row) * frame.Width, frame.Width) !=
             GIF_ERROR;
    };
    if (frame.Interlace) {
      static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass) {
        for (int row = kStart[pass]; row < frame.Height; row += kStep[pass]) {
          if (!readRow(row)) return std::nullopt;
        }
      }
    } else {
      for (int row = 0; row < frame.Height; ++row) {
        if (!readRow(row)) return std::nullopt;
      }
    }

    // Screen area the first frame does not cover shows nothing: transparent.
    Bitmap bitmap(screenWidth, screenHeight, 0);
    int rows = std::min(frame.Height, screenHeight - std::min(frame.Top, screenHeight));
    int columns = std::min(frame.Width, screenWidth - std::min(frame.Left, screenWidth));
    for (int y = 0; y < rows; ++y) {
      const GifPixelType* in = indices.data() + static_cast<std::size_t>(y) * frame.Width;
      Argb* out = bitmap.Row(frame.Top + y) + frame.Left;
      for (int x = 0; x < columns; ++x) out[x] = colours[in[x]];
    }
    return bitmap;
  }
}

std::vector<std::uint8_t> EncodeIndexedGif(const IndexedPicture& picture) {
  if (picture.width <= 0 || picture.height <= 0 || picture.indices.size() !=
      static_cast<std::size_t>(picture.width) * picture.height) {
    throw Error(Error::Kind::Internal, "GIF encoder: picture and index sizes differ");
  }
  int count = static_cast<int>(picture.palette.size());
  if (count < 2 || count > 256 || (count & (count - 1)) != 0) {
    throw Error(Error::Kind::Internal, "GIF encoder: palette size is not a power of two");
  }
  std::vector<std::uint8_t> bytes;
  int error = 0;
  GifFileType* gif = EGifOpen(&bytes, WriteToVector, &error);
  if (gif == nullptr) throw Error(Error::Kind::Internal, std::string("GIF encoder: ") + GifErrorString(error));
  auto fail = [&](const char* what) {
    int closeError = 0;
    EGifCloseFile(gif, &closeError);
    throw Error(Error::Kind::Internal, std::string("GIF encoder: ") + what);
  };
  std::vector<GifColorType> colours(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    colours[i] = GifColorType{RedOf(picture.palette[i]), GreenOf(picture.palette[i]), BlueOf(picture.palette[i])};
  }
  ColorMapObject* map = GifMakeMapObject(count, colours.data());
  if (map == nullptr) fail("out of memory");
  EGifSetGifVersion(gif, true);
  int status = EGifPutScreenDesc(gif, picture.width, picture.height, 8, 0, map);
  GifFreeMapObject(map);
  if (status == GIF_ERROR) fail("screen descriptor");
  // Graphic Control Extension: no disposal, no delay, transparency flag and index.
  GifByteType control[4] = {static_cast<GifByteType>(picture.hasTransparent ? 1 : 0), 0, 0,
                            static_cast<GifByteType>(picture.hasTransparent ? kGifTransparentIndex : 0)};
  if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_ERROR) fail("control extension");
  if (EGifPutImageDesc(gif, 0, 0, picture.width, picture.height, false, nullptr) == GIF_ERROR) fail("image");
  for (int y = 0; y < picture.height; ++y) {
    auto* row = const_cast<GifPixelType*>(picture.indices.data() + static_cast<std::size_t>(y) * picture.width);
    if (EGifPutLine(gif, row, picture.width) == GIF_ERROR) fail("pixel data");
  }
  if (EGifCloseFile(gif, &error) == GIF_ERROR) {
    throw Error(Error::Kind::Internal, std::string("GIF encoder: ") + GifErrorString(error));
  }
  return bytes;
}

}  // namespace resmill::image::graphics::codec

namespace resmill::image::graphics {

bool EveryGifFrameDecodes(std::span<const std::uint8_t> data) {
  if (!codec::HasGifSignature(data)) return false;
  codec::MemoryReader reader{data};
  codec::GifReader gif = codec::OpenReader(reader);
  if (!gif) return false;
  std::vector<GifPixelType> row;
  int frames = 0;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) return false;
    if (type == TERMINATE_RECORD_TYPE) return frames > 0;
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) return false;
      while (block != nullptr) {
        if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) return false;
      }
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) return false;
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return false;
    const GifImageDesc& frame = gif->Image;
    if (frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0 ||
        !codec::SizeAcceptable(static_cast<std::uint64_t>(frame.Width), static_cast<std::uint64_t>(frame.Height))) {
      return false;
    }
    // The rows' order (interlaced or not) does not matter here: only that all of them decode,
    // after which giflib also reads on to the image data's terminator.
    row.resize(static_cast<std::size_t>(frame.Width));
    for (int y = 0; y < frame.Height; ++y) {
      if (DGifGetLine(gif.get(), row.data(), frame.Width) == GIF_ERROR) return false;
    }
    ++frames;
  }
}

}  // namespace resmill::image::graphics
