#pragma once
// One pairing of the Build run: the source picture is written into the target
// icon's file, in the format of the target's extension, redrawn at the icon's
// size when Match Size is on. Only pairings that passed the check run.

#include <filesystem>

#include "replacement/gif_resize.h"
#include "replacement/replacement_check.h"
#include "platform/user_interface.h"

namespace resmill::replacement {

/// What a replacement works with besides its two files.
struct ReplacementContext {
  UserInterface& ui;  ///< the icon-size question and the skip messages
  GifWorkArea& gif;   ///< reused by every GIF resize of a run
};

/// How a replacement ended.
enum class ReplacementOutcome {
  Copied,     ///< the source's bytes, unchanged
  Converted,  ///< redrawn or converted into the target's format
  Resized,    ///< GIF resized frame by frame
  Skipped,    ///< the target was left as it was (a message said why)
};

/// Writes the checked pairing's source over its target. A GIF icon whose size is 0
/// and gets none from the icon-size question is skipped with the message the question
/// gives (caption "Icon skipped"); so is an icon that can no longer be read for Match
/// Size. Every other failure throws resmill::Error and leaves the target as it was.
ReplacementOutcome ApplyReplacement(ReplacementContext& ctx, const CheckedReplacement& pairing);

}  // namespace resmill::replacement
