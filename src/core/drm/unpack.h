#pragma once
// DRM unpack: the image becomes an editable tree.
//   drmpack/descr.dat                  the layout values
//   drmpack/raws/<i>(<W>x<H>).raw      RAW picture i (variant 1)
//   drmpack/icons/<i>.png              its PNG copy, when RAW pictures are converted
//   drmpack/icons/<n>.gif or <n>.bmp   GIF-table picture n (numbered after the RAW pictures)

#include <cstdint>
#include <filesystem>
#include <string>

#include "drm/drm_layout.h"
#include "image/picture_convert.h"
#include "platform/ordered_parallel.h"
#include "platform/user_interface.h"

namespace resmill::drm {

/// Unpacks the DRM image `cg15` into `drmPackFolder` (which holds icons/).
/// The layout and both tables are checked in full before any file is written;
/// a damaged image is refused (resmill::Error) and the tree is left as it was.
/// Returns the layout that descr.dat now holds. The pictures are read, and the
/// RAW pictures converted, on `workers` threads (kAllCores: one per core; 1: on
/// the calling thread alone); the calling thread writes every file in picture
/// order, so the files, the progress and where a failure stops are the same
/// whatever the count.
DrmLayout UnpackDrm(const std::filesystem::path& cg15, const std::filesystem::path& drmPackFolder,
                    bool convertRawToBmp, Progress& progress,
                    unsigned workers = kAllCores);

/// Picture `number` (1 … RawCount + GifCount) as the unpack stores it: where its
/// bytes lie in the image and the name of its file, in raws/ for a RAW picture
/// and in icons/ for a GIF-table picture. A revert of one picture writes the same.
struct StoredPicture {
  bool raw = false;
  std::int64_t offset = 0;  ///< file offset in the image
  std::int64_t length = 0;
  int width = 0;            ///< RAW pictures: the size in the RAW table
  int height = 0;
  std::string fileName;     ///< <i>(<W>x<H>).raw, <n>.gif, or <n>.bmp when the bytes start with "BM"
};
StoredPicture LocatePicture(BinaryFile& image, const DrmLayout& layout, const DrmTables& tables, int number);

/// Writes RAW pictures 1 … RawCount to drmPackFolder/raws (and their PNG copies
/// to drmPackFolder/icons when converting, on `workers` threads); returns RawCount.
int ExtractRaws(BinaryFile& image, const DrmLayout& layout, const DrmTables& tables,
                const std::filesystem::path& drmPackFolder, bool convertRawToBmp,
                Progress& progress, unsigned workers = kAllCores);

/// Writes the GIF-table pictures to drmPackFolder/icons, numbered from RawCount + 1;
/// a picture that starts with "BM" is stored as <n>.bmp. Returns GifCount. The
/// pictures are read on `workers` threads and written in picture order.
int ExtractGifs(BinaryFile& image, const DrmLayout& layout, const DrmTables& tables,
                const std::filesystem::path& drmPackFolder, Progress& progress, unsigned workers = kAllCores);

}  // namespace resmill::drm
