#pragma once
// The phone's own pictures (RAW pictures of the DRM, K and G pictures of
// skins) and their conversion to and from ordinary picture files.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace resmill::image {

enum class PictureKind : std::uint8_t { Raw = 0, K18 = 1, K32 = 2, G = 3, Other = 4 };

struct OutputFormat {
  std::string_view extension;
  std::string_view mime;
};
/// Indexed by the format index callers pass: 0 GIF, 1 PNG, 2 BMP, 3 JPEG.
inline constexpr std::array<OutputFormat, 4> OutputFormats = {{
    {".gif", "image/gif"},
    {".png", "image/png"},
    {".bmp", "image/bmp"},
    {".jpg", "image/jpeg"},
}};
inline constexpr int kGifFormat = 0;
inline constexpr int kPngFormat = 1;
inline constexpr int kBmpFormat = 2;
inline constexpr int kJpegFormat = 3;

struct RawSize {
  int width = 0;
  int height = 0;
};

/// Width and height from a RAW file name's size tag "(WxH)"; nothing when it has none.
std::optional<RawSize> ParseRawSize(const std::filesystem::path& path);

/// The kind by a file name's extension (".raw", ".g", ".k"); for ".k", by the
/// bits-per-pixel field of the header at the start of `head` (18: K18; any other
/// value, or a `head` too short to hold the header: K32).
PictureKind PictureKindOf(std::string_view name, std::span<const std::uint8_t> head);
/// The kind of the picture file `path`, as PictureKindOf with its header read
/// from the file; a K picture too short to hold one is refused (format error).
PictureKind DetectPictureKind(const std::filesystem::path& path);

struct RawToBmpResult {
  bool produced = false;          ///< a target picture was written
  PictureKind kind = PictureKind::Other;
  std::filesystem::path target;   ///< where it was written (a G picture changes the extension)
  RawSize size;                   ///< a RAW or K picture's size, from its tag or header; else 0 x 0
};
/// Device picture → ordinary picture of OutputFormats[formatIndex].
RawToBmpResult RawToBmp(const std::filesystem::path& source, const std::filesystem::path& target, int formatIndex);

/// What RawToBmp makes of a RAW picture, worked out in memory so that batches can
/// convert on several threads and write in order on one: `raw` holds the RAW
/// file's bytes (ReadRawPictureBytes), `size` its size tag, `source` its name for
/// messages. `produced` false with no bytes is the empty target RawToBmp leaves
/// for a 0-pixel picture. Throws as RawToBmp does; touches no file.
struct ConvertedRaw {
  bool produced = false;
  std::vector<std::uint8_t> bytes;  ///< the target file's bytes
};
ConvertedRaw ConvertRawBytes(std::span<const std::uint8_t> raw, RawSize size, int formatIndex,
                             const std::filesystem::path& source);
/// The bytes of a RAW file that a conversion of this size looks at (none for a
/// size it refuses).
std::vector<std::uint8_t> ReadRawPictureBytes(const std::filesystem::path& raw, RawSize size);

/// The RAW picture BmpToRaw writes for `source`, in memory: its bytes and the size
/// of the picture decoded (0 x 0, and no bytes, when `source` cannot be read as a
/// picture). Throws as BmpToRaw does; writes nothing, so it may run on any thread.
struct EncodedRaw {
  std::vector<std::uint8_t> bytes;
  int width = 0;
  int height = 0;
};
EncodedRaw EncodeRawPicture(const std::filesystem::path& source);

/// Ordinary picture → device picture of the wanted kind (Raw, K18, K32, G); a GIF or
/// PNG source wanted as anything but Raw is stored as a G picture. Returns the path
/// written (its extension may differ from `target`'s) and, for a RAW picture, the size
/// of the picture decoded, 0 x 0 for one that cannot be read; nothing for another kind.
struct BmpToRawResult {
  std::filesystem::path written;
  RawSize size;
};
std::optional<BmpToRawResult> BmpToRaw(const std::filesystem::path& source, PictureKind wanted,
                                       const std::filesystem::path& target);

/// Width and height of a picture; (0, 0) when it cannot be read.
RawSize GetPictureSize(const std::filesystem::path& path);

/// Copies a G picture to `target` with ".gif", ".png" or ".unk" by its signature; returns that path.
std::filesystem::path RestoreGPicture(const std::filesystem::path& source, const std::filesystem::path& target);
/// Copies a picture to `target` with the extension ".g"; returns that path.
std::filesystem::path StoreGPicture(const std::filesystem::path& source, const std::filesystem::path& target);

/// Redraws `source` stretched to width × height (high-quality bicubic on transparent
/// white) and saves it to `target` in the format of `mime`. A GIF or BMP target, and a
/// PNG target that replaces a picture without partly transparent pixels (a RAW or K
/// picture of the work tree), get opaque and transparent pixels only, decided at half
/// alpha. False, and an existing target untouched, when the wanted size is 0 or the
/// source cannot be read.
bool ScalePicture(const std::filesystem::path& source, const std::filesystem::path& target, int width,
                  std::string_view mime, int height);

}  // namespace resmill::image
