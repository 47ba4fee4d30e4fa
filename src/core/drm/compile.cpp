#include "drm/compile.h"

#include <array>
#include <limits>
#include <utility>

#include <fmt/format.h>

#include "drm/compile_verify.h"
#include "drm/picture_folder.h"
#include "platform/atomic_output.h"
#include "platform/byte_io.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/numeric.h"

namespace resmill::drm {
namespace fs = std::filesystem;

namespace {

using LayoutField = std::pair<const char*, std::int32_t DrmLayout::*>;
constexpr std::array<LayoutField, 13> kLayoutFields = {{
    {"DrmVariant", &DrmLayout::DrmVariant},
    {"Base", &DrmLayout::Base},
    {"Dir", &DrmLayout::Dir},
    {"DirCount", &DrmLayout::DirCount},
    {"GifData", &DrmLayout::GifData},
    {"GifCount", &DrmLayout::GifCount},
    {"GifTable", &DrmLayout::GifTable},
    {"GifTableEnd", &DrmLayout::GifTableEnd},
    {"HeaderPointerCount", &DrmLayout::HeaderPointerCount},
    {"RawData", &DrmLayout::RawData},
    {"RawCount", &DrmLayout::RawCount},
    {"RawTable", &DrmLayout::RawTable},
    {"RawTableEnd", &DrmLayout::RawTableEnd},
}};

void CheckDescriptionMatches(const DrmLayout& described, const DrmLayout& actual, const fs::path& descrDat,
                             const fs::path& cg15) {
  for (const auto& [name, member] : kLayoutFields) {
    if (described.*member != actual.*member) {
      throw Error(Error::Kind::Format,
                  fmt::format("{} does not describe {}: {} is {} there but {} in the image; open the flash file again",
                              descrDat.string(), cg15.string(), name, described.*member, actual.*member));
    }
  }
}

constexpr std::int64_t kMaxImageSize = std::numeric_limits<std::int32_t>::max();

/// Appends a whole file to the output; returns its length and fingerprint for the
/// read-back. `evenLength` refuses odd lengths before anything is copied.
CompiledPicture Append(const fs::path& file, BinaryFile& out, bool evenLength = false) {
  BinaryFile in(file, BinaryFile::Mode::Read);
  if (evenLength) {
    std::int64_t length = in.Size();
    if (length % 2 != 0) {
      // Offsets are kept in 16-bit units: an odd length would shift every later picture by a byte.
      ThrowFormatError(file, "", fmt::format("{} bytes; a RAW picture has an even length", length));
    }
  }
  CompiledPicture picture;
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
  if (out.Position() > kMaxImageSize) {
    throw Error(Error::Kind::Limit, fmt::format("{}: the new DRM image would exceed {} bytes", out.Path().string(),
                                                kMaxImageSize));
  }
  return picture;
}

void AppendZeros(BinaryFile& out, std::int64_t count) {
  static constexpr std::array<std::uint8_t, 16> kZeros{};
  if (count > 0) out.Write(std::span(kZeros.data(), static_cast<std::size_t>(count)));
}

void CopyExact(BinaryFile& in, std::int64_t from, std::int64_t to, BinaryFile& out) {
  if (CopyRange(in, from, to - from, out, true) != to - from) {
    ThrowFormatError(in.Path(), "offset " + HexOffset(static_cast<std::uint64_t>(from)), "the image ends early");
  }
}

struct RawChoice {
  std::optional<fs::path> file;
  int width = 0;
  int height = 0;
};

RawChoice ChooseRawPicture(int i, bool convertRawToBmp, const PictureFolder& icons, const PictureFolder& raws,
                           const fs::path& tempRaw, image::ConversionContext& context) {
  RawChoice choice;
  if (convertRawToBmp) {
    auto png = icons.Find(fmt::format("{}.png", i));
    if (!png) return choice;
    // The size comes from the conversion itself; stale values of the last picture must not leak in.
    context.LastPictureWidth = 0;
    context.LastPictureHeight = 0;
    std::optional<fs::path> written;
    try {
      written = image::BmpToRaw(context, *png, image::PictureKind::Raw, tempRaw);
    } catch (const Error& e) {
      if (e.kind() == Error::Kind::Io) throw;
      return choice;
    }
    if (!written || context.LastPictureWidth == 0 || context.LastPictureHeight == 0) return choice;
    choice = {*written, context.LastPictureWidth, context.LastPictureHeight};
    choice.file = *written;
    if (choice.width > 255 || choice.height > 255) {
      throw Error(Error::Kind::Limit, fmt::format("{}: a {}x{} picture does not fit the DRM (at most 255x255)",
                                                  png->string(), choice.width, choice.height));
    }
    return choice;
  }
  auto files = raws.RawFiles(i);
  if (files.empty()) return choice;
  auto size = image::ParseRawSize(files.front());
  if (!size) return choice;
  if (size->width < 0 || size->width > 255 || size->height < 0 || size->height > 255) {
    throw Error(Error::Kind::Limit, fmt::format("{}: a {}x{} picture does not fit the DRM (at most 255x255)",
                                                files.front().string(), size->width, size->height));
  }
  return {files.front(), size->width, size->height};
}

/// Moves the pointers of the header pointer table (variant 1) and the resource
/// directory by the shifts of the rebuilt areas.
void MovePointers(BinaryFile& out, const DrmLayout& l, std::int64_t rawDelta, std::int64_t gifDelta,
                  std::int64_t newRawSize) {
  const std::uint32_t base = static_cast<std::uint32_t>(l.Base);
  auto offsetOf = [base](std::uint32_t v) { return static_cast<std::int32_t>(v - base); };
  auto pointerTo = [base](std::int64_t q) { return static_cast<std::uint32_t>(q) + base; };
  if (l.DrmVariant == 1) {
    for (int k = 0; k < l.HeaderPointerCount; ++k) {
      std::int64_t at = kHeaderPointerTable + 4 * k;
      std::uint32_t v = ReadU32BEAt(out, at);
      if (offsetOf(v) > l.RawData) WriteU32BEAt(out, at, v - static_cast<std::uint32_t>(rawDelta));
    }
  }
  for (int k = 0; k < l.DirCount; ++k) {
    std::int64_t at = std::int64_t{l.Dir} + 4 * k;
    std::uint32_t v = ReadU32BEAt(out, at);
    std::int64_t q = offsetOf(v);
    if (q > l.GifData) {
      WriteU32BEAt(out, at, pointerTo(q - rawDelta - gifDelta));
    } else if (l.DrmVariant == 1 && q > l.RawTable) {
      WriteU32BEAt(out, at, pointerTo(q - rawDelta));
    } else if (l.DrmVariant == 1 && q > l.RawData) {
      WriteU32BEAt(out, at, pointerTo(q + newRawSize - (std::int64_t{l.RawTable} - l.RawData)));
    }
  }
}

}  // namespace

CompileResult CompileDrm(const fs::path& drmPackFolder, const fs::path& cg15, const fs::path& outputFile,
                         bool convertRawToBmp, image::ConversionContext& context, Progress& progress,
                         const WriterFaults& faults) {
  const fs::path descrDat = ResolveCaseBlind(drmPackFolder, "descr.dat");
  const DrmLayout l = ReadDescrDat(descrDat);

  BinaryFile in(cg15, BinaryFile::Mode::Read);
  const std::int64_t inSize = in.Size();
  std::int32_t variant = 0;
  FindDrmMarker(in, variant);
  const DrmLayout actual = ReadDrmLayout(in, variant);
  CheckDescriptionMatches(l, actual, descrDat, cg15);
  const DrmTables tables = ReadDrmTables(in, l);
  CheckCompilableLayout(l, inSize, cg15);

  const std::int64_t total = std::int64_t{l.GifCount} + l.RawCount;
  ProgressStep step(progress, "Converting and moving RAWs");
  AtomicOutputFile output(outputFile);
  BinaryFile& out = output.File();
  CompileResult result;
  CompiledPictures copied;

  std::int64_t rawDelta = 0;
  std::int64_t rawSize = 0;
  if (l.DrmVariant == 1) {
    CopyExact(in, 0, l.RawData, out);
    // Entry 0 and every byte the table does not define are kept from the old table.
    std::vector<std::uint8_t> table(static_cast<std::size_t>(l.RawCount + 2) * kRawEntrySize);
    in.Seek(l.RawTable);
    in.ReadExact(std::span(table.data(), kRawEntrySize), "the RAW table");
    std::copy(tables.rawEntries.begin(), tables.rawEntries.end(), table.begin() + kRawEntrySize);

    PictureFolder icons(JoinTail(drmPackFolder, "icons"));
    PictureFolder raws(JoinTail(drmPackFolder, "raws"));
    const fs::path tempRaw = JoinTail(drmPackFolder, "temp.raw");
    for (int i = 1; i <= l.RawCount; ++i) {
      RawChoice choice = ChooseRawPicture(i, convertRawToBmp, icons, raws, tempRaw, context);
      std::uint8_t* entry = &table[static_cast<std::size_t>(i) * kRawEntrySize];
      if (!choice.file) result.skipped.push_back(i);
      entry[1] = static_cast<std::uint8_t>(choice.width);
      entry[3] = static_cast<std::uint8_t>(choice.height);
      PutU32BE(static_cast<std::uint32_t>(rawSize / 2), entry + 12);
      CompiledPicture picture;
      if (choice.file) picture = Append(*choice.file, out, true);
      picture.width = choice.width;
      picture.height = choice.height;
      rawSize += picture.length;
      copied.raws.push_back(picture);
      step.SetPosition(PercentDone(i, total));
    }
    std::uint8_t* closing = &table[static_cast<std::size_t>(l.RawCount + 1) * kRawEntrySize];
    closing[1] = 0;
    closing[3] = 0;
    PutU32BE(static_cast<std::uint32_t>(rawSize / 2), closing + 12);
    std::int64_t padding = (4 - rawSize % 4) % 4;
    AppendZeros(out, padding);
    rawSize += padding;
    rawDelta = (std::int64_t{l.RawTableEnd} - l.RawData) - rawSize - std::int64_t(table.size());
    out.Write(table);
    CopyExact(in, l.RawTableEnd, l.GifData, out);
  } else {
    CopyExact(in, 0, l.GifData, out);
  }

  progress.SetCaption("Moving gifs");
  PictureFolder icons(JoinTail(drmPackFolder, "icons"));
  std::vector<std::uint8_t> gifTable(static_cast<std::size_t>(l.GifCount + 2) * 4);
  std::int64_t gifSize = 0;
  for (int k = 1; k <= l.GifCount; ++k) {
    const int n = l.RawCount + k;
    auto picture = icons.Find(fmt::format("{}.gif", n));
    if (!picture) picture = icons.Find(fmt::format("{}.bmp", n));
    if (!picture) {
      throw Error(Error::Kind::Io, fmt::format("{}: picture {} is missing (neither {}.gif nor {}.bmp)",
                                               icons.Folder().string(), n, n, n));
    }
    PutU32BE(static_cast<std::uint32_t>(gifSize), &gifTable[static_cast<std::size_t>(k) * 4]);
    copied.gifs.push_back(Append(*picture, out));
    gifSize += copied.gifs.back().length;
    step.SetPosition(PercentDone(n, total));
  }
  PutU32BE(static_cast<std::uint32_t>(gifSize), &gifTable[static_cast<std::size_t>(l.GifCount + 1) * 4]);
  std::int64_t gifPadding = (16 - gifSize % 16) % 16;
  AppendZeros(out, gifPadding);
  gifSize += gifPadding;
  out.Write(gifTable);
  CopyExact(in, l.GifTableEnd, inSize, out);
  if (out.Position() > kMaxImageSize) {
    throw Error(Error::Kind::Limit,
                fmt::format("{}: the new DRM image would exceed {} bytes", outputFile.string(), kMaxImageSize));
  }
  const std::int64_t gifDelta = (std::int64_t{l.GifTableEnd} - l.GifData) - gifSize - std::int64_t(gifTable.size());
  MovePointers(out, l, rawDelta, gifDelta, rawSize);

  // What the new image must read back as: same pictures, at the places written above.
  DrmLayout expected = l;
  if (l.DrmVariant == 1) {
    expected.RawTable = static_cast<std::int32_t>(l.RawData + rawSize);
    expected.RawTableEnd = static_cast<std::int32_t>(l.RawTableEnd - rawDelta);
  }
  expected.GifData = static_cast<std::int32_t>(l.GifData - rawDelta);
  expected.GifTable = static_cast<std::int32_t>(expected.GifData + gifSize);
  expected.GifTableEnd = static_cast<std::int32_t>(l.GifTableEnd - rawDelta - gifDelta);
  // The image goes into a phone: it takes the output's name only once it reads back as meant.
  output.SetVerifier([&](const fs::path& temp) {
    if (faults.tamper) faults.tamper(temp);
    VerifyCompiledDrm(temp, outputFile, in, l, copied);
  });
  output.Commit();
  result.layout = expected;
  return result;
}

}  // namespace resmill::drm
