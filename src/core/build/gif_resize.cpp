#include "build/gif_resize.h"

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

#include "build/icon_size.h"
#include "image/graphics/graphics.h"
#include "image/picture_convert.h"
#include "platform/atomic_output.h"
#include "platform/binary_file.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill::build {

namespace {

// Icons and their animations are small; a source far beyond this is not an icon
// and would only tie up memory and the temporary folder.
constexpr std::int64_t kMaxSourceBytes = 64 * 1024 * 1024;

constexpr std::string_view kSourceFramePrefix = "tempn";
constexpr std::string_view kRedrawnFramePrefix = "temp1n";

std::size_t ColourTableBytes(std::uint8_t packed) {
  return (packed & 0x80) ? 3u * (std::size_t{2} << (packed & 7)) : 0;
}

bool IsLoopingBlock(std::span<const std::uint8_t> block) {
  if (block.size() < 14 || block[2] != 11) return false;
  std::string_view id(reinterpret_cast<const char*>(block.data() + 3), 11);
  return id == "NETSCAPE2.0" || id == "ANIMEXTS1.0";
}

[[noreturn]] void ThrowAt(const std::filesystem::path& file, std::size_t offset, std::string_view what) {
  ThrowFormatError(file, fmt::format("offset {}", HexOffset(offset)), what);
}

std::vector<std::uint8_t>& ReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& buffer) {
  BinaryFile file(path, BinaryFile::Mode::Read);
  std::int64_t size = file.Size();
  if (size > kMaxSourceBytes) {
    throw Error(Error::Kind::Limit,
                fmt::format("{}: {} bytes is more than a GIF icon may hold ({} bytes)", path.string(), size,
                            kMaxSourceBytes));
  }
  buffer.resize(static_cast<std::size_t>(size));
  buffer.resize(file.Read(buffer));
  file.Close();
  return buffer;
}

// Removes the frame files of one resize however it ends.
class FrameFileCleanup {
 public:
  explicit FrameFileCleanup(const std::filesystem::path& folder) : folder_(folder) {}
  ~FrameFileCleanup() {
    for (std::size_t k = 0; k < count_; ++k) {
      DeleteFileQuietly(FrameFilePath(folder_, kSourceFramePrefix, k));
      DeleteFileQuietly(FrameFilePath(folder_, kRedrawnFramePrefix, k));
    }
  }
  FrameFileCleanup(const FrameFileCleanup&) = delete;
  FrameFileCleanup& operator=(const FrameFileCleanup&) = delete;
  void Cover(std::size_t count) { count_ = std::max(count_, count); }
  /// Every frame file was removed by the step that read it.
  void Dismiss() { count_ = 0; }

 private:
  const std::filesystem::path& folder_;
  std::size_t count_ = 0;
};

}  // namespace

void SkipSubBlocks(std::span<const std::uint8_t> buffer, std::size_t start, std::size_t& offset,
                   const std::filesystem::path& file) {
  for (;;) {
    std::size_t at = start + offset;
    if (at >= buffer.size()) ThrowAt(file, at, "the data sub-blocks run past the end of the file");
    std::uint8_t length = buffer[at];
    offset += 1;
    if (length == 0) return;
    offset += length;
  }
}

bool SamePalette(std::span<const std::uint8_t> a, std::size_t countA, std::span<const std::uint8_t> b,
                 std::size_t countB) {
  if (countA != countB) return false;
  std::size_t bytes = 3 * countA;
  if (a.size() < bytes || b.size() < bytes) return false;
  return std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(bytes), b.begin());
}

void ParseGifBytes(GifWorkArea& area, std::span<const std::uint8_t> data, const std::filesystem::path& file) {
  area.colourTable.clear();
  area.body.clear();
  area.FrameTable.clear();
  area.FrameControl.clear();
  area.AppExtension.clear();
  if (data.size() < area.header.size() || std::memcmp(data.data(), "GIF", 3) != 0) {
    ThrowFormatError(file, "", "not a GIF file (no GIF header)");
  }
  std::copy_n(data.begin(), area.header.size(), area.header.begin());
  std::size_t tableBytes = ColourTableBytes(area.header[10]);
  std::size_t bodyStart = area.header.size() + tableBytes;
  if (data.size() < bodyStart) ThrowAt(file, data.size(), "the global colour table runs past the end of the file");
  area.colourTable.assign(data.begin() + 13, data.begin() + static_cast<std::ptrdiff_t>(bodyStart));

  std::span<const std::uint8_t> body = data.subspan(bodyStart);
  // Offsets in messages count from the start of the file.
  auto fileOffset = [&](std::size_t at) { return bodyStart + at; };
  auto need = [&](std::size_t at, std::size_t count, std::string_view what) {
    if (at + count > body.size()) ThrowAt(file, fileOffset(at), fmt::format("{} runs past the end of the file", what));
  };

  std::size_t p = 0, o = 0;
  auto closeFrame = [&] {
    area.FrameTable.push_back({p, o});
    if (area.FrameControl.size() < area.FrameTable.size()) area.FrameControl.resize(area.FrameTable.size());
    p += o;
    o = 0;
  };
  // The walk ends at the trailer; bytes after it (some writers pad files) and
  // extensions that no image follows are not part of any frame.
  while (p + o < body.size() && body[p + o] != kTrailer) {
    std::size_t at = p + o;
    std::uint8_t code = body[at];
    if (code == kExtensionIntroducer) {
      need(at, 2, "an extension block");
      std::uint8_t label = body[at + 1];
      if (label == kGraphicControlLabel) {
        need(at, 7, "a Graphic Control Extension");
        std::size_t frame = area.FrameTable.size();
        if (area.FrameControl.size() <= frame) area.FrameControl.resize(frame + 1);
        FrameControlEntry& control = area.FrameControl[frame];
        std::uint8_t packed = body[at + 3];
        control.transparent = (packed & 1) != 0;
        control.disposalBits = packed & 0x1C;
        control.delay = static_cast<std::uint16_t>(body[at + 4] | (body[at + 5] << 8));
        control.transparentIndex = body[at + 6];
        o += 2;
        SkipSubBlocks(body, p, o, file);
      } else if (label == kApplicationLabel) {
        std::size_t a = o;
        o += 2;
        SkipSubBlocks(body, p, o, file);
        // Writers add application extensions of their own (ImageMagick one per frame); a
        // later one must not push out the looping block, or the animation stops looping.
        std::span<const std::uint8_t> block = body.subspan(p + a, o - a);
        if (IsLoopingBlock(block) || !IsLoopingBlock(area.AppExtension)) {
          area.AppExtension.assign(block.begin(), block.end());
        }
      } else {
        // Comments, plain text and extensions of other writers: their sub-blocks are stepped over.
        o += 2;
        SkipSubBlocks(body, p, o, file);
        if (label == kPlainTextLabel) closeFrame();
      }
    } else if (code == kImageSeparator) {
      need(at, 11, "an image descriptor");
      o += 10;
      o += ColourTableBytes(body[p + o - 1]);
      need(p + o, 1, "a local colour table");
      o += 1;  // LZW minimum code size
      SkipSubBlocks(body, p, o, file);
      closeFrame();
    } else {
      ThrowAt(file, fileOffset(at), fmt::format("unknown block 0x{:02X}", code));
    }
  }
  area.FrameControl.resize(area.FrameTable.size());
  area.body.assign(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(p));
}

void ParseGif(GifWorkArea& area, BinaryFile& file) {
  file.Seek(0);
  std::int64_t size = file.Size();
  if (size > kMaxSourceBytes) {
    throw Error(Error::Kind::Limit, fmt::format("{}: {} bytes is more than a GIF icon may hold ({} bytes)",
                                                file.Path().string(), size, kMaxSourceBytes));
  }
  std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
  data.resize(file.Read(data));
  ParseGifBytes(area, data, file.Path());
}

std::filesystem::path FrameFilePath(const std::filesystem::path& folder, std::string_view prefix, std::size_t k) {
  return folder / fmt::format("{}{}.gif", prefix, k);
}

std::size_t SplitGifFrames(GifWorkArea& area, const std::filesystem::path& source,
                           const std::filesystem::path& tempFolder) {
  {
    BinaryFile in(source, BinaryFile::Mode::Read);
    ParseGif(area, in);
    in.Close();
  }
  std::size_t n = area.FrameCount();
  if (n == 0) ThrowFormatError(source, "", "the GIF holds no frame");
  const std::uint8_t trailer = kTrailer;
  for (std::size_t k = 0; k < n; ++k) {
    const FrameSpan& span = area.FrameTable[k];
    BinaryFile out(FrameFilePath(tempFolder, kSourceFramePrefix, k), BinaryFile::Mode::Create);
    out.Write(area.header);
    if (!area.colourTable.empty()) out.Write(area.colourTable);
    out.Write(std::span<const std::uint8_t>(area.body).subspan(span.start, span.length));
    out.Write({&trailer, 1});
    out.Close();
  }
  return n;
}

void RedrawGifFrame(const std::filesystem::path& frameFile, const std::filesystem::path& output, int width,
                    int height, int encoderIndex, image::graphics::Scaler* scaler) {
  namespace g = image::graphics;
  std::optional<g::Bitmap> frame = g::LoadBitmap(frameFile);
  if (!frame || frame->Empty()) ThrowFormatError(frameFile, "", "the frame cannot be decoded");
  g::Bitmap redrawn = g::Stretch(*frame, width, height, scaler);
  std::vector<std::uint8_t> bytes = g::EncodeBitmap(redrawn, encoderIndex);
  BinaryFile out(output, BinaryFile::Mode::Create);
  out.Write(bytes);
  out.Close();
  DeleteFileQuietly(frameFile);
}

void AppendGifFrame(GifWorkArea& area, std::size_t k, std::size_t& position, const std::filesystem::path& tempFolder,
                    std::string_view prefix) {
  std::filesystem::path path = FrameFilePath(tempFolder, prefix, k);
  std::vector<std::uint8_t>& file = ReadWholeFile(path, area.frameBuffer);
  std::span<const std::uint8_t> bytes(file);
  if (bytes.size() < 13 || std::memcmp(bytes.data(), "GIF", 3) != 0) {
    ThrowFormatError(path, "", "the redrawn frame is not a GIF file");
  }
  std::size_t tableBytes = ColourTableBytes(bytes[10]);
  std::size_t p = 13 + tableBytes;
  if (p > bytes.size()) ThrowAt(path, bytes.size(), "the colour table runs past the end of the file");
  std::span<const std::uint8_t> table = bytes.subspan(13, tableBytes);

  area.body.resize(position);
  if (k == 0) {
    area.colourTable.assign(table.begin(), table.end());
    area.body.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(p));
    // The looping block and the timing need the 89a version whatever the frame file says.
    std::memcpy(area.body.data() + 3, "89a", 3);
    area.body.insert(area.body.end(), area.AppExtension.begin(), area.AppExtension.end());
  }
  std::size_t frameStart = area.body.size();
  bool localTableNeeded = k != 0 && !SamePalette(area.colourTable, area.ColourCount(), table, tableBytes / 3);

  std::size_t o = 0;
  std::optional<std::size_t> control;
  for (;;) {
    std::size_t at = p + o;
    if (at >= bytes.size() || bytes[at] == kTrailer) ThrowAt(path, at, "the redrawn frame holds no image");
    if (bytes[at] == kExtensionIntroducer) {
      if (at + 2 > bytes.size()) ThrowAt(path, at, "an extension block runs past the end of the file");
      // Only a standard 4-byte Graphic Control Extension can take the source frame's timing.
      if (bytes[at + 1] == kGraphicControlLabel && at + 7 < bytes.size() && bytes[at + 2] == 4) control = o;
      o += 2;
      SkipSubBlocks(bytes, p, o, path);
      continue;
    }
    if (bytes[at] != kImageSeparator) ThrowAt(path, at, fmt::format("unknown block 0x{:02X}", bytes[at]));
    if (at + 11 > bytes.size()) ThrowAt(path, at, "the image descriptor runs past the end of the file");
    o += 10;
    std::size_t descriptorEnd = o;
    std::uint8_t packed = bytes[p + o - 1];
    // A frame that brings its own local table needs none inserted.
    bool insertTable = localTableNeeded && (packed & 0x80) == 0 && tableBytes != 0;
    o += ColourTableBytes(packed);
    if (p + o >= bytes.size()) ThrowAt(path, p + o, "the image data runs past the end of the file");
    o += 1;
    SkipSubBlocks(bytes, p, o, path);

    area.body.insert(area.body.end(), bytes.begin() + static_cast<std::ptrdiff_t>(p),
                     bytes.begin() + static_cast<std::ptrdiff_t>(p + descriptorEnd));
    if (insertTable) {
      area.body.back() = static_cast<std::uint8_t>((packed & 0x78) | 0x80 | (bytes[10] & 7));
      area.body.insert(area.body.end(), table.begin(), table.end());
    }
    area.body.insert(area.body.end(), bytes.begin() + static_cast<std::ptrdiff_t>(p + descriptorEnd),
                     bytes.begin() + static_cast<std::ptrdiff_t>(p + o));
    break;
  }
  if (!control) ThrowFormatError(path, "", "the redrawn frame has no Graphic Control Extension");

  const FrameControlEntry& source = k < area.FrameControl.size() ? area.FrameControl[k] : FrameControlEntry{};
  std::uint8_t* gce = area.body.data() + frameStart + *control;
  if (source.transparent) {
    gce[6] = kRedrawnTransparentIndex;
    gce[3] |= 1;
  }
  gce[3] = static_cast<std::uint8_t>((gce[3] & 0xE3) | source.disposalBits);
  gce[4] = static_cast<std::uint8_t>(source.delay & 0xFF);
  gce[5] = static_cast<std::uint8_t>(source.delay >> 8);
  position = area.body.size();
  DeleteFileQuietly(path);
}

void JoinGifFrames(GifWorkArea& area, std::size_t n, const std::filesystem::path& tempFolder,
                   std::string_view prefix, const std::filesystem::path& target) {
  std::size_t position = 0;
  for (std::size_t k = 0; k < n; ++k) AppendGifFrame(area, k, position, tempFolder, prefix);
  area.body.resize(position);
  area.body.push_back(kTrailer);
  WriteFileAtomically(target, area.body);
}

bool ResizeGif(GifWorkArea& area, const std::filesystem::path& source, const std::filesystem::path& target,
               int width, int height, const std::filesystem::path& tempFolder, UserInterface& ui) {
  if (CheckIconSize(width, height, target.filename().string(), ui)) return false;
  if (width < 0 || height < 0) {
    throw Error(Error::Kind::Refused, fmt::format("{}: cannot resize to {} x {}", target.string(), width, height));
  }
  image::RawSize size = image::GetPictureSize(source);
  if (size.width == width && size.height == height) {
    CopyFileAtomically(source, target);
    return true;
  }
  FrameFileCleanup cleanup(tempFolder);
  // Cover the frame files before they exist: a split that fails halfway leaves some behind.
  std::size_t n = 0;
  try {
    n = SplitGifFrames(area, source, tempFolder);
  } catch (...) {
    cleanup.Cover(area.FrameCount());
    throw;
  }
  cleanup.Cover(n);
  int encoder = image::graphics::FindEncoderByMime("image/gif");
  for (std::size_t k = 0; k < n; ++k) {
    try {
      RedrawGifFrame(FrameFilePath(tempFolder, kSourceFramePrefix, k),
                     FrameFilePath(tempFolder, kRedrawnFramePrefix, k), width, height, encoder, &area.scaler);
    } catch (const Error& e) {
      // The frame file is gone by the time the user reads this: name their picture and the frame.
      if (e.kind() != Error::Kind::Format) throw;
      ThrowFormatError(source, fmt::format("frame {}", k + 1), "the frame cannot be decoded");
    }
  }
  JoinGifFrames(area, n, tempFolder, kRedrawnFramePrefix, target);
  cleanup.Dismiss();
  return true;
}

}  // namespace resmill::build
