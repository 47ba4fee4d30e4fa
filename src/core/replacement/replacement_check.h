#pragma once
// Checking the pairings of a Build before anything is written: each source must
// be a whole picture of the kind its extension and content say, and each target
// an icon file the pairing can write. A picture the check decoded is kept for
// the run (within a memory budget), so a checked pairing is not decoded twice.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <set>

#include "replacement/gif_resize.h"
#include "image/graphics/bitmap.h"

namespace resmill::replacement {

/// How a checked pairing is written.
enum class ReplacementPlan {
  Copy,       ///< same extension without Match Size: the source's bytes, unchanged
  ResizeGif,  ///< GIF over GIF with Match Size: every frame redrawn at the icon's size
  Redraw,     ///< the source's picture drawn into the target's format
};

/// A pairing that passed ReplacementChecker::Check.
struct CheckedReplacement {
  std::filesystem::path source;
  std::filesystem::path target;
  bool matchSize = false;
  ReplacementPlan plan = ReplacementPlan::Copy;
  /// Redraw: the source's picture (a GIF's first frame). Empty when the memory budget was
  /// spent or an earlier pairing of the Build rewrites the source; the run decodes it then.
  std::optional<image::graphics::Bitmap> picture;
};

/// The source's picture as a Redraw draws it: an ordinary picture (PNG, GIF, BMP, JPEG)
/// decoded by its content, a RAW, K or G picture through its own format. Throws
/// resmill::Error naming the source — Format or Limit for anything but a whole picture
/// (a GIF with any frame damaged, a RAW or K file shorter than its size), Io when it
/// cannot be read.
image::graphics::Bitmap DecodeReplacementSource(const std::filesystem::path& source);

/// Checks the pairings of one Build, in the order they run.
class ReplacementChecker {
 public:
  /// Decoded pictures kept for the run, at most this many bytes in all.
  static constexpr std::size_t kKeptPictureBytes = std::size_t{64} << 20;

  /// Checks one pairing. Throws resmill::Error naming the file and what is wrong: Format or
  /// Limit for a source that is not a whole picture of its kind (a byte copy or a GIF resize
  /// also needs the content to be the format its extension names), Refused for a target the
  /// pairing cannot write, Io when a file cannot be read. A file that an earlier pairing of
  /// the same Build writes is taken as the picture that pairing will leave there.
  CheckedReplacement Check(const std::filesystem::path& source, const std::filesystem::path& target,
                           bool matchSize);

 private:
  std::size_t keptBytes_ = 0;
  std::set<std::filesystem::path> writtenTargets_;
};

}  // namespace resmill::replacement
