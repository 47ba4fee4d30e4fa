#pragma once
// The pictures of the pending work as the user thinks of them: in picture-number
// order (the RAW pictures 1 … R, then the GIF-table pictures), each with its
// kind, size and the file the next save takes, and a state that tells what the
// save will make of it compared with what the unpack wrote. Listing reads names
// and picture headers only; states, pictures and reverts are worked out one
// picture at a time, so a window can fill a gallery lazily.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/session.h"
#include "drm/drm_pictures.h"
#include "image/contact_sheet.h"
#include "image/graphics/bitmap.h"
#include "platform/user_interface.h"

namespace resmill::app {

enum class DrmPictureKind { Raw, Gif, Bmp };
/// "RAW", "GIF", "BMP".
std::string_view KindName(DrmPictureKind kind);

struct PictureSize {
  int width = 0;
  int height = 0;
  bool operator==(const PictureSize&) const = default;
};
/// "176x220".
std::string SizeText(PictureSize size);

/// What the next save makes of a picture, compared with what the unpack wrote.
enum class PictureState {
  Original,    ///< the save stores what the unpack found
  Edited,      ///< the picture was changed, its size was not
  NewSize,     ///< the picture was changed to another size
  Empty,       ///< RAW picture without a file: the save stores it 0x0
  Unreadable,  ///< the file is there but stops the save
};
/// "original", "edited", "new size", "empty", "cannot be read".
std::string_view StateName(PictureState state);
/// Changed since the unpack: edited, whether or not to another size.
constexpr bool IsEdited(PictureState state) {
  return state == PictureState::Edited || state == PictureState::NewSize;
}

struct PictureStatus {
  PictureState state = PictureState::Original;
  std::string problem;  ///< why the save stops, for Unreadable
};

/// One picture of a catalogue, from file names and picture headers only.
struct PictureEntry {
  int number = 0;
  int position = 0;          ///< i of RAW picture i, k of GIF-table picture k: what Port pairs by
  DrmPictureKind kind = DrmPictureKind::Raw;
  /// The file the next save takes; nothing when there is none.
  std::optional<std::filesystem::path> file;
  /// The size the file gives (size tag or header); 0x0 without a file or a readable header.
  PictureSize size;
  PictureSize originalSize;  ///< as the unpack found it
  bool animated = false;     ///< a GIF with more than one frame
};

/// The pictures of one unpacked DRM tree: a snapshot of the tree when it was made
/// (Refresh takes a new one) and the original image, read on demand.
class PictureCatalogue {
 public:
  /// `drmPackFolder` is the unpacked tree (descr.dat, icons/, raws/), `cg15` the image
  /// it was unpacked from, `convertRawToBmp` the setting the tree was unpacked with.
  PictureCatalogue(std::filesystem::path drmPackFolder, const std::filesystem::path& cg15, bool convertRawToBmp);

  std::span<const PictureEntry> Pictures() const noexcept { return entries_; }
  /// Refused for a number the DRM does not have.
  const PictureEntry& Picture(int number) const;
  int RawCount() const noexcept { return original_.Layout().RawCount; }
  const drm::DrmLayout& Layout() const noexcept { return original_.Layout(); }
  const std::filesystem::path& DrmPackFolder() const noexcept { return drmPackFolder_; }

  /// Compares the picture's file with the original (bytes, or for a PNG copy of a
  /// RAW picture its pixels as the save would store them).
  PictureStatus Examine(int number) const;
  /// Examine for every picture in number order, with progress.
  std::vector<PictureStatus> ExamineAll(Progress& progress) const;
  /// The picture as the save would take it, for drawing; nothing without a file or
  /// when the file cannot be decoded. RAW files are decoded by their size tag.
  std::optional<image::graphics::Bitmap> Decode(int number) const;
  /// The picture as the unpack found it; nothing for a 0x0 or undecodable picture.
  std::optional<image::graphics::Bitmap> DecodeOriginal(int number) const;

  /// Writes the unpack's own files of each picture back (see drm::OriginalDrm::Restore)
  /// and takes a new snapshot. Numbers outside the DRM are refused before anything is written.
  void Revert(std::span<const int> numbers, Progress& progress);
  /// Lists the tree again.
  void Refresh();

 private:
  PictureEntry MakeEntry(int number, const drm::PictureFolder& icons, const drm::PictureFolder& raws) const;
  PictureStatus ExamineRaw(const PictureEntry& entry) const;
  PictureStatus ExamineGif(const PictureEntry& entry) const;

  std::filesystem::path drmPackFolder_;
  drm::OriginalDrm original_;
  bool convertRawToBmp_;
  std::vector<PictureEntry> entries_;
};

/// The catalogue of slot 1 (target) or 2 (source) of the session's pending work.
/// Refused when nothing is pending, when the slot was not opened, or when it holds a
/// skin rather than an unpacked DRM.
PictureCatalogue OpenCatalogue(const Session& session, int slot);

/// The target's pictures with the source picture Port would put in their place.
struct PicturePair {
  int target = 0;
  std::optional<int> source;  ///< nothing: Port leaves this target picture as it is
};
struct PortPairing {
  bool compatible = false;  ///< false: Port refuses ("Incompatible DRMs") and pairs nothing
  std::vector<PicturePair> pairs;  ///< one per target picture, in number order
};
PortPairing PairForPort(const PictureCatalogue& target, const PictureCatalogue& source);

/// The entry's size as shown to the user: "176x220", or "?" for a GIF-table picture
/// without a file whose header gives one (a RAW picture without a readable file is stored 0x0).
std::string SizeLabel(const PictureEntry& entry);
/// A cell's label on a contact sheet: the picture's number and size ("12 176x220").
std::string SheetLabel(const PictureEntry& entry);
/// The status as told to the user: "new size (was 176x220)", "cannot be read: why",
/// otherwise the state's name.
std::string StatusText(const PictureEntry& entry, const PictureStatus& status);

using SheetOptions = image::SheetOptions;
inline constexpr int kMinSheetCellSide = image::kMinCellSide;

struct SheetSummary {
  int pictures = 0;
  int width = 0;
  int height = 0;
};
/// Draws every picture of the catalogue in number order, labelled, on a contact
/// sheet and writes it to `output` as PNG (through the atomic output file).
/// Pictures that cannot be drawn are crossed out.
SheetSummary WriteContactSheet(const PictureCatalogue& catalogue, const std::filesystem::path& output,
                               const SheetOptions& options, Progress& progress);

}  // namespace resmill::app
