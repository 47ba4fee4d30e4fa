// GIF through giflib: the first frame placed on the logical screen (pictures),
// whole animations read with DGifSlurp and written with EGifSpew.

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include <fmt/format.h>
#include <gif_lib.h>

#include "image/graphics/codecs.h"
#include "image/graphics/gif_animation.h"
#include "platform/error.h"

namespace resmill::image::graphics {

namespace {

constexpr GifByteType kTrailerByte = 0x3B;

// giflib reads through this. A file that ends without its trailer gets one, once:
// a file cut at a record boundary then ends cleanly, and one cut inside a record
// still fails where it is cut.
struct MemoryReader {
  std::span<const std::uint8_t> data;
  std::size_t position = 0;
  bool trailerGiven = false;
  std::size_t Offset() const { return std::min(position, data.size()); }
};

int ReadFromMemory(GifFileType* gif, GifByteType* buffer, int length) {
  auto* reader = static_cast<MemoryReader*>(gif->UserData);
  std::size_t left = reader->data.size() - std::min(reader->position, reader->data.size());
  std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(length), left);
  std::memcpy(buffer, reader->data.data() + reader->position, n);
  reader->position += n;
  if (n < static_cast<std::size_t>(length) && !reader->trailerGiven &&
      (reader->data.empty() || reader->data.back() != kTrailerByte)) {
    reader->trailerGiven = true;
    buffer[n++] = kTrailerByte;
  }
  return static_cast<int>(n);
}

// giflib writes through this; it is called from C, so nothing may be thrown through it.
struct MemoryWriter {
  std::vector<std::uint8_t> bytes;
  bool failed = false;
};

int WriteToMemory(GifFileType* gif, const GifByteType* buffer, int length) {
  auto* writer = static_cast<MemoryWriter*>(gif->UserData);
  try {
    writer->bytes.insert(writer->bytes.end(), buffer, buffer + length);
    return length;
  } catch (const std::bad_alloc&) {
    writer->failed = true;
    return 0;
  }
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifReader = std::unique_ptr<GifFileType, GifCloser>;

GifReader OpenReader(MemoryReader& reader, int* error) { return GifReader(DGifOpen(&reader, ReadFromMemory, error)); }

bool HasGifSignature(std::span<const std::uint8_t> data) {
  return data.size() >= 6 && std::memcmp(data.data(), "GIF8", 4) == 0;
}

// The colours of a frame's indices: its table with the transparent index cleared.
std::array<Argb, 256> ColoursOf(const ColorMapObject* map, int transparentIndex) {
  std::array<Argb, 256> colours;
  colours.fill(MakeArgb(255, 0, 0, 0));  // an index beyond the table reads as black
  if (map != nullptr && map->Colors != nullptr) {
    for (int i = 0; i < std::min(map->ColorCount, 256); ++i) {
      const GifColorType& c = map->Colors[i];
      colours[static_cast<std::size_t>(i)] = MakeArgb(255, c.Red, c.Green, c.Blue);
    }
  }
  if (transparentIndex >= 0 && transparentIndex < 256) {
    colours[static_cast<std::size_t>(transparentIndex)] &= 0x00FFFFFFu;
  }
  return colours;
}

// A width × height picture with the frame's pixels drawn from (left, top); what the
// frame does not cover (and what lies beyond the picture) is transparent.
Bitmap Place(const GifSourceFrame& frame, int left, int top, int width, int height) {
  Bitmap picture(width, height, 0);
  int columns = std::clamp(width - left, 0, frame.width);
  int rows = std::clamp(height - top, 0, frame.height);
  for (int y = 0; y < rows; ++y) {
    const std::uint8_t* in = frame.indices.data() + static_cast<std::size_t>(y) * frame.width;
    Argb* out = picture.Row(top + y) + left;
    for (int x = 0; x < columns; ++x) out[x] = frame.colours[in[x]];
  }
  return picture;
}

[[noreturn]] void ThrowGifError(const std::filesystem::path& file, std::size_t offset, std::string_view what) {
  ThrowFormatError(file, fmt::format("offset {}", HexOffset(offset)), what);
}

std::string GifReason(int error) {
  // Reading from memory fails only where the bytes end.
  if (error == D_GIF_ERR_READ_FAILED) return "the file ends inside a block";
  const char* text = GifErrorString(error);
  return text != nullptr ? text : fmt::format("giflib error {}", error);
}

// Walks the records through giflib without decoding any image: the frame count,
// cheaply, and a refusal of a file whose frames declare more than `pixelLimit`
// pixels together before DGifSlurp allocates them all.
std::size_t WalkFrames(std::span<const std::uint8_t> data, const std::filesystem::path& file,
                       std::uint64_t pixelLimit) {
  if (!HasGifSignature(data)) ThrowGifError(file, 0, "not a GIF file (no GIF8 signature)");
  MemoryReader reader{data};
  int error = 0;
  GifReader gif = OpenReader(reader, &error);
  if (!gif) ThrowGifError(file, reader.Offset(), GifReason(error));
  auto fail = [&] { ThrowGifError(file, reader.Offset(), GifReason(gif->Error)); };
  std::uint64_t pixels = 0;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) fail();
    if (type == TERMINATE_RECORD_TYPE) return static_cast<std::size_t>(gif->ImageCount);
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) fail();
      while (block != nullptr) {
        if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) fail();
      }
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    std::size_t at = reader.Offset();
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) fail();
    const GifImageDesc& frame = gif->Image;
    if (frame.Left < 0 || frame.Top < 0 ||
        !codec::SizeAcceptable(static_cast<std::uint64_t>(std::max(frame.Width, 0)),
                               static_cast<std::uint64_t>(std::max(frame.Height, 0)))) {
      ThrowGifError(file, at, fmt::format("frame {} of {} x {} pixels", gif->ImageCount, frame.Width, frame.Height));
    }
    pixels += static_cast<std::uint64_t>(frame.Width) * static_cast<std::uint64_t>(frame.Height);
    if (pixels > pixelLimit) {
      throw Error(Error::Kind::Limit, fmt::format("{}: its first {} frames hold more than {} pixels together",
                                                  file.string(), gif->ImageCount, pixelLimit));
    }
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif.get(), &codeSize, &block) == GIF_ERROR) fail();
    while (block != nullptr) {
      if (DGifGetCodeNext(gif.get(), &block) == GIF_ERROR) fail();
    }
  }
}

std::optional<GifApplicationBlock> ApplicationBlockAt(const ExtensionBlock* blocks, int count, int i) {
  const ExtensionBlock& head = blocks[i];
  if (head.Function != APPLICATION_EXT_FUNC_CODE || head.ByteCount != 11 || head.Bytes == nullptr) return std::nullopt;
  GifApplicationBlock block;
  block.identifier.assign(reinterpret_cast<const char*>(head.Bytes), 11);
  for (int j = i + 1; j < count && blocks[j].Function == CONTINUE_EXT_FUNC_CODE; ++j) {
    const ExtensionBlock& sub = blocks[j];
    block.subBlocks.emplace_back(sub.Bytes, sub.Bytes + std::max(sub.ByteCount, 0));
  }
  return block;
}

// The looping block wins over any application extension met after it: writers add
// their own (ImageMagick one per frame), and keeping one of those instead would stop the loop.
void NoteApplicationBlocks(const ExtensionBlock* blocks, int count, std::optional<GifApplicationBlock>& kept) {
  for (int i = 0; i < count; ++i) {
    std::optional<GifApplicationBlock> block = ApplicationBlockAt(blocks, count, i);
    if (block && (block->IsLoop() || !kept || !kept->IsLoop())) kept = std::move(block);
  }
}

}  // namespace

std::size_t CountGifFrames(std::span<const std::uint8_t> data, const std::filesystem::path& file) {
  return WalkFrames(data, file, std::numeric_limits<std::uint64_t>::max());
}

bool GifApplicationBlock::IsLoop() const { return identifier == "NETSCAPE2.0" || identifier == "ANIMEXTS1.0"; }

Bitmap GifSourceFrame::Pixels() const { return Place(*this, 0, 0, width, height); }

Bitmap GifSourceFrame::OnScreen(int screenWidth, int screenHeight) const {
  return Place(*this, left, top, screenWidth, screenHeight);
}

GifAnimation DecodeGifAnimation(std::span<const std::uint8_t> data, const std::filesystem::path& file) {
  WalkFrames(data, file, kMaxPixels);
  MemoryReader reader{data};
  int error = 0;
  GifReader gif = OpenReader(reader, &error);
  if (!gif) ThrowGifError(file, reader.Offset(), GifReason(error));
  if (DGifSlurp(gif.get()) == GIF_ERROR) {
    if (gif->Error == D_GIF_ERR_NO_IMAG_DSCR) ThrowFormatError(file, "", "the GIF holds no frame");
    std::string reason = GifReason(gif->Error);
    ThrowGifError(file, reader.Offset(),
                  gif->ImageCount > 0 ? fmt::format("frame {}: {}", gif->ImageCount, reason) : reason);
  }
  if (gif->ImageCount <= 0) ThrowFormatError(file, "", "the GIF holds no frame");

  GifAnimation animation;
  animation.width = gif->SWidth;
  animation.height = gif->SHeight;
  animation.frames.reserve(static_cast<std::size_t>(gif->ImageCount));
  for (int k = 0; k < gif->ImageCount; ++k) {
    const SavedImage& image = gif->SavedImages[k];
    GifSourceFrame frame;
    frame.left = image.ImageDesc.Left;
    frame.top = image.ImageDesc.Top;
    frame.width = image.ImageDesc.Width;
    frame.height = image.ImageDesc.Height;
    GraphicsControlBlock control{};
    // A damaged control block (not 4 bytes long) counts as none, as viewers take it.
    if (DGifSavedExtensionToGCB(gif.get(), k, &control) == GIF_OK) {
      frame.control = {control.DisposalMode, control.DelayTime, control.UserInputFlag};
      frame.transparentIndex = control.TransparentColor;
    }
    const ColorMapObject* map = image.ImageDesc.ColorMap != nullptr ? image.ImageDesc.ColorMap : gif->SColorMap;
    frame.colours = ColoursOf(map, frame.transparentIndex);
    const std::size_t pixels = static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height);
    frame.indices.assign(image.RasterBits, image.RasterBits + pixels);
    animation.frames.push_back(std::move(frame));
    NoteApplicationBlocks(image.ExtensionBlocks, image.ExtensionBlockCount, animation.application);
  }
  NoteApplicationBlocks(gif->ExtensionBlocks, gif->ExtensionBlockCount, animation.application);
  // A file that gives no screen is drawn on one as large as its frames reach.
  if (animation.width <= 0 || animation.height <= 0) {
    for (const GifSourceFrame& frame : animation.frames) {
      animation.width = std::max(animation.width, frame.left + frame.width);
      animation.height = std::max(animation.height, frame.top + frame.height);
    }
  }
  const auto screenWidth = static_cast<std::uint64_t>(animation.width);
  if (!codec::SizeAcceptable(screenWidth, static_cast<std::uint64_t>(animation.height))) {
    throw Error(Error::Kind::Limit, fmt::format("{}: a screen of {} x {} pixels is larger than a picture may be",
                                                file.string(), animation.width, animation.height));
  }
  return animation;
}

namespace {

struct MapDelete {
  void operator()(ColorMapObject* map) const noexcept { GifFreeMapObject(map); }
};
using ColourMap = std::unique_ptr<ColorMapObject, MapDelete>;

ColourMap MapOf(const IndexedPicture& picture) {
  std::vector<GifColorType> colours(picture.palette.size());
  for (std::size_t i = 0; i < colours.size(); ++i) {
    Argb c = picture.palette[i];
    colours[i] = GifColorType{RedOf(c), GreenOf(c), BlueOf(c)};
  }
  ColourMap map(GifMakeMapObject(static_cast<int>(colours.size()), colours.data()));
  if (!map) throw std::bad_alloc();
  return map;
}

void CheckPicture(const IndexedPicture& picture) {
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.indices.size() != static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height)) {
    throw Error(Error::Kind::Internal, "GIF encoder: picture and index sizes differ");
  }
  std::size_t count = picture.palette.size();
  if (count < 2 || count > 256 || (count & (count - 1)) != 0) {
    throw Error(Error::Kind::Internal, "GIF encoder: palette size is not a power of two");
  }
}

// The file EGifSpew writes from, and what of it stays ours to free. EGifSpew closes
// the file (freeing the GifFileType) when it succeeds; giflib 5.2.1 and older then
// leave the saved images alone, and the screen descriptor writer replaces the
// global colour map by a copy without freeing ours.
class SpewFile {
 public:
  explicit SpewFile(MemoryWriter& writer) {
    int error = 0;
    gif_ = EGifOpen(&writer, WriteToMemory, &error);
    if (gif_ == nullptr) throw Error(Error::Kind::Internal, "GIF encoder: " + GifReason(error));
  }
  ~SpewFile() {
    if (gif_ != nullptr) {
      int error = 0;
      images_ = gif_->SavedImages;
      imageCount_ = gif_->ImageCount;
      if (gif_->SColorMap == globalMap_) globalMap_ = nullptr;  // still the file's: closing frees it
      EGifCloseFile(gif_, &error);
    }
#if GIFLIB_MAJOR < 5 || (GIFLIB_MAJOR == 5 && (GIFLIB_MINOR < 2 || (GIFLIB_MINOR == 2 && GIFLIB_RELEASE <= 1)))
    GifFileType images{};
    images.SavedImages = images_;
    images.ImageCount = imageCount_;
    GifFreeSavedImages(&images);
    if (globalMap_ != nullptr) GifFreeMapObject(globalMap_);
#endif
  }
  SpewFile(const SpewFile&) = delete;
  SpewFile& operator=(const SpewFile&) = delete;

  GifFileType* Get() const { return gif_; }
  void SetGlobalMap(ColourMap map) { gif_->SColorMap = globalMap_ = map.release(); }
  /// Writes and closes the file; false when giflib failed.
  bool Spew() {
    images_ = gif_->SavedImages;
    imageCount_ = gif_->ImageCount;
    if (EGifSpew(gif_) == GIF_ERROR) {
      error_ = gif_->Error;
      return false;
    }
    gif_ = nullptr;
    return true;
  }
  int GifError() const { return error_; }

 private:
  GifFileType* gif_ = nullptr;
  ColorMapObject* globalMap_ = nullptr;
  SavedImage* images_ = nullptr;
  int imageCount_ = 0;
  int error_ = 0;
};

}  // namespace

std::vector<std::uint8_t> EncodeGifAnimation(int width, int height, std::span<const GifOutputFrame> frames,
                                             const GifApplicationBlock* application) {
  if (frames.empty()) throw Error(Error::Kind::Internal, "GIF encoder: no frame to write");
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
    throw Error(Error::Kind::Internal, fmt::format("GIF encoder: a screen of {} x {} pixels", width, height));
  }
  MemoryWriter writer;
  {
    SpewFile file(writer);
    GifFileType* gif = file.Get();
    gif->SWidth = width;
    gif->SHeight = height;
    gif->SColorResolution = 8;
    gif->SBackGroundColor = 0;
    gif->AspectByte = 0;
    const IndexedPicture& first = frames.front().picture;
    CheckPicture(first);
    file.SetGlobalMap(MapOf(first));
    // giflib 5.2.1 loses the copy it makes of a frame's own colour map when the
    // next frame has none; so once a frame has its own map, every later one gets
    // one too (the screen's colours again, where they are the same).
    bool ownMaps = false;
    for (std::size_t k = 0; k < frames.size(); ++k) {
      const GifOutputFrame& frame = frames[k];
      CheckPicture(frame.picture);
      if (frame.left < 0 || frame.top < 0 || frame.left + frame.picture.width > width ||
          frame.top + frame.picture.height > height) {
        throw Error(Error::Kind::Internal, fmt::format("GIF encoder: frame {} lies off the screen", k + 1));
      }
      SavedImage* image = GifMakeSavedImage(gif, nullptr);
      if (image == nullptr) throw std::bad_alloc();
      image->ImageDesc.Left = frame.left;
      image->ImageDesc.Top = frame.top;
      image->ImageDesc.Width = frame.picture.width;
      image->ImageDesc.Height = frame.picture.height;
      image->ImageDesc.Interlace = false;
      ownMaps = ownMaps || (k != 0 && frame.picture.palette != first.palette);
      if (ownMaps) image->ImageDesc.ColorMap = MapOf(frame.picture).release();
      image->RasterBits = static_cast<GifByteType*>(std::malloc(frame.picture.indices.size()));
      if (image->RasterBits == nullptr) throw std::bad_alloc();
      std::memcpy(image->RasterBits, frame.picture.indices.data(), frame.picture.indices.size());
      if (k == 0 && application != nullptr) {
        std::string id = application->identifier;
        id.resize(11, ' ');
        auto* bytes = reinterpret_cast<unsigned char*>(id.data());
        if (GifAddExtensionBlock(&image->ExtensionBlockCount, &image->ExtensionBlocks, APPLICATION_EXT_FUNC_CODE,
                                 11, bytes) == GIF_ERROR) {
          throw std::bad_alloc();
        }
        for (const std::vector<std::uint8_t>& sub : application->subBlocks) {
          std::vector<unsigned char> copy(sub.begin(), sub.end());
          if (GifAddExtensionBlock(&image->ExtensionBlockCount, &image->ExtensionBlocks, CONTINUE_EXT_FUNC_CODE,
                                   static_cast<unsigned>(copy.size()), copy.data()) == GIF_ERROR) {
            throw std::bad_alloc();
          }
        }
      }
      GraphicsControlBlock control{};
      control.DisposalMode = frame.control.disposal;
      control.UserInputFlag = frame.control.userInput;
      control.DelayTime = std::clamp(frame.control.delay, 0, 0xFFFF);
      control.TransparentColor = frame.picture.hasTransparent ? kGifTransparentIndex : NO_TRANSPARENT_COLOR;
      if (EGifGCBToSavedExtension(&control, gif, static_cast<int>(k)) == GIF_ERROR) throw std::bad_alloc();
    }
    if (!file.Spew() || writer.failed) {
      throw Error(Error::Kind::Internal,
                  "GIF encoder: " + (writer.failed ? std::string("out of memory") : GifReason(file.GifError())));
    }
  }
  return std::move(writer.bytes);
}

namespace codec {

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
  int error = 0;
  GifReader gif = OpenReader(reader, &error);
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
    const GifImageDesc& desc = gif->Image;
    if (desc.Width <= 0 || desc.Height <= 0 || desc.Left < 0 || desc.Top < 0) return std::nullopt;
    int screenWidth = gif->SWidth > 0 ? gif->SWidth : desc.Left + desc.Width;
    int screenHeight = gif->SHeight > 0 ? gif->SHeight : desc.Top + desc.Height;
    if (!SizeAcceptable(static_cast<std::uint64_t>(screenWidth), static_cast<std::uint64_t>(screenHeight)) ||
        !SizeAcceptable(static_cast<std::uint64_t>(desc.Width), static_cast<std::uint64_t>(desc.Height))) {
      return std::nullopt;
    }
    GifSourceFrame frame;
    frame.left = desc.Left;
    frame.top = desc.Top;
    frame.width = desc.Width;
    frame.height = desc.Height;
    frame.colours = ColoursOf(desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap, transparent);
    frame.indices.resize(static_cast<std::size_t>(desc.Width) * static_cast<std::size_t>(desc.Height));
    auto readRow = [&](int row) {
      return DGifGetLine(gif.get(), frame.indices.data() + static_cast<std::size_t>(row) * desc.Width, desc.Width) !=
             GIF_ERROR;
    };
    if (desc.Interlace) {
      static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass) {
        for (int row = kStart[pass]; row < desc.Height; row += kStep[pass]) {
          if (!readRow(row)) return std::nullopt;
        }
      }
    } else {
      for (int row = 0; row < desc.Height; ++row) {
        if (!readRow(row)) return std::nullopt;
      }
    }
    return frame.OnScreen(screenWidth, screenHeight);
  }
}

}  // namespace codec

// Slurping decodes every frame; a picture that fails anywhere in it is not one a pairing may store.
bool EveryGifFrameDecodes(std::span<const std::uint8_t> data) {
  try {
    return !DecodeGifAnimation(data, {}).frames.empty();
  } catch (const Error&) {
    return false;
  }
}

}  // namespace resmill::image::graphics
