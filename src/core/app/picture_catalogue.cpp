#include "app/picture_catalogue.h"

#include <fmt/format.h>

#include "image/graphics/gif_animation.h"
#include "image/graphics/graphics.h"
#include "image/raw_picture.h"
#include "platform/binary_file.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/numeric.h"

namespace resmill::app {
namespace fs = std::filesystem;
namespace gfx = image::graphics;

namespace {

using drm::kMaxRawSide;

PictureSize HeaderSize(const fs::path& file) {
  std::optional<gfx::PictureInfo> info = gfx::ReadPictureInfo(file);
  return info ? PictureSize{info->width, info->height} : PictureSize{};
}

/// Icons and their animations are small; a file far beyond this is not read
/// whole to tell whether it is animated.
constexpr std::int64_t kMaxCountedGif = 64 * 1024 * 1024;

/// The size a GIF-table picture's file gives and whether it is an animated GIF,
/// from one read of the file (two only for a GIF longer than the header probe).
void ReadGifTableFile(const fs::path& file, PictureEntry& entry) {
  std::int64_t length = 0;
  std::vector<std::uint8_t> bytes = ReadFileHead(file, gfx::kHeaderProbeSize, &length);
  if (std::optional<gfx::PictureInfo> info = gfx::ReadPictureInfoFromMemory(bytes)) {
    entry.size = {info->width, info->height};
  }
  if (gfx::SniffFormat(bytes) != gfx::PictureFormat::Gif) return;
  try {
    if (static_cast<std::uint64_t>(length) > bytes.size()) bytes = ReadWholeFile(file, kMaxCountedGif, "a GIF icon");
    entry.animated = gfx::CountGifFrames(bytes, file) > 1;
  } catch (const Error& e) {
    // A damaged (or outsized) GIF is not called animated; Examine and Decode tell the rest.
    if (e.kind() == Error::Kind::Io) throw;
  }
}

/// Runs a decode that may meet a damaged or oversized file: those give nothing; a failing disk still throws.
template <typename F>
std::optional<gfx::Bitmap> DecodeQuietly(F&& decode) {
  try {
    std::optional<gfx::Bitmap> bitmap = decode();
    if (bitmap && bitmap->Empty()) return std::nullopt;
    return bitmap;
  } catch (const Error& e) {
    if (e.kind() == Error::Kind::Io) throw;
    return std::nullopt;
  }
}

/// What the phone shows is the same: equal sizes, the same pixels transparent, and
/// the same colour wherever a pixel is seen.
bool SameVisiblePixels(const gfx::Bitmap& a, const gfx::Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  std::span<const gfx::Argb> pa = a.Pixels(), pb = b.Pixels();
  for (std::size_t i = 0; i < pa.size(); ++i) {
    const bool clearA = gfx::AlphaOf(pa[i]) == 0, clearB = gfx::AlphaOf(pb[i]) == 0;
    if (clearA != clearB || (!clearA && pa[i] != pb[i])) return false;
  }
  return true;
}

PictureStatus Status(PictureState state, std::string problem = {}) { return {state, std::move(problem)}; }

PictureStatus Unreadable(std::string problem) { return Status(PictureState::Unreadable, std::move(problem)); }


}  // namespace

std::string_view KindName(DrmPictureKind kind) {
  switch (kind) {
    case DrmPictureKind::Raw: return "RAW";
    case DrmPictureKind::Gif: return "GIF";
    case DrmPictureKind::Bmp: return "BMP";
  }
  return "?";
}

std::string SizeText(PictureSize size) { return fmt::format("{}x{}", size.width, size.height); }

std::string_view StateName(PictureState state) {
  switch (state) {
    case PictureState::Original: return "original";
    case PictureState::Edited: return "edited";
    case PictureState::NewSize: return "new size";
    case PictureState::Empty: return "empty";
    case PictureState::Unreadable: return "cannot be read";
  }
  return "?";
}

PictureCatalogue::PictureCatalogue(fs::path drmPackFolder, const fs::path& cg15, bool convertRawToBmp)
    : drmPackFolder_(std::move(drmPackFolder)), original_(cg15, drmPackFolder_), convertRawToBmp_(convertRawToBmp) {
  Refresh();
}

void PictureCatalogue::Refresh() {
  const drm::PictureFolder icons(JoinTail(drmPackFolder_, "icons"));
  const drm::PictureFolder raws(JoinTail(drmPackFolder_, "raws"));
  std::vector<PictureEntry> entries;
  entries.reserve(static_cast<std::size_t>(original_.PictureCount()));
  for (int n = 1; n <= original_.PictureCount(); ++n) entries.push_back(MakeEntry(n, icons, raws));
  entries_ = std::move(entries);
}

PictureEntry PictureCatalogue::MakeEntry(int number, const drm::PictureFolder& icons,
                                         const drm::PictureFolder& raws) const {
  const drm::StoredPicture& stored = original_.Picture(number);
  PictureEntry entry;
  entry.number = number;
  entry.position = stored.raw ? number : number - RawCount();
  entry.file = drm::CompiledPictureFile(icons, raws, RawCount(), number, convertRawToBmp_);
  if (stored.raw) {
    entry.kind = DrmPictureKind::Raw;
    entry.originalSize = {stored.width, stored.height};
    if (!entry.file) return entry;
    if (convertRawToBmp_) {
      entry.size = HeaderSize(*entry.file);
    } else {
      try {
        if (auto tag = image::ParseRawSize(*entry.file)) entry.size = {tag->width, tag->height};
      } catch (const Error&) {
        // A width beyond 32 bits: Examine reports it; the listing shows no size.
      }
    }
    return entry;
  }
  const fs::path& named = entry.file ? *entry.file : fs::path(stored.fileName);
  entry.kind = UpperExtension(named.string()) == ".BMP" ? DrmPictureKind::Bmp : DrmPictureKind::Gif;
  std::optional<gfx::PictureInfo> info = gfx::ReadPictureInfoFromMemory(original_.ReadBytes(number));
  if (info) entry.originalSize = {info->width, info->height};
  if (entry.file) ReadGifTableFile(*entry.file, entry);
  return entry;
}

const PictureEntry& PictureCatalogue::Picture(int number) const {
  original_.Picture(number);  // refuses a number the DRM does not have
  return entries_[static_cast<std::size_t>(number) - 1];
}

PictureStatus PictureCatalogue::Examine(int number) const {
  const PictureEntry& entry = Picture(number);
  return entry.kind == DrmPictureKind::Raw ? ExamineRaw(entry) : ExamineGif(entry);
}

std::vector<PictureStatus> PictureCatalogue::ExamineAll(Progress& progress) const {
  ProgressStep step(progress, "Examining pictures");
  std::vector<PictureStatus> statuses;
  statuses.reserve(entries_.size());
  for (const PictureEntry& entry : entries_) {
    statuses.push_back(Examine(entry.number));
    step.SetPosition(PercentDone(entry.number, static_cast<std::int64_t>(entries_.size())));
  }
  return statuses;
}

PictureStatus PictureCatalogue::ExamineRaw(const PictureEntry& entry) const {
  if (!entry.file) return Status(PictureState::Empty);
  const fs::path& file = *entry.file;
  const std::int64_t length = FileSize(file);
  const bool originalEmpty = entry.originalSize.width == 0 || entry.originalSize.height == 0;
  if (convertRawToBmp_) {
    // The unpack leaves an empty PNG for a 0-sized picture; the save stores such a file 0x0.
    if (length == 0) return Status(originalEmpty ? PictureState::Original : PictureState::Empty);
    std::optional<gfx::Bitmap> picture = DecodeQuietly([&] { return gfx::LoadBitmap(file); });
    if (!picture) return Unreadable("not a picture that can be read");
    const PictureSize size{picture->Width(), picture->Height()};
    if (size.width > kMaxRawSide || size.height > kMaxRawSide) {
      return Unreadable(fmt::format("{} is larger than {}x{}, the largest a RAW picture can be", SizeText(size),
                                    kMaxRawSide, kMaxRawSide));
    }
    if (static_cast<std::uint64_t>(size.width) * static_cast<std::uint64_t>(size.height) > image::kMaxRawPixels) {
      return Unreadable(fmt::format("{} has more than the {} pixels a RAW picture may have", SizeText(size),
                                    image::kMaxRawPixels));
    }
    if (size != entry.originalSize) return Status(PictureState::NewSize);
    // Compared as the save stores it: RAW colours and a transparent-or-opaque mask.
    const gfx::Bitmap stored = image::DecodeRawBytes(image::EncodeRawBytes(*picture, file), size.width, size.height, file);
    std::optional<gfx::Bitmap> original = DecodeOriginal(entry.number);
    return Status(original && SameVisiblePixels(stored, *original) ? PictureState::Original : PictureState::Edited);
  }
  std::optional<image::RawSize> tag;
  try {
    tag = image::ParseRawSize(file);
  } catch (const Error& e) {
    if (e.kind() == Error::Kind::Io) throw;
    return Unreadable(e.what());
  }
  if (!tag) return Unreadable("the name has no size tag such as (16x16) before .raw");
  if (tag->width < 0 || tag->width > kMaxRawSide || tag->height < 0 || tag->height > kMaxRawSide) {
    return Unreadable(fmt::format("a {}x{} picture does not fit the DRM (at most {}x{})", tag->width, tag->height,
                                  kMaxRawSide, kMaxRawSide));
  }
  if (length % 2 != 0) return Unreadable(fmt::format("{} bytes; a RAW picture has an even length", length));
  if (PictureSize{tag->width, tag->height} != entry.originalSize) return Status(PictureState::NewSize);
  return Status(original_.SameBytes(entry.number, file) ? PictureState::Original : PictureState::Edited);
}

PictureStatus PictureCatalogue::ExamineGif(const PictureEntry& entry) const {
  if (!entry.file) {
    return Unreadable(fmt::format("neither {0}.gif nor {0}.bmp is in {1}", entry.number,
                                  JoinTail(drmPackFolder_, "icons").string()));
  }
  if (original_.SameBytes(entry.number, *entry.file)) return Status(PictureState::Original);
  if (FileSize(*entry.file) == 0) return Status(PictureState::Empty);
  const bool sizesKnown = entry.size != PictureSize{} && entry.originalSize != PictureSize{};
  return Status(sizesKnown && entry.size != entry.originalSize ? PictureState::NewSize : PictureState::Edited);
}

std::optional<gfx::Bitmap> PictureCatalogue::Decode(int number) const {
  const PictureEntry& entry = Picture(number);
  if (!entry.file) return std::nullopt;
  const fs::path& file = *entry.file;
  if (entry.kind == DrmPictureKind::Raw && !convertRawToBmp_) {
    return DecodeQuietly([&]() -> std::optional<gfx::Bitmap> {
      std::optional<image::RawSize> tag = image::ParseRawSize(file);
      if (!tag || tag->width <= 0 || tag->height <= 0) return std::nullopt;
      const auto width = static_cast<std::uint64_t>(tag->width), height = static_cast<std::uint64_t>(tag->height);
      if (width * height > image::kMaxRawPixels) return std::nullopt;
      // A file shorter than its tag says decodes with the rest transparent; a longer one is cut.
      return image::DecodeRawBytes(ReadFileHead(file, image::RawFileLength(width, height)), tag->width, tag->height,
                                   file);
    });
  }
  return DecodeQuietly([&] { return gfx::LoadBitmap(file); });
}

std::optional<gfx::Bitmap> PictureCatalogue::DecodeOriginal(int number) const {
  const drm::StoredPicture& stored = original_.Picture(number);
  const std::vector<std::uint8_t> bytes = original_.ReadBytes(number);
  return DecodeQuietly([&]() -> std::optional<gfx::Bitmap> {
    if (!stored.raw) return gfx::LoadBitmapFromMemory(bytes);
    if (stored.width == 0 || stored.height == 0) return std::nullopt;
    return image::DecodeRawBytes(bytes, stored.width, stored.height, original_.Image());
  });
}

void PictureCatalogue::Revert(std::span<const int> numbers, Progress& progress) {
  for (int number : numbers) original_.Picture(number);
  {
    ProgressStep step(progress, "Reverting pictures");
    int done = 0;
    try {
      for (int number : numbers) {
        original_.Restore(number, drmPackFolder_, convertRawToBmp_);
        step.SetPosition(PercentDone(++done, static_cast<std::int64_t>(numbers.size())));
      }
    } catch (...) {
      Refresh();
      throw;
    }
  }
  Refresh();
  // Each file was read back as it was written; this checks that the save now takes them as the originals.
  for (int number : numbers) {
    const PictureStatus status = Examine(number);
    if (status.state != PictureState::Original) {
      const PictureEntry& entry = Picture(number);
      ThrowReadBackFailure("picture", entry.file ? *entry.file : drmPackFolder_, fmt::format("picture {}", number),
                           fmt::format("after the revert it reads as {}", StateName(status.state)));
    }
  }
}

PictureCatalogue OpenCatalogue(const Session& session, int slot) {
  if (slot != 1 && slot != 2) throw Error(Error::Kind::Internal, fmt::format("no file slot {}", slot));
  if (session.nothingPending) throw Error(Error::Kind::Refused, "nothing is pending; open a flash file first");
  if (slot == 1 && (session.stageFlags & kSkinTarget)) {
    throw Error(Error::Kind::Refused, "the target is a skin; it has no DRM pictures");
  }
  if (slot == 2 && session.OneFileWork()) {
    throw Error(Error::Kind::Refused, "only a target file was opened; there is no source");
  }
  const fs::path& drmPack = session.tree.DrmPackFolder(slot);
  if (!FindCaseBlind(drmPack, "descr.dat")) {
    throw Error(Error::Kind::Refused,
                fmt::format("{} holds no unpacked DRM (descr.dat is missing; a skin has none)", drmPack.string()));
  }
  return PictureCatalogue(drmPack, ResolveCaseBlind(session.tree.BinaryFolder(slot), "CG15.bin"),
                          session.settings.convertRawToBmp);
}

PortPairing PairForPort(const PictureCatalogue& target, const PictureCatalogue& source) {
  PortPairing pairing;
  pairing.compatible = drm::PortCompatible(source.Layout(), target.Layout());
  std::vector<std::optional<int>> sourceFor(target.Pictures().size() + 1);
  for (const drm::PortPair& pair : drm::PortPairs(source.Layout(), target.Layout())) {
    sourceFor[static_cast<std::size_t>(pair.target)] = pair.source;
  }
  for (const PictureEntry& entry : target.Pictures()) {
    pairing.pairs.push_back({entry.number, sourceFor[static_cast<std::size_t>(entry.number)]});
  }
  return pairing;
}

std::string SizeLabel(const PictureEntry& entry) {
  const bool unknown = entry.kind != DrmPictureKind::Raw && entry.size == PictureSize{};
  return unknown ? "?" : SizeText(entry.size);
}

std::string SheetLabel(const PictureEntry& entry) { return fmt::format("{} {}", entry.number, SizeLabel(entry)); }

std::string StatusText(const PictureEntry& entry, const PictureStatus& status) {
  switch (status.state) {
    case PictureState::NewSize:
      return fmt::format("{} (was {})", StateName(status.state), SizeText(entry.originalSize));
    case PictureState::Unreadable: return fmt::format("{}: {}", StateName(status.state), status.problem);
    default: return std::string(StateName(status.state));
  }
}

SheetSummary WriteContactSheet(const PictureCatalogue& catalogue, const fs::path& output,
                               const SheetOptions& options, Progress& progress) {
  std::vector<image::SheetCell> cells;
  for (const PictureEntry& entry : catalogue.Pictures()) {
    cells.push_back({SheetLabel(entry), entry.size.width, entry.size.height});
  }
  image::ContactSheet sheet(cells, options);
  {
    ProgressStep step(progress, "Drawing the contact sheet");
    std::size_t index = 0;
    for (const PictureEntry& entry : catalogue.Pictures()) {
      if (std::optional<gfx::Bitmap> picture = catalogue.Decode(entry.number)) {
        sheet.DrawPicture(index, *picture);
      } else {
        sheet.MarkMissing(index);
      }
      ++index;
      step.SetPosition(PercentDone(static_cast<std::int64_t>(index), static_cast<std::int64_t>(cells.size())));
    }
  }
  if (!gfx::SaveBitmap(sheet.Sheet(), output, "image/png")) {
    throw Error(Error::Kind::Internal, "no PNG encoder for the contact sheet");
  }
  return {static_cast<int>(cells.size()), sheet.Sheet().Width(), sheet.Sheet().Height()};
}

}  // namespace resmill::app
