#pragma once
// An animated GIF as a whole, read with giflib's DGifSlurp and written with its
// EGifSpew: every frame with its rectangle on the logical screen, its colours
// and what its Graphic Control Extension says (delay, disposal, transparency),
// and the application extension that makes the animation loop.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "image/graphics/bitmap.h"
#include "image/graphics/graphics.h"

namespace resmill::image::graphics {

/// Disposal methods as a Graphic Control Extension stores them (values 4 to 7 are
/// reserved; they are kept as they were read).
inline constexpr int kGifDisposalUnspecified = 0;
inline constexpr int kGifDisposalKeep = 1;
inline constexpr int kGifDisposalBackground = 2;
inline constexpr int kGifDisposalPrevious = 3;

/// Timing of a frame, from its Graphic Control Extension (all 0 without one).
struct GifFrameControl {
  int disposal = kGifDisposalUnspecified;
  int delay = 0;  ///< hundredths of a second
  bool userInput = false;
  bool operator==(const GifFrameControl&) const = default;
};

/// An application extension: the 8-byte name and 3-byte code ("NETSCAPE2.0"),
/// and its data sub-blocks as they stand.
struct GifApplicationBlock {
  std::string identifier;
  std::vector<std::vector<std::uint8_t>> subBlocks;
  /// The looping block ("NETSCAPE2.0" or "ANIMEXTS1.0").
  bool IsLoop() const;
  bool operator==(const GifApplicationBlock&) const = default;
};

/// One frame as read: its rectangle, its colour indices and the colours they stand for.
struct GifSourceFrame {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<std::uint8_t> indices;  ///< width × height, rows from the top (interlaced frames put in order)
  /// The frame's colour table (local, else global) with the transparent index at alpha 0;
  /// indices beyond the table read as opaque black.
  std::array<Argb, 256> colours{};
  int transparentIndex = -1;  ///< -1 when the frame declares none
  GifFrameControl control;

  /// The frame's rectangle as pixels.
  Bitmap Pixels() const;
  /// A screen of that size with the frame drawn at its place; the rest (and what lies
  /// off the screen) is transparent.
  Bitmap OnScreen(int screenWidth, int screenHeight) const;
};

struct GifAnimation {
  int width = 0, height = 0;  ///< the logical screen (as far as the frames reach when the file gives none)
  std::vector<GifSourceFrame> frames;
  /// The looping block, else the last application extension of the file; nothing without one.
  std::optional<GifApplicationBlock> application;
};

/// Reads every frame of a GIF. Throws a format error naming `file` and the offset
/// where reading stopped for a damaged file or one without any frame, and a limit
/// error when its frames hold more than kMaxPixels pixels together (refused before
/// they are decoded) or its screen is larger than a picture may be. A file that ends
/// without its trailer is read as if it had one.
GifAnimation DecodeGifAnimation(std::span<const std::uint8_t> data, const std::filesystem::path& file);

/// The number of frames of a GIF, read through its records without decoding any
/// image. Throws a format error naming `file` and the offset for a damaged file.
std::size_t CountGifFrames(std::span<const std::uint8_t> data, const std::filesystem::path& file);

/// One frame to write.
struct GifOutputFrame {
  int left = 0, top = 0;
  IndexedPicture picture;  ///< transparent where its index is kGifTransparentIndex, when hasTransparent
  GifFrameControl control;
};

/// A GIF89a of the frames on a width × height logical screen. The first frame's
/// palette is the global colour table; frames of other colours carry their own. Every
/// frame has a Graphic Control Extension; `application` (when given) stands before the
/// first frame.
std::vector<std::uint8_t> EncodeGifAnimation(int width, int height, std::span<const GifOutputFrame> frames,
                                             const GifApplicationBlock* application = nullptr);

}  // namespace resmill::image::graphics
