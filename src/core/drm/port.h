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

/// Copies GIF-table picture k of the source tree over picture k of the target
/// tree (k = 1 … the smaller GifCount), then RAW picture i likewise: with
/// `convertRawToBmp` its PNG copy icons/<i>.png, else raws/<i>(WxH).raw under the
/// source's name (the target's files of that number are removed first).
PortResult PortDrm(const std::filesystem::path& sourceDrmPack, const std::filesystem::path& targetDrmPack,
                   bool convertRawToBmp, Progress& progress);

}  // namespace resmill::drm
