#include "drm/unpack.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <vector>

#include <fmt/format.h>

#include "drm/picture_folder.h"
#include "image/raw_picture.h"
#include "platform/atomic_output.h"
#include "platform/byte_io.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/numeric.h"
#include "platform/ordered_parallel.h"

namespace resmill::drm {
namespace fs = std::filesystem;

StoredPicture LocatePicture(BinaryFile& image, const DrmLayout& layout, const DrmTables& tables, int number) {
  if (number < 1 || number > layout.RawCount + layout.GifCount) {
    throw Error(Error::Kind::Refused, fmt::format("{}: the DRM has no picture {} (it has {})", image.Path().string(),
                                                  number, layout.RawCount + layout.GifCount));
  }
  StoredPicture picture;
  if (number <= layout.RawCount) {
    const int i = number;
    picture.raw = true;
    // Picture 1 starts at the RAW data itself, whatever entry 1 says.
    const std::int64_t start = tables.RawEnd(i - 1);
    picture.offset = std::int64_t{layout.RawData} + start;
    picture.length = tables.RawEnd(i) - start;
    picture.width = tables.RawWidth(i);
    picture.height = tables.RawHeight(i);
    picture.fileName = fmt::format("{}({}x{}).raw", i, picture.width, picture.height);
    return picture;
  }
  const auto k = static_cast<std::size_t>(number - layout.RawCount);
  // Entry 1 is never read: picture 1 starts at entry 0, picture k at the end of picture k - 1.
  const std::uint32_t start = tables.gifOffsets[k == 1 ? 0 : k];
  const std::uint32_t end = tables.gifOffsets[k + 1];
  picture.offset = std::int64_t{layout.GifData} + start;
  picture.length = std::int64_t{end} - start;
  std::array<std::uint8_t, 2> magic{};
  const bool isBmp =
      picture.length >= 2 && image.ReadAt(picture.offset, magic) == 2 && magic[0] == 'B' && magic[1] == 'M';
  picture.fileName = fmt::format("{}.{}", number, isBmp ? "bmp" : "gif");
  return picture;
}

namespace {

/// A longer picture (for a RAW picture, only a damaged table makes one) is
/// copied from the image in blocks instead of being held, so that memory stays
/// a few pictures per worker.
constexpr std::int64_t kMaxHeldPicture = 256 * 1024;

/// Picture n as the workers prepare it for writing: its bytes (or, for an
/// outsized one, only those the conversion looks at) and, for a RAW picture
/// being converted, its PNG copy.
struct PreparedPicture {
  StoredPicture picture;
  std::vector<std::uint8_t> bytes;
  bool whole = true;
  std::optional<image::ConvertedRaw> png;  ///< nothing: no usable PNG copy
};

/// Reads picture `number` for writing; positioned reads only, so any thread may.
PreparedPicture PreparePicture(BinaryFile& image, const DrmLayout& layout, const DrmTables& tables, int number) {
  PreparedPicture prepared;
  prepared.picture = LocatePicture(image, layout, tables, number);
  const StoredPicture& picture = prepared.picture;
  prepared.whole = picture.length <= kMaxHeldPicture;
  // Of a long RAW picture, the conversion still needs the bytes it looks at.
  const std::int64_t held = prepared.whole ? picture.length
                            : picture.raw  ? std::min<std::int64_t>(picture.length, image::kMaxRawFileLength)
                                           : 0;
  prepared.bytes.resize(static_cast<std::size_t>(held));
  if (image.ReadAt(picture.offset, prepared.bytes) != prepared.bytes.size()) {
    // The tables were checked against the image's size, so this means the file shrank under us.
    ThrowFormatError(image.Path(), "offset " + HexOffset(static_cast<std::uint64_t>(picture.offset)),
                     "file ends inside the picture " + picture.fileName);
  }
  return prepared;
}

void WritePicture(BinaryFile& image, const PreparedPicture& prepared, const fs::path& target) {
  BinaryFile out(target, BinaryFile::Mode::Create);
  if (prepared.whole) {
    out.Write(prepared.bytes);
  } else {
    // The tables were checked against the image's size, so a short copy means the file shrank under us.
    const StoredPicture& picture = prepared.picture;
    CopyExactly(image, picture.offset, picture.length, out, "the picture " + picture.fileName);
  }
  out.Close();
}

}  // namespace

int ExtractRaws(BinaryFile& image, const DrmLayout& layout, const DrmTables& tables, const fs::path& drmPackFolder,
                bool convertRawToBmp, Progress& progress, unsigned workers) {
  ProgressStep step(progress, "Extracting RAWs");
  const fs::path rawsFolder = JoinTail(drmPackFolder, "raws");
  CreateFolder(rawsFolder);
  if (!FolderExists(rawsFolder)) ThrowIoError("create folder", rawsFolder);
  const PictureFolder raws(rawsFolder);
  const PictureFolder icons(JoinTail(drmPackFolder, "icons"));
  // Workers read (positioned reads only) and convert; this thread writes every
  // file, in picture order, as one thread alone would.
  auto prepare = [&](std::size_t index) {
    PreparedPicture prepared = PreparePicture(image, layout, tables, static_cast<int>(index) + 1);
    const StoredPicture& picture = prepared.picture;
    if (convertRawToBmp) {
      try {
        prepared.png = image::ConvertRawBytes(prepared.bytes, {picture.width, picture.height}, image::kPngFormat,
                                              raws.PathFor(picture.fileName));
      } catch (const Error& e) {
        // A picture that cannot be converted just has no usable PNG copy.
        if (e.kind() == Error::Kind::Io) throw;
      }
    }
    return prepared;
  };
  auto write = [&](std::size_t index, PreparedPicture prepared) {
    const int i = static_cast<int>(index) + 1;
    const StoredPicture& picture = prepared.picture;
    const fs::path rawFile = raws.PathFor(picture.fileName);
    WritePicture(image, prepared, rawFile);
    if (prepared.png) {
      // A failing disk still ends the unpack.
      WriteFileAtomically(icons.PathFor(fmt::format("{}.png", i)), prepared.png->bytes);
    }
    step.SetPosition(PercentDone(i, layout.RawCount));
  };
  OrderedParallelMap(static_cast<std::size_t>(layout.RawCount), convertRawToBmp ? workers : 1, prepare, write);
  return layout.RawCount;
}

int ExtractGifs(BinaryFile& image, const DrmLayout& layout, const DrmTables& tables, const fs::path& drmPackFolder,
                Progress& progress, unsigned workers) {
  ProgressStep step(progress, "Extracting GIFs");
  PictureFolder icons(JoinTail(drmPackFolder, "icons"));
  auto prepare = [&](std::size_t index) {
    return PreparePicture(image, layout, tables, layout.RawCount + static_cast<int>(index) + 1);
  };
  auto write = [&](std::size_t index, PreparedPicture prepared) {
    const int k = static_cast<int>(index) + 1;
    const StoredPicture& picture = prepared.picture;
    if (UpperExtension(picture.fileName) == ".BMP") {
      // The picture goes to <n>.bmp, replacing one from an earlier unpack; a
      // stale <n>.gif must go too, or the compile would take it instead.
      if (auto gif = icons.Find(fmt::format("{}.gif", layout.RawCount + k))) DeleteFileQuietly(*gif);
    }
    WritePicture(image, prepared, icons.PathFor(picture.fileName));
    step.SetPosition(PercentDone(k, layout.GifCount));
  };
  // A GIF-table picture is only copied: too little work to hand over alone.
  OrderedParallelMapInBatches(static_cast<std::size_t>(layout.GifCount), kSmallItemsPerBatch, workers, prepare, write);
  return layout.GifCount;
}

DrmLayout UnpackDrm(const fs::path& cg15, const fs::path& drmPackFolder, bool convertRawToBmp,
                    Progress& progress, unsigned workers) {
  BinaryFile image(cg15, BinaryFile::Mode::Read);
  DrmLayout layout = ReadDrmLayout(image, DrmVariantOf(image));
  DrmTables tables = ReadDrmTables(image, layout);
  if (layout.DrmVariant == 1) {
    ExtractRaws(image, layout, tables, drmPackFolder, convertRawToBmp, progress, workers);
  }
  ExtractGifs(image, layout, tables, drmPackFolder, progress, workers);
  image.Close();
  WriteDescrDat(JoinTail(drmPackFolder, "descr.dat"), layout);
  return layout;
}

}  // namespace resmill::drm
