#pragma once
// DRM compile: a new DRM image from the edited tree and the original image.
// The RAW pictures (variant 1) and the GIF-table pictures are taken from the
// tree in their numbered order, their tables rebuilt, every other byte of the
// original kept, and the pointers of the header pointer table and resource
// directory moved by the amounts the two areas grew or shrank.

#include <filesystem>
#include <functional>
#include <vector>

#include "drm/drm_layout.h"
#include "image/picture_convert.h"
#include "platform/ordered_parallel.h"
#include "platform/user_interface.h"

namespace resmill::drm {

/// A test seam into the compile: lets a test damage the written image, the way a
/// fault of the compile would, to prove that the read-back catches it. Never set
/// outside tests.
struct WriterFaults {
  /// Called with the complete temporary image before the read-back; may change it.
  std::function<void(const std::filesystem::path& written)> tamper;
};

struct CompileResult {
  DrmLayout layout;            ///< the layout of the new image
  std::vector<int> skipped;    ///< RAW pictures the tree holds no file for (stored empty, 0x0)
};

/// Builds the new image from `drmPackFolder` (descr.dat, raws/, icons/) and the
/// original image `cg15`, and writes it to `outputFile` through the atomic
/// output file, from one rebuild plan (drm_rebuild.h). Before anything is
/// written, descr.dat is checked against the image; afterwards the new image is
/// read back against the same plan (VerifyCompiledDrm) and the output is not
/// created when it differs (a program fault, Kind::Internal) or when it would
/// not read back as the planned layout (a DRM these rules cannot rebuild with
/// the new picture sizes, Kind::Format).
/// With `convertRawToBmp` the RAW pictures come from icons/<i>.png (converted
/// in memory on `workers` threads: kAllCores for one per core, 1 for the
/// calling thread alone; the image is the same whatever the count), else from
/// raws/<i>(<W>x<H>).raw. The tree is not changed. A missing
/// file (or, converting, the empty placeholder the unpack leaves for an empty
/// picture) is stored as an empty 0x0 picture and listed in `skipped`; a file
/// that cannot be read, has no size tag or is larger than 255x255 stops the
/// compile with an error naming it.
CompileResult CompileDrm(const std::filesystem::path& drmPackFolder, const std::filesystem::path& cg15,
                         const std::filesystem::path& outputFile, bool convertRawToBmp,
                         Progress& progress, const WriterFaults& faults = {},
                         unsigned workers = kAllCores);

}  // namespace resmill::drm
