#include "image/picture_convert.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cstring>

#include <fmt/format.h>

#include "image/graphics/graphics.h"
#include "image/raw_picture.h"
#include "platform/atomic_output.h"
#include "platform/binary_file.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill::image {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The path with everything from the file name's last "." replaced by `extension`
// (appended when the name has no "."), as the phone tools name their files.
std::filesystem::path WithExtension(const std::filesystem::path& path, std::string_view extension) {
  std::string name = path.filename().string();
  std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  name += extension;
  return path.parent_path() / name;
}

// A whole text as a 32-bit signed decimal integer (optional sign); nothing otherwise.
std::optional<int> ToInt(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<RawSize> ParseRawSize(const std::filesystem::path& path) {
  std::string name = path.filename().string();
  std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  std::size_t open = name.find('(');
  if (open == std::string::npos || open + 1 >= name.size()) return std::nullopt;
  // The last ")" at index 1 or later.
  std::size_t close = name.rfind(')');
  if (close == std::string::npos || close < 1 || close < open + 4) return std::nullopt;
  std::string_view inner = std::string_view(name).substr(open + 1, close - open - 1);
  std::size_t i = 0;
  while (i + 1 < inner.size() && IsDigit(inner[i])) ++i;
  if (i + 1 >= inner.size() || (inner[i] != 'x' && inner[i] != 'X') || i == 0) return std::nullopt;
  std::optional<int> width = ToInt(inner.substr(0, i));
  if (!width) {
    ThrowFormatError(path, "size tag", fmt::format("width {} does not fit a 32-bit number", inner.substr(0, i)));
  }
  RawSize size;
  size.width = *width;
  size.height = ToInt(inner.substr(i + 1)).value_or(0);
  return size;
}

PictureKind PictureKindOf(std::string_view name, std::span<const std::uint8_t> head) {
  const std::string extension = UpperExtension(name);
  if (extension == ".RAW") return PictureKind::Raw;
  if (extension == ".G") return PictureKind::G;
  if (extension != ".K") return PictureKind::Other;
  if (head.size() < kKHeaderSize) return PictureKind::K32;
  return ReadKHeader(head, name).bitsPerPixel == 18 ? PictureKind::K18 : PictureKind::K32;
}

PictureKind DetectPictureKind(const std::filesystem::path& path) {
  const std::string name = path.filename().string();
  if (UpperExtension(name) != ".K") return PictureKindOf(name, {});
  const std::vector<std::uint8_t> header = ReadFileHead(path, kKHeaderSize);
  ReadKHeader(header, path);  // refuses a file too short to hold the header
  return PictureKindOf(name, header);
}

RawToBmpResult RawToBmp(const std::filesystem::path& source, const std::filesystem::path& target, int formatIndex) {
  RawToBmpResult result;
  result.kind = DetectPictureKind(source);
  result.target = target;
  auto mime = [&]() -> std::string_view {
    if (formatIndex < 0 || formatIndex >= static_cast<int>(OutputFormats.size())) {
      throw Error(Error::Kind::Internal, fmt::format("picture format index {} out of range", formatIndex));
    }
    return OutputFormats[formatIndex].mime;
  };
  switch (result.kind) {
    case PictureKind::Raw: {
      std::optional<RawSize> size = ParseRawSize(source);
      if (!size) return result;
      ConvertedRaw converted = ConvertRawBytes(ReadRawPictureBytes(source, *size), *size, formatIndex, source);
      WriteFileAtomically(target, converted.bytes);
      if (converted.produced) {
        result.size = *size;
        result.produced = true;
      }
      return result;
    }
    case PictureKind::K18:
      result.size = DecodeK18(source, target, mime());
      result.produced = true;
      return result;
    case PictureKind::K32:
      result.size = DecodeK32(source, target, mime());
      result.produced = true;
      return result;
    case PictureKind::G:
      result.target = RestoreGPicture(source, target);
      result.produced = true;
      return result;
    case PictureKind::Other:
      break;
  }
  return result;
}

std::vector<std::uint8_t> ReadRawPictureBytes(const std::filesystem::path& raw, RawSize size) {
  if (size.width <= 0 || size.height <= 0) return {};
  const auto w = static_cast<std::uint64_t>(size.width), h = static_cast<std::uint64_t>(size.height);
  if (w * h > kMaxRawPixels) return {};
  return ReadFileHead(raw, RawFileLength(w, h));
}

ConvertedRaw ConvertRawBytes(std::span<const std::uint8_t> raw, RawSize size, int formatIndex,
                             const std::filesystem::path& source) {
  if (size.width < 0 || size.height < 0) {
    ThrowFormatError(source, "size tag",
                     fmt::format("a RAW picture cannot be {} x {} pixels", size.width, size.height));
  }
  // An unusable picture still leaves its (empty) target, so the unpacked tree keeps its numbering.
  if (size.width == 0 || size.height == 0) return {};
  if (formatIndex < 0 || formatIndex >= static_cast<int>(OutputFormats.size())) {
    throw Error(Error::Kind::Internal, fmt::format("picture format index {} out of range", formatIndex));
  }
  return {true, RawBytesToPicture(raw, size.width, size.height, OutputFormats[formatIndex].mime, source)};
}

EncodedRaw EncodeRawPicture(const std::filesystem::path& source) {
  // The size comes from the picture actually decoded, so a file whose header reads but whose
  // pixels do not is reported as unusable (0 x 0).
  std::optional<graphics::Bitmap> bitmap = graphics::LoadBitmap(source);
  graphics::Bitmap picture = bitmap ? std::move(*bitmap) : graphics::Bitmap();
  EncodedRaw raw;
  raw.width = picture.Width();
  raw.height = picture.Height();
  raw.bytes = EncodeRawBytes(picture, source);
  return raw;
}

std::optional<BmpToRawResult> BmpToRaw(const std::filesystem::path& source, PictureKind wanted,
                                       const std::filesystem::path& target) {
  if (wanted != PictureKind::Raw) {
    std::string extension = UpperExtension(source.string());
    if (extension == ".GIF" || extension == ".PNG") wanted = PictureKind::G;
  }
  switch (wanted) {
    case PictureKind::Raw: {
      // An unreadable source is reported as 0 x 0 together with its empty RAW file.
      EncodedRaw raw = EncodeRawPicture(source);
      WriteFileAtomically(target, raw.bytes);
      return BmpToRawResult{target, RawSize{raw.width, raw.height}};
    }
    case PictureKind::K18: {
      std::filesystem::path k = WithExtension(target, ".k");
      EncodeK18(source, k);
      return BmpToRawResult{k, {}};
    }
    case PictureKind::K32: {
      std::filesystem::path k = WithExtension(target, ".k");
      EncodeK32(source, k);
      return BmpToRawResult{k, {}};
    }
    case PictureKind::G:
      return BmpToRawResult{StoreGPicture(source, target), {}};
    case PictureKind::Other:
      break;
  }
  return std::nullopt;
}

RawSize GetPictureSize(const std::filesystem::path& path) {
  std::optional<graphics::PictureInfo> info = graphics::ReadPictureInfo(path);
  if (!info) return {};
  return RawSize{info->width, info->height};
}

std::filesystem::path RestoreGPicture(const std::filesystem::path& source, const std::filesystem::path& target) {
  std::array<std::uint8_t, 4> head{};
  std::size_t got = 0;
  {
    BinaryFile in(source, BinaryFile::Mode::Read);
    got = in.Read(head);
  }
  std::string_view extension = ".unk";
  if (got == 4 && std::memcmp(head.data(), "GIF8", 4) == 0) extension = ".gif";
  if (got == 4 && head[0] == 0x89 && std::memcmp(&head[1], "PNG", 3) == 0) extension = ".png";
  std::filesystem::path restored = WithExtension(target, extension);
  CopyFileAtomically(source, restored);
  return restored;
}

std::filesystem::path StoreGPicture(const std::filesystem::path& source, const std::filesystem::path& target) {
  std::filesystem::path stored = WithExtension(target, ".g");
  CopyFileAtomically(source, stored);
  return stored;
}

namespace {

// GIF frames and BMP pictures (which the phone draws without their alpha) hold
// only opaque and transparent pixels; so does a PNG of the work tree that stands
// for a RAW or K picture. A PNG that already holds soft edges keeps soft edges.
bool TargetHoldsTwoAlphaLevels(const std::filesystem::path& target, graphics::PictureFormat format) {
  if (format == graphics::PictureFormat::Gif || format == graphics::PictureFormat::Bmp) return true;
  if (format != graphics::PictureFormat::Png || !FileExists(target)) return false;
  std::optional<graphics::Bitmap> replaced = graphics::LoadBitmap(target);
  return replaced && !replaced->Empty() && !replaced->HasPartialAlpha();
}

}  // namespace

bool ScalePicture(const std::filesystem::path& source, const std::filesystem::path& target, int width,
                  std::string_view mime, int height) {
  if (width <= 0 || height <= 0) return false;
  int encoder = graphics::FindEncoderByMime(mime);
  if (encoder < 0) return false;
  std::optional<graphics::Bitmap> picture = graphics::LoadBitmap(source);
  if (!picture || picture->Empty()) return false;
  graphics::Bitmap drawn = graphics::Stretch(*picture, width, height);
  if (TargetHoldsTwoAlphaLevels(target, graphics::ImageEncoders()[encoder].format)) graphics::SnapAlphaAtHalf(drawn);
  graphics::SaveBitmap(drawn, target, encoder);
  return true;
}

}  // namespace resmill::image
