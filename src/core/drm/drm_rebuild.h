#pragma once
// How a compile rebuilds a DRM image, as one model: from the input's layout,
// its pointer words and RAW table, and the lengths of the new pictures, the
// plan says what every byte of the new image is (which input range, picture,
// padding or table), what each moved pointer word becomes, and where the areas
// end up. The compile writes the image from this plan and its read-back checks
// the written file against the same plan, so the two cannot disagree.
//
// The rules the plan applies, in the order the phone tools applied them:
//  - the RAW data, padded with zeros to 4 bytes, then the RAW table rebuilt
//    from the old one (sizes and offsets replaced, every other byte kept);
//  - the GIF data, padded with zeros to 16 bytes, then a new GIF table;
//  - every other byte kept, shifted with the areas before it;
//  - variant 1: each word of the header pointer table that points past the
//    RAW data moves by the RAW shift only;
//  - then each resource-directory word moves by the shifts of the areas behind
//    what it points to. A word in both tables takes both moves in turn.
// No other pointer is moved: a layout pointer kept elsewhere may leave the new
// image unreadable, which the read-back refuses as a DRM these rules cannot
// rebuild (not as a fault of the program).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "drm/drm_layout.h"
#include "platform/binary_file.h"

namespace resmill::drm {

/// The parts of the input image the plan needs besides its layout.
struct RebuildInput {
  DrmLayout layout;
  std::int64_t imageSize = 0;
  /// Variant 1: RAW table entries 0 … RawCount + 1 as they stand in the input.
  std::vector<std::uint8_t> rawTable;
  /// The input's bytes from `pointerAreaAt` that hold the header pointer table
  /// (variant 1) and the resource directory. The two tables may overlap, even
  /// by parts of a word, so the passes are modelled on bytes, not on words.
  std::int64_t pointerAreaAt = 0;
  std::vector<std::uint8_t> pointerArea;
};

/// Reads the RAW table and the pointer words of `image`, whose layout is
/// `layout` (already checked with CheckCompilableLayout).
RebuildInput ReadRebuildInput(BinaryFile& image, const DrmLayout& layout);

/// One new picture as the tree gives it.
struct PictureSize {
  std::int64_t length = 0;  ///< bytes (0 for a picture stored empty)
  int width = 0;            ///< RAW pictures: the size put into the table
  int height = 0;
};

/// One stretch of the new image; the stretches follow each other without gaps.
struct RebuildSegment {
  enum class Kind { Kept, RawPicture, RawPadding, RawTable, GifPicture, GifPadding, GifTable };
  Kind kind = Kind::Kept;
  std::int64_t at = 0;  ///< offset in the new image
  std::int64_t length = 0;
  std::int64_t source = 0;  ///< Kept: offset in the input image; pictures: number in their table (1 …)
};

/// A word of the header pointer table or the resource directory, before and
/// after both passes. The tables lie before the rebuilt areas, so the word
/// keeps its offset. Words of overlapping slots agree byte for byte.
struct PointerMove {
  std::int64_t slot = 0;
  std::uint32_t before = 0;
  std::uint32_t after = 0;
  bool inHeaderTable = false;
  bool inDirectory = false;
};

struct DrmRebuildPlan {
  DrmLayout input;
  DrmLayout output;  ///< where the plan puts the areas; the new image must read back as this
  std::int64_t inputSize = 0;
  std::int64_t outputSize = 0;
  /// Old size minus new size of RAW data and RAW table, and of GIF data and GIF table.
  std::int64_t rawDelta = 0;
  std::int64_t gifDelta = 0;
  std::int64_t rawDataSize = 0;          ///< RAW picture bytes, without padding
  std::int64_t gifDataSize = 0;          ///< GIF-table picture bytes, without padding
  std::vector<RebuildSegment> segments;  ///< in file order; empty padding and kept ranges left out
  std::vector<std::uint8_t> rawTable;    ///< variant 1: the new entries 0 … RawCount + 1
  std::vector<std::uint32_t> gifTable;   ///< the new words 0 … GifCount + 1
  std::vector<PointerMove> pointers;     ///< sorted by slot, each word once

  /// Where the input byte at `offset` stands in the new image; -1 when the
  /// byte lies in a rebuilt area.
  std::int64_t NewOffsetOf(std::int64_t offset) const;
};

/// Computes the plan. `raws` (variant 1) and `gifs` hold the new pictures in
/// table order, one per picture of the input's tables. Throws Error (Limit)
/// when the new image would not fit the format's 32-bit offsets.
DrmRebuildPlan PlanDrmRebuild(const RebuildInput& input, std::span<const PictureSize> raws,
                              std::span<const PictureSize> gifs);

/// The new GIF table words as the bytes the image holds.
std::vector<std::uint8_t> EncodeGifTable(const DrmRebuildPlan& plan);

/// "the RAW table", "RAW picture 3", "the resources after the GIF table"…: what
/// a segment is, for messages; GIF-table pictures go by their number in the tree.
std::string DescribeSegment(const RebuildSegment& segment, const DrmLayout& input);

}  // namespace resmill::drm
