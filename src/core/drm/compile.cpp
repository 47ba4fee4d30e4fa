#include "drm/compile.h"

#include <fmt/format.h>

#include <array>
#include <limits>
#include <optional>
#include <span>
#include <utility>

#include "drm/compile_verify.h"
#include "drm/drm_pictures.h"
#include "drm/drm_rebuild.h"
#include "drm/picture_folder.h"
#include "platform/atomic_output.h"
#include "platform/byte_io.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/numeric.h"
#include "platform/ordered_parallel.h"

namespace resmill::drm {
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kMaxImageSize = std::numeric_limits<std::int32_t>::max();

struct CopiedPicture {
  std::int64_t length = 0;
  std::uint64_t fingerprint = Fingerprint().Value();
};

/// Refuses an output that has grown beyond what a DRM image may be.
void CheckImageSize(const BinaryFile& out) {
  if (out.Position() > kMaxImageSize) {
    throw Error(Error::Kind::Limit, fmt::format("{}: the new DRM image would exceed {} bytes", out.Path().string(),
                                                kMaxImageSize));
  }
}

/// Appends a whole file to the output at its position; returns its length and
/// fingerprint for the read-back. `evenLength` refuses odd lengths before
/// anything is copied.
CopiedPicture Append(const fs::path& file, BinaryFile& out, bool evenLength = false) {
  BinaryFile in(file, BinaryFile::Mode::Read);
  if (evenLength) {
    std::int64_t length = in.Size();
    if (length % 2 != 0) {
      // Offsets are kept in 16-bit units: an odd length would shift every later picture by a byte.
      ThrowFormatError(file, "", fmt::format("{} bytes; a RAW picture has an even length", length));
    }
  }
  CopiedPicture picture;
  Fingerprint print;
  std::vector<std::uint8_t> block(kCopyBlockSize);
  for (;;) {
    const std::size_t got = in.Read(block);
    if (got == 0) break;
    print.Add(std::span(block.data(), got));
    out.Write(std::span(block.data(), got));
    picture.length += static_cast<std::int64_t>(got);
  }
  picture.fingerprint = print.Value();
  CheckImageSize(out);
  return picture;
}

/// Appends a picture made in memory (always of even length: a RAW encode).
CopiedPicture AppendBytes(std::span<const std::uint8_t> bytes, BinaryFile& out) {
  Fingerprint print;
  print.Add(bytes);
  out.Write(bytes);
  CheckImageSize(out);
  return {static_cast<std::int64_t>(bytes.size()), print.Value()};
}

void AppendZeros(BinaryFile& out, std::int64_t count) {
  static constexpr std::array<std::uint8_t, 16> kZeros{};
  if (count > 0) out.Write(std::span(kZeros.data(), static_cast<std::size_t>(count)));
}

[[noreturn]] void TooLarge(const fs::path& file, int width, int height) {
  throw Error(Error::Kind::Limit,
              fmt::format("{}: a {}x{} picture does not fit the DRM (at most {}x{}); nothing was saved",
                          file.string(), width, height, kMaxRawSide, kMaxRawSide));
}

struct RawChoice {
  std::optional<fs::path> file;               ///< the RAW file to copy (not converting)
  std::optional<std::vector<std::uint8_t>> converted;  ///< the RAW picture made from the PNG
  int width = 0;
  int height = 0;
};

/// The file or converted bytes and the size of RAW picture i. Nothing to store
/// (an empty 0x0 picture) only when the tree holds no file for it, or, when
/// converting, the empty placeholder the unpack leaves for an empty picture. A
/// file that is there but cannot be used stops the compile: storing it empty
/// would lose it. Reads only, so the pictures may be chosen on several threads.
RawChoice ChooseRawPicture(int i, bool convertRawToBmp, const PictureFolder& icons, const PictureFolder& raws) {
  RawChoice choice;
  const std::optional<fs::path> file = CompiledRawFile(icons, raws, i, convertRawToBmp);
  if (!file) return choice;
  if (convertRawToBmp) {
    if (FileSize(*file) == 0) return choice;
    image::EncodedRaw raw;
    try {
      raw = image::EncodeRawPicture(*file);
    } catch (const Error& e) {
      if (e.kind() == Error::Kind::Io) throw;
      throw Error(e.kind() == Error::Kind::Limit ? Error::Kind::Limit : Error::Kind::Format,
                  fmt::format("RAW picture {} cannot be converted, nothing was saved: {}", i, e.what()));
    }
    if (raw.width <= 0 || raw.height <= 0) {
      ThrowFormatError(*file, "",
                       fmt::format("RAW picture {} cannot be read as a picture; nothing was saved (replace or "
                                   "delete the file)",
                                   i));
    }
    if (raw.width > kMaxRawSide || raw.height > kMaxRawSide) TooLarge(*file, raw.width, raw.height);
    return {std::nullopt, std::move(raw.bytes), raw.width, raw.height};
  }
  auto size = image::ParseRawSize(*file);
  if (!size) {
    ThrowFormatError(*file, "",
                     fmt::format("RAW picture {} has no size tag such as (16x16) in its name, so its size is "
                                 "unknown; nothing was saved",
                                 i));
  }
  if (size->width < 0 || size->width > kMaxRawSide || size->height < 0 || size->height > kMaxRawSide) {
    TooLarge(*file, size->width, size->height);
  }
  return {*file, std::nullopt, size->width, size->height};
}

}  // namespace

CompileResult CompileDrm(const fs::path& drmPackFolder, const fs::path& cg15, const fs::path& outputFile,
                         bool convertRawToBmp, Progress& progress,
                         const WriterFaults& faults, unsigned workers) {
  const fs::path descrDat = ResolveCaseBlind(drmPackFolder, "descr.dat");
  const DrmLayout l = ReadDescrDat(descrDat);

  BinaryFile in(cg15, BinaryFile::Mode::Read);
  const DrmLayout actual = ReadDrmLayout(in, DrmVariantOf(in));
  CheckDescrDatDescribes(l, descrDat, actual, cg15);
  ReadDrmTables(in, l);
  CheckCompilableLayout(l, in.Size(), cg15);
  const RebuildInput rebuild = ReadRebuildInput(in, l);

  const std::int64_t total = std::int64_t{l.GifCount} + l.RawCount;
  ProgressStep step(progress, "Converting and moving RAWs");
  AtomicOutputFile output(outputFile);
  BinaryFile& out = output.File();
  CompileResult result;
  PictureFingerprints prints;

  // A RAW picture's length is known only once it is converted: the RAW
  // pictures go to their place first, and the plan made from their lengths
  // gives everything else. Workers convert; this thread appends in picture
  // order, so the image is the same whatever the number of workers.
  const PictureFolder icons(JoinTail(drmPackFolder, "icons"));
  std::vector<PictureSize> rawSizes;
  if (l.DrmVariant == 1) {
    const PictureFolder raws(JoinTail(drmPackFolder, "raws"));
    out.Seek(l.RawData);
    OrderedParallelMap(
        static_cast<std::size_t>(l.RawCount), convertRawToBmp ? workers : 1,
        [&](std::size_t index) { return ChooseRawPicture(static_cast<int>(index) + 1, convertRawToBmp, icons, raws); },
        [&](std::size_t index, RawChoice choice) {
          const int i = static_cast<int>(index) + 1;
          CopiedPicture picture;
          if (choice.converted) {
            picture = AppendBytes(*choice.converted, out);
          } else if (choice.file) {
            picture = Append(*choice.file, out, true);
          } else {
            result.skipped.push_back(i);
          }
          rawSizes.push_back({picture.length, choice.width, choice.height});
          prints.raws.push_back(picture.fingerprint);
          step.SetPosition(PercentDone(i, total));
        });
  }

  std::vector<fs::path> gifFiles;
  std::vector<PictureSize> gifSizes;
  for (int k = 1; k <= l.GifCount; ++k) {
    const int n = l.RawCount + k;
    auto picture = CompiledGifFile(icons, n);
    if (!picture) {
      throw Error(Error::Kind::Io, fmt::format("{}: picture {} is missing (neither {}.gif nor {}.bmp)",
                                               icons.Folder().string(), n, n, n));
    }
    gifSizes.push_back({FileSize(*picture)});
    gifFiles.push_back(std::move(*picture));
  }

  const DrmRebuildPlan plan = PlanDrmRebuild(rebuild, rawSizes, gifSizes);
  progress.SetCaption("Moving gifs");
  for (const RebuildSegment& segment : plan.segments) {
    out.Seek(segment.at);
    switch (segment.kind) {
      case RebuildSegment::Kind::Kept:
        CopyExactly(in, segment.source, segment.length, out, "a part of the image that is kept");
        break;
      case RebuildSegment::Kind::RawPicture:
        break;  // written above, at this place
      case RebuildSegment::Kind::RawPadding:
      case RebuildSegment::Kind::GifPadding:
        AppendZeros(out, segment.length);
        break;
      case RebuildSegment::Kind::RawTable:
        out.Write(plan.rawTable);
        break;
      case RebuildSegment::Kind::GifPicture: {
        const fs::path& file = gifFiles[static_cast<std::size_t>(segment.source - 1)];
        const CopiedPicture picture = Append(file, out);
        if (picture.length != segment.length) {
          throw Error(Error::Kind::Io, fmt::format("{}: the file changed while it was being saved ({} bytes, then {})",
                                                   file.string(), segment.length, picture.length));
        }
        prints.gifs.push_back(picture.fingerprint);
        step.SetPosition(PercentDone(l.RawCount + segment.source, total));
        break;
      }
      case RebuildSegment::Kind::GifTable:
        out.Write(EncodeGifTable(plan));
        break;
    }
  }
  for (const PointerMove& move : plan.pointers) WriteU32BEAt(out, move.slot, move.after);

  // The image goes into a phone: it takes the output's name only once it reads back as planned.
  output.SetVerifier([&](const fs::path& temp) {
    if (faults.tamper) faults.tamper(temp);
    VerifyCompiledDrm(temp, outputFile, in, plan, prints);
  });
  output.Commit();
  result.layout = plan.output;
  return result;
}

}  // namespace resmill::drm
