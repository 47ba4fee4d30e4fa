#pragma once
// Single pictures of an unpacked DRM, seen from both ends: the original
// picture in the image the tree was unpacked from (read exactly where the
// unpack took it), and the file of the tree that the next compile takes for
// it. A catalogue of the pending work and a revert of one picture start here
// instead of unpacking the whole image again.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "drm/drm_layout.h"
#include "drm/picture_folder.h"
#include "drm/unpack.h"
#include "image/picture_convert.h"

namespace resmill::drm {

/// The image an unpacked tree came from, read and checked once. Its pictures
/// are read on demand (the image is opened for each read, so nothing stays open).
class OriginalDrm {
 public:
  /// Reads and checks the layout and tables of `cg15`; an image that the tree's
  /// descr.dat in `drmPackFolder` does not describe is refused (Format), as the
  /// compile refuses it.
  OriginalDrm(const std::filesystem::path& cg15, const std::filesystem::path& drmPackFolder);

  const std::filesystem::path& Image() const noexcept { return image_; }
  const DrmLayout& Layout() const noexcept { return layout_; }
  int PictureCount() const noexcept { return layout_.RawCount + layout_.GifCount; }
  /// Picture `number` as the unpack stores it; Refused for a number the DRM does not have.
  const StoredPicture& Picture(int number) const;
  /// The picture's bytes as the unpack wrote them.
  std::vector<std::uint8_t> ReadBytes(int number) const;
  /// True when `file` holds exactly the picture's bytes (compared block by block).
  bool SameBytes(int number, const std::filesystem::path& file) const;
  /// Writes picture `number` back into `drmPackFolder` as the unpack wrote it, each
  /// file through the atomic output file and read back: a RAW picture to
  /// raws/<i>(<W>x<H>).raw (other RAW files of that number, which a compile would
  /// take first, are removed) and, when `convertRawToBmp`, its PNG copy icons/<i>.png;
  /// a GIF-table picture to icons/<n>.gif or <n>.bmp (a <n>.gif beside a restored
  /// <n>.bmp is removed, as the compile would take it). Returns the files written.
  std::vector<std::filesystem::path> Restore(int number, const std::filesystem::path& drmPackFolder,
                                             bool convertRawToBmp) const;

 private:
  void WriteOriginal(const StoredPicture& picture, const std::filesystem::path& target) const;

  std::filesystem::path image_;
  DrmLayout layout_;
  std::vector<StoredPicture> pictures_;  // index number - 1
};

/// The file of the tree that a compile takes for picture `number` of a DRM with
/// `rawCount` RAW pictures: for a RAW picture icons/<i>.png when RAW pictures are
/// converted, else the first raws/<i>…raw; for a GIF-table picture icons/<n>.gif,
/// else icons/<n>.bmp. Nothing when there is none.
std::optional<std::filesystem::path> CompiledPictureFile(const PictureFolder& icons, const PictureFolder& raws,
                                                         int rawCount, int number, bool convertRawToBmp);
/// The same for RAW picture `i`: icons/<i>.png when converting, else the first raws/<i>…raw.
std::optional<std::filesystem::path> CompiledRawFile(const PictureFolder& icons, const PictureFolder& raws, int i,
                                                     bool convertRawToBmp);
/// The same for GIF-table picture `number`: icons/<number>.gif, else icons/<number>.bmp.
std::optional<std::filesystem::path> CompiledGifFile(const PictureFolder& icons, int number);

/// One picture that Port carries over: source picture number → target picture number.
struct PortPair {
  int source = 0;
  int target = 0;
  bool operator==(const PortPair&) const = default;
};
/// Port's rule: both DRMs have a RAW table or neither has.
bool PortCompatible(const DrmLayout& source, const DrmLayout& target);
/// The pictures Port pairs, position by position: RAW picture i with RAW picture i,
/// GIF-table picture k of the source with GIF-table picture k of the target, as far
/// as both DRMs have them. Empty for incompatible DRMs.
std::vector<PortPair> PortPairs(const DrmLayout& source, const DrmLayout& target);

}  // namespace resmill::drm
