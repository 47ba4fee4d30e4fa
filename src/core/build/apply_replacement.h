#pragma once
// One pairing of the Build run: the source picture is written into the target
// icon's file, in the format of the target's extension, redrawn at the icon's
// size when Match Size is on.

#include <filesystem>

#include "build/gif_resize.h"
#include "platform/user_interface.h"

namespace resmill::build {

/// What a replacement works with besides its two files.
struct ReplacementContext {
  std::filesystem::path tempFolder;  ///< where the temporary picture and GIF frame files go
  UserInterface& ui;                 ///< the icon-size question and the skip messages
  GifWorkArea& gif;                  ///< reused by every GIF resize of a run
};

/// How a replacement ended.
enum class ReplacementOutcome {
  Copied,     ///< the source's bytes, unchanged
  Converted,  ///< redrawn or converted into the target's format
  Resized,    ///< GIF resized frame by frame
  Skipped,    ///< the target was left as it was (a message said why)
};

/// Writes `source` over `target`. A source that cannot be read or converted, or an
/// icon whose size is 0, leaves the target as it was and says so with a message
/// (caption "Icon skipped"); a failed file operation throws resmill::Error (Io) and
/// ends the run. The temporary files in ctx.tempFolder are removed in every case.
ReplacementOutcome ApplyReplacement(ReplacementContext& ctx, const std::filesystem::path& source,
                                    const std::filesystem::path& target, bool matchSize);

}  // namespace resmill::build
