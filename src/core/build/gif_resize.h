#pragma once
// Resizing an animated GIF frame by frame: the source is cut into one GIF file
// per frame, each frame is redrawn at the icon's size and encoded again, and the
// redrawn frames are put back together with the source's looping block and each
// frame's delay, disposal method and transparency.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "image/graphics/graphics.h"
#include "platform/user_interface.h"

namespace resmill {
class BinaryFile;
}

namespace resmill::build {

/// Span of one frame within the body: its extension blocks and its image.
struct FrameSpan {
  std::size_t start = 0;
  std::size_t length = 0;
};

/// Timing and transparency of one source frame, from its Graphic Control Extension.
struct FrameControlEntry {
  bool transparent = false;          ///< bit 0 of the packed field
  std::uint8_t disposalBits = 0;     ///< packed field AND 0x1C, not shifted
  std::uint8_t transparentIndex = 0;
  std::uint16_t delay = 0;           ///< hundredths of a second
};

/// The GIF work area of one resize. The containers grow as a GIF needs (and keep
/// their capacity for the next resize), so no size of frame, body or extension can
/// overrun them.
struct GifWorkArea {
  std::array<std::uint8_t, 13> header{};         ///< signature, version, logical screen descriptor
  std::vector<std::uint8_t> colourTable;         ///< global colour table, 3 bytes per entry
  std::vector<std::uint8_t> body;                ///< bytes after header and colour table; the output while joining
  std::vector<std::uint8_t> frameBuffer;         ///< one frame file at a time
  std::vector<FrameSpan> FrameTable;             ///< per frame: its span within the body
  std::vector<FrameControlEntry> FrameControl;   ///< per frame: its timing and transparency
  std::vector<std::uint8_t> AppExtension;        ///< the source's (last) application extension, whole
  image::graphics::Scaler scaler;                ///< shared by the frames: they all have one size

  std::size_t FrameCount() const { return FrameTable.size(); }
  /// Entries of the colour table.
  std::size_t ColourCount() const { return colourTable.size() / 3; }
};

/// GIF block labels (after the 0x21 introducer).
inline constexpr std::uint8_t kExtensionIntroducer = 0x21;
inline constexpr std::uint8_t kGraphicControlLabel = 0xF9;
inline constexpr std::uint8_t kCommentLabel = 0xFE;
inline constexpr std::uint8_t kApplicationLabel = 0xFF;
inline constexpr std::uint8_t kPlainTextLabel = 0x01;
inline constexpr std::uint8_t kImageSeparator = 0x2C;
inline constexpr std::uint8_t kTrailer = 0x3B;
/// Index that transparent pixels of a redrawn frame take.
inline constexpr std::uint8_t kRedrawnTransparentIndex = 40;

/// Moves `offset` (relative to `start`) past a run of data sub-blocks and their
/// terminator. Throws a format error naming `file` and the offset when the run
/// leaves the buffer.
void SkipSubBlocks(std::span<const std::uint8_t> buffer, std::size_t start, std::size_t& offset,
                   const std::filesystem::path& file);

/// True when both tables have the same entry count and every entry's three bytes are equal.
bool SamePalette(std::span<const std::uint8_t> a, std::size_t countA, std::span<const std::uint8_t> b,
                 std::size_t countB);

/// Fills the work area from the bytes of a GIF file: header, global colour table, the
/// body (up to the trailer) cut into frames with their controls, and the application
/// extension. Throws a format error naming `file` and the offset for a file that is
/// not a GIF or whose blocks run past its end.
void ParseGifBytes(GifWorkArea& area, std::span<const std::uint8_t> data, const std::filesystem::path& file);
/// The same for an open file (read whole from its start).
void ParseGif(GifWorkArea& area, BinaryFile& file);

/// Name of a frame file: `prefix` + k + ".gif" in `folder`.
std::filesystem::path FrameFilePath(const std::filesystem::path& folder, std::string_view prefix, std::size_t k);

/// Parses `source` and writes each frame as a GIF of its own ("tempn<k>.gif" in
/// `tempFolder`) with the source's header and global colour table. Returns the frame
/// count; a GIF without any frame is refused with a format error.
std::size_t SplitGifFrames(GifWorkArea& area, const std::filesystem::path& source,
                           const std::filesystem::path& tempFolder);

/// Redraws the frame file stretched to width × height on transparent white, writes it
/// as GIF to `output` and deletes the frame file. Throws a format error when the frame
/// file cannot be decoded.
void RedrawGifFrame(const std::filesystem::path& frameFile, const std::filesystem::path& output, int width,
                    int height, int encoderIndex, image::graphics::Scaler* scaler = nullptr);

/// Appends redrawn frame k (file `prefix`<k>.gif in `tempFolder`) to the body at `position`
/// with the source frame's delay, disposal and transparency, and deletes the file.
void AppendGifFrame(GifWorkArea& area, std::size_t k, std::size_t& position, const std::filesystem::path& tempFolder,
                    std::string_view prefix);

/// Assembles redrawn frames 0 … n − 1 into `target` (written atomically).
void JoinGifFrames(GifWorkArea& area, std::size_t n, const std::filesystem::path& tempFolder,
                   std::string_view prefix, const std::filesystem::path& target);

/// Resizes the GIF `source` to width × height into `target`, keeping its animation.
/// A zero size asks for one (CheckIconSize). When the source already has that size it
/// is copied byte for byte. Temporary frame files live in `tempFolder` and are removed
/// whatever happens. Returns false when the icon was skipped (nothing written); throws
/// resmill::Error for a damaged source or a failed file operation (target unchanged).
bool ResizeGif(GifWorkArea& area, const std::filesystem::path& source, const std::filesystem::path& target,
               int width, int height, const std::filesystem::path& tempFolder, UserInterface& ui);

}  // namespace resmill::build
