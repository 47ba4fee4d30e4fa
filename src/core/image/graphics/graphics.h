#pragma once
// The graphics layer: loading ordinary pictures (PNG, GIF first frame, BMP,
// JPEG) into 32-bit ARGB bitmaps, saving them by MIME type, reading a picture's
// size from its header, and stretched drawing with high-quality bicubic
// filtering. No Qt: core, the command line and the window all share it.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "image/graphics/bitmap.h"

namespace resmill::image::graphics {

enum class PictureFormat { Unknown, Png, Gif, Bmp, Jpeg };

/// What a picture's header tells without decoding its pixels.
struct PictureInfo {
  PictureFormat format = PictureFormat::Unknown;
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;  ///< as stored: 24 for RGB JPEG, 8 for a 256-colour GIF…
};

/// The format from the first bytes of a file (signature, not extension).
PictureFormat SniffFormat(std::span<const std::uint8_t> head);
std::string_view FormatName(PictureFormat format);

/// Decodes a picture (for a GIF its first frame on the logical screen); nothing
/// when the bytes are not a readable PNG, GIF, BMP or JPEG.
std::optional<Bitmap> LoadBitmapFromMemory(std::span<const std::uint8_t> data);
/// True when the bytes are a GIF whose every frame decodes in full and which ends with its
/// trailer: a GIF damaged or cut short after its first frame still loads as a bitmap, but is not whole.
bool EveryGifFrameDecodes(std::span<const std::uint8_t> data);
/// As LoadBitmapFromMemory for a file; nothing also when the file cannot be read.
std::optional<Bitmap> LoadBitmap(const std::filesystem::path& file);

/// A picture's header (a JPEG's after its metadata segments) lies within this
/// many bytes of the start: ReadPictureInfoFromMemory needs no more.
inline constexpr std::int64_t kHeaderProbeSize = 1 << 20;

/// The header's size and depth; nothing for an unknown or damaged header.
std::optional<PictureInfo> ReadPictureInfoFromMemory(std::span<const std::uint8_t> data);
std::optional<PictureInfo> ReadPictureInfo(const std::filesystem::path& file);

struct ImageEncoder {
  std::string_view mime;
  std::string_view extension;
  PictureFormat format;
};
/// The encoders, in a fixed order.
std::span<const ImageEncoder> ImageEncoders();
/// Index of the last encoder whose MIME type equals `mime` exactly (case-sensitive); -1 when none.
int FindEncoderByMime(std::string_view mime);
/// Index of the encoder whose extension equals `extension` (".png", dot included) case-blind; -1 when none.
int FindEncoderByExtension(std::string_view extension);

/// The bytes of `bitmap` in the encoder's format. GIF follows the palette rule of
/// EncodeGif; BMP is 24-bit when every pixel is opaque, else 32-bit with an alpha mask;
/// JPEG drops alpha.
std::vector<std::uint8_t> EncodeBitmap(const Bitmap& bitmap, int encoderIndex);
/// Writes `bitmap` to `file` through the atomic output file (the old file stays
/// intact on failure). Throws resmill::Error on a bad index or a failed write.
void SaveBitmap(const Bitmap& bitmap, const std::filesystem::path& file, int encoderIndex);
/// Same by MIME type; false (nothing written) when no encoder has that type.
bool SaveBitmap(const Bitmap& bitmap, const std::filesystem::path& file, std::string_view mime);

// --- GIF palettes -----------------------------------------------------------

/// Palette index that fully transparent pixels (alpha 0) always take. Opaque
/// colours never use it, so frames can be assembled with 40 as the transparent index.
inline constexpr int kGifTransparentIndex = 40;

/// A picture reduced to at most 256 colours the way our GIFs store it.
struct IndexedPicture {
  int width = 0;
  int height = 0;
  std::vector<Argb> palette;          ///< a power of two of entries (2…256), alpha ignored
  std::vector<std::uint8_t> indices;  ///< width × height, rows from the top
  bool hasTransparent = false;        ///< some pixel has index kGifTransparentIndex as transparent
  bool exact = false;                 ///< every opaque colour kept as it is (no quantiser)
};
/// Exact palette when the picture has no more than 255 distinct opaque colours,
/// otherwise colours chosen by the quantiser. Any alpha other than 0 counts as opaque.
IndexedPicture QuantizeForGif(const Bitmap& bitmap);
/// A single-image GIF89a of `picture` with a Graphic Control Extension (index 40
/// transparent when hasTransparent).
std::vector<std::uint8_t> EncodeGif(const IndexedPicture& picture);
std::vector<std::uint8_t> EncodeGif(const Bitmap& bitmap);

// --- Drawing ----------------------------------------------------------------

/// Catmull-Rom bicubic resampling that keeps its set-up while the sizes stay the
/// same, so the frames of an animation share it. Not for use by two threads at once.
class Scaler {
 public:
  Scaler();
  ~Scaler();
  Scaler(Scaler&&) noexcept;
  Scaler& operator=(Scaler&&) noexcept;
  /// `source` resampled to width × height (both above 0), straight alpha; colours are
  /// premultiplied by alpha for the filter.
  Bitmap Resample(const Bitmap& source, int width, int height);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

/// Where a picture can hold only opaque and transparent pixels (GIF frames, RAW and
/// K masks, BMP as the phone reads it), a pixel of at least this alpha is opaque.
inline constexpr std::uint8_t kHalfAlpha = 128;
/// Makes every pixel opaque or transparent by its alpha at one half: pixels of
/// kHalfAlpha or more keep their colour (as Resample un-premultiplied it) and become
/// opaque, the others transparent white. A resized shape so keeps its area instead of
/// growing by the ring of its soft edge.
void SnapAlphaAtHalf(Bitmap& bitmap);

/// A width × height surface cleared to transparent white.
Bitmap NewSurface(int width, int height);
/// Draws the whole of `source` stretched into the rectangle (x, y, width, height)
/// of `surface` (aspect ratio not kept), Catmull-Rom bicubic with premultiplied
/// alpha, composited source-over; parts outside the surface are clipped.
/// `scaler`, when given, is reused (and keeps its set-up for the next call).
void DrawStretched(Bitmap& surface, const Bitmap& source, int x, int y, int width, int height,
                   Scaler* scaler = nullptr);
/// `source` redrawn at width × height on a transparent-white surface.
Bitmap Stretch(const Bitmap& source, int width, int height, Scaler* scaler = nullptr);
/// A preview of `source` that fits into maxWidth × maxHeight, keeping its aspect
/// ratio; never enlarged.
Bitmap Thumbnail(const Bitmap& source, int maxWidth, int maxHeight);

}  // namespace resmill::image::graphics
