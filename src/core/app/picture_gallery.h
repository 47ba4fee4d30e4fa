#pragma once
// What a gallery of the pending work needs beyond the catalogue: a small preview
// of each picture, drawn one picture at a time (safe on several threads for one
// catalogue, as Examine is), and the two changes it makes to the
// target's tree — pictures replaced by files, as Build pairs them, and pictures
// reverted to what the unpack wrote.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "app/picture_catalogue.h"
#include "app/session.h"

namespace resmill::app {

/// A picture shrunk to fit a square, as 32-bit ARGB rows (alpha in bits 31-24).
struct Thumbnail {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> argb;
};

/// Examine as a gallery shows it: a file that cannot be examined at all (a disk
/// failure) stops the save as surely as a damaged one, so it is Unreadable with why.
PictureStatus ExamineShown(const PictureCatalogue& catalogue, int number);

/// The picture as the next save takes it, shrunk to fit `side` x `side` (never
/// enlarged); nothing when it has no file or the file cannot be drawn. Files are
/// read, never written; a disk failure throws.
std::optional<Thumbnail> MakeThumbnail(const PictureCatalogue& catalogue, int number, int side);

/// One picture of the target replaced by a file.
struct PictureReplacement {
  int number = 0;
  std::filesystem::path file;
  /// The file takes the picture's size (a GIF keeps its frames); off, it is stored as it is.
  bool matchSize = true;
};

/// Replaces target pictures by files with the checks and the writing of Build's
/// pairings: every pairing is checked before the first is written, so a file that
/// cannot be read (or a picture that cannot take it) refuses them all, with an
/// Error naming the file and why, and nothing changes. A file that is already
/// the picture's own is left alone.
void ReplacePictures(Session& session, std::span<const PictureReplacement> replacements);

/// Writes the unpack's own files of the target pictures back (PictureCatalogue::Revert).
void RevertPictures(Session& session, std::span<const int> numbers);

}  // namespace resmill::app
