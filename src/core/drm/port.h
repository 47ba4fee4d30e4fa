#pragma once
// Port: the source DRM's pictures replace the target's, position by position,
// in the two unpacked trees. The images are untouched until the next compile.

#include <filesystem>

#include "platform/user_interface.h"

namespace resmill::drm {

struct PortResult {
  /// False when one DRM has a RAW table and the other has none; nothing was copied then.
  bool compatible = true;
  int gifCopied = 0;  ///< GIF-table pictures carried over
  int rawCopied = 0;  ///< RAW pictures carried over
};

/// Copies each picture of the source tree that PortPairs pairs over its target
/// picture: the file the compile would take (CompiledPictureFile), a GIF-table
/// picture as <n>.gif or <n>.bmp, a RAW picture with `convertRawToBmp` as its PNG
/// copy icons/<i>.png, else as raws/<i>(WxH).raw under the source's name (the
/// target's files of that number are removed first).
PortResult PortDrm(const std::filesystem::path& sourceDrmPack, const std::filesystem::path& targetDrmPack,
                   bool convertRawToBmp, Progress& progress);

}  // namespace resmill::drm
