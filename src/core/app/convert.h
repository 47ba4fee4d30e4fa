#pragma once
// Single pictures outside any work: a device picture (.raw with its size tag,
// .k, .g) to an ordinary one (.gif, .png, .bmp, .jpg) or back, the target's
// extension choosing the format.

#include <filesystem>
#include <string>

#include "platform/user_interface.h"

namespace resmill::app {

struct ConvertOptions {
  /// A .k target is written as a 32-bit K picture (with alpha) instead of 18-bit.
  bool k32 = false;
};

struct ConvertResult {
  std::filesystem::path written;  ///< a restored G picture takes the extension of what it holds
  std::string kind;               ///< "RAW picture", "18-bit K picture", "PNG", …
  int width = 0;
  int height = 0;
};

/// Converts `source` into `target`. A target extension that names no format, and a
/// device-to-device conversion, are refused (Error::Kind::Refused); a source that
/// cannot be read is Format. Nothing is written under `target` when it fails.
ConvertResult Convert(const std::filesystem::path& source, const std::filesystem::path& target,
                      const ConvertOptions& options = {});

/// Redraws every frame of the GIF `source` at `size` into the GIF `target`, as
/// Build's Match Size does; a source of that size is copied unchanged. A target
/// that is no .gif is refused. False when the icon was skipped (nothing written).
bool ResizeGif(const std::filesystem::path& source, const std::filesystem::path& target, IconSize size,
               UserInterface& ui);

}  // namespace resmill::app
