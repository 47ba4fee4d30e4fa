#include "skin/skin_pack.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "platform/atomic_output.h"
#include "platform/binary_file.h"
#include "platform/byte_io.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/numeric.h"
#include "skin/conv_list.h"
#include "skin/skin_format.h"
#include "skin/skin_unpack.h"

namespace resmill::skin {

namespace fs = std::filesystem;
using image::PictureKind;

namespace {

struct Picture {
  std::string name;   ///< the name in the skin
  fs::path file;      ///< where its bytes are
  std::uint32_t length = 0;
};

/// One name from each search in turn, a search dropping out once it has no more.
std::vector<FoundFile> TakeInTurn(std::vector<std::vector<FoundFile>> searches) {
  std::vector<FoundFile> out;
  for (std::size_t round = 0;; ++round) {
    bool any = false;
    for (auto& search : searches) {
      if (round < search.size()) {
        out.push_back(std::move(search[round]));
        any = true;
      }
    }
    if (!any) return out;
  }
}

std::vector<FoundFile> Search(const fs::path& folder, std::initializer_list<std::string_view> masks) {
  std::vector<std::vector<FoundFile>> searches;
  SearchOptions options;
  options.includeHidden = true;  // a skin name may start with a dot
  for (std::string_view mask : masks) searches.push_back(FindFiles(folder, mask, options));
  return TakeInTurn(std::move(searches));
}

int Position(std::size_t j, std::size_t count) {
  return count == 1 ? 100 : PercentDone(static_cast<std::int64_t>(j), static_cast<std::int64_t>(count) - 1);
}

/// Deletes the converted pictures when the pack ends, however it ends.
class ConvertedFiles {
 public:
  ConvertedFiles() = default;
  ConvertedFiles(const ConvertedFiles&) = delete;
  ConvertedFiles& operator=(const ConvertedFiles&) = delete;
  ~ConvertedFiles() {
    for (const fs::path& file : files_) DeleteFileQuietly(file);
  }
  void Add(const fs::path& file) { files_.push_back(file); }

 private:
  std::vector<fs::path> files_;
};

class Packer {
 public:
  Packer(const fs::path& folderF, const fs::path& outputFile, PictureConverter& converter, Progress& progress,
         const MissingPictureHandler& onMissing, const WriterFaults& faults)
      : folder_(folderF), output_(outputFile), converter_(converter), step_(progress, "Searching for files"),
        progress_(progress), onMissing_(onMissing), faults_(faults) {}

  PackResult Run(bool convertSkinPictures);

 private:
  void ConvertIcons(const std::vector<FoundFile>& icons);
  void Measure();
  PackResult Write();
  void Verify(const fs::path& temp) const;

  [[noreturn]] void Unreadable(std::string_view name, const fs::path& file, std::string_view why) const {
    if (onMissing_) onMissing_(name);
    throw Error(Error::Kind::Io, fmt::format("skin picture \"{}\" ({}): {}", name, file.string(), why));
  }
  void NotifyMissing(std::string_view name) const {
    if (onMissing_) onMissing_(name);
  }

  const fs::path& folder_;
  const fs::path& output_;
  PictureConverter& converter_;
  ProgressStep step_;
  Progress& progress_;
  const MissingPictureHandler& onMissing_;
  const WriterFaults& faults_;
  std::vector<Picture> pictures_;
  SkinDirectory plan_;  ///< the skin as laid out for writing
  ConvertedFiles converted_;
};

PackResult Packer::Run(bool convertSkinPictures) {
  for (FoundFile& found : Search(folder_ / kRawsFolder, {"*.k", "*.g"})) {
    pictures_.push_back(Picture{std::move(found.name), std::move(found.path), 0});
  }
  std::vector<FoundFile> icons;
  if (convertSkinPictures) {
    CreateFolder(folder_ / kConvFolder);
    icons = Search(folder_ / kIconsFolder, {"*.bmp", "*.gif", "*.png"});
  }

  progress_.SetCaption("Retrieving skin structure");
  ConvertIcons(icons);
  if (pictures_.empty()) return PackResult{};
  Measure();
  return Write();
}

void Packer::ConvertIcons(const std::vector<FoundFile>& icons) {
  if (icons.empty()) return;
  const fs::path listFile = folder_ / kIconsFolder / kConvListName;
  TSearchTree tree;
  if (auto records = ReadConvList(listFile)) {
    for (const TConvRec& record : *records) tree.Insert(record);
  }

  for (std::size_t j = 0; j < icons.size(); ++j) {
    const FoundFile& icon = icons[j];
    step_.SetPosition(Position(j, icons.size()));
    TConvRec record = tree.Find(icon.name);
    PictureKind kind = record.kind;
    std::string device = record.pictureName;
    if (device.empty()) {
      std::string ext = UpperExtension(icon.name);
      if (ext == ".GIF" || ext == ".PNG") {
        kind = PictureKind::G;
        device = ReplaceNameExtension(icon.name, ".g");
      } else {
        kind = PictureKind::K18;
        device = ReplaceNameExtension(icon.name, ".k");
      }
    } else if (std::string problem = NameProblem(device); !problem.empty()) {
      ThrowFormatError(listFile, "", fmt::format("\"{}\" is listed as picture \"{}\", which cannot be a skin name: {}",
                                                 icon.name, device, problem));
    }
    // Kinds that are no skin picture were never converted from one: the device
    // picture in F/raws, if any, goes in unchanged.
    if (kind != PictureKind::K18 && kind != PictureKind::K32 && kind != PictureKind::G) continue;

    if (device.size() > kMaxPackedNameLength) {
      throw Error(Error::Kind::Limit, fmt::format("{}: \"{}\" would go into the skin as a name of {} bytes, a skin "
                                                  "name may have at most {}",
                                                  icon.path.string(), icon.name, device.size(), kMaxPackedNameLength));
    }
    const fs::path target = folder_ / kConvFolder / device;
    std::optional<fs::path> made;
    try {
      made = converter_.ToDevice(icon.path, kind, target);
    } catch (...) {
      NotifyMissing(icon.name);
      throw;
    }
    if (made) converted_.Add(*made);
    if (!made || !FileExists(*made)) Unreadable(icon.name, icon.path, "could not be converted to a skin picture");

    auto same = std::find_if(pictures_.begin(), pictures_.end(), [&](const Picture& p) { return p.name == device; });
    if (same != pictures_.end()) {
      same->file = *made;
    } else {
      pictures_.push_back(Picture{device, *made, 0});
    }
  }
}

void Packer::Measure() {
  if (pictures_.size() > kMaxEntries) {
    throw Error(Error::Kind::Limit, fmt::format("{}: {} pictures, a skin may hold at most {}",
                                                folder_.string(), pictures_.size(), kMaxEntries));
  }
  for (std::size_t j = 0; j < pictures_.size(); ++j) {
    Picture& p = pictures_[j];
    if (p.name.size() > kMaxPackedNameLength) {
      throw Error(Error::Kind::Limit, fmt::format("{}: the name is {} bytes long, a skin name may have at most {}",
                                                  p.file.string(), p.name.size(), kMaxPackedNameLength));
    }
    if (std::string problem = NameProblem(p.name); !problem.empty()) {
      ThrowFormatError(p.file, "", fmt::format("cannot go into a skin: {}", problem));
    }
    std::int64_t size = 0;
    try {
      size = BinaryFile(p.file, BinaryFile::Mode::Read).Size();
    } catch (const Error&) {
      NotifyMissing(p.name);
      throw;
    }
    if (size > kMaxPictureLength) {
      throw Error(Error::Kind::Limit, fmt::format("{}: {} bytes, a skin picture may have at most {}",
                                                  p.file.string(), size, kMaxPictureLength));
    }
    p.length = static_cast<std::uint32_t>(size);
    step_.SetPosition(Position(j, pictures_.size()));
  }
}

PackResult Packer::Write() {
  std::vector<SkinEntry> entries(pictures_.size());
  for (std::size_t j = 0; j < pictures_.size(); ++j) {
    entries[j].name = pictures_[j].name;
    entries[j].length = pictures_[j].length;
  }
  plan_ = LayOutSkin(std::move(entries));

  AtomicOutputFile out(output_);
  BinaryFile& file = out.File();
  file.Write(EncodeSkinHead(plan_));

  step_.SetPosition(0);
  progress_.SetCaption("Packing icons");
  for (std::size_t j = 0; j < pictures_.size(); ++j) {
    const Picture& p = pictures_[j];
    BinaryFile picture;
    try {
      picture = BinaryFile(p.file, BinaryFile::Mode::Read);
    } catch (const Error&) {
      NotifyMissing(p.name);
      throw;
    }
    if (picture.Size() != p.length) Unreadable(p.name, p.file, "changed while the skin was being packed");
    file.Write(EncodeDataHead(plan_.entries[j]));
    if (CopyRange(picture, 0, p.length, file, true) != p.length) {
      Unreadable(p.name, p.file, "changed while the skin was being packed");
    }
    step_.SetPosition(Position(j, pictures_.size()));
  }

  PackResult result;
  result.written = true;
  result.pictures = pictures_.size();
  result.directoryOffset = plan_.directoryOffset;
  result.size = file.Position();
  out.SetVerifier([this](const fs::path& temp) {
    if (faults_.tamper) faults_.tamper(temp);
    Verify(temp);
  });
  out.Commit();
  return result;
}

// Reads the new skin back as the unpack will and compares it with the laid-out
// plan, so a fault of ours never reaches the user's file under its name.
void Packer::Verify(const fs::path& temp) const {
  auto fail = [&](std::int64_t offset, const std::string& what) {
    ThrowReadBackFailure("skin", output_, "offset " + HexOffset(static_cast<std::uint64_t>(offset)), what);
  };
  BinaryFile skin(temp, BinaryFile::Mode::Read);
  ReadOptions options;
  options.nameReadLength = kMaxPackedNameLength + 1;
  SkinDirectory dir;
  try {
    dir = ReadSkinDirectory(skin, options);
  } catch (const Error& e) {
    fail(0, fmt::format("the unpack would refuse it ({})", e.what()));
  }

  const std::uint32_t directory = plan_.directoryOffset;
  struct HeadField {
    std::uint32_t got, want, at;  // `at`: offset in the directory head
  };
  const std::array<HeadField, 4> heads = {{
      {dir.directoryMagic, plan_.directoryMagic, 0},
      {dir.nameAreaOffset, plan_.nameAreaOffset, kHeadNameArea},
      {dir.entryTableOffset, plan_.entryTableOffset, kHeadEntryTable},
      {dir.dataAreaOffset, plan_.dataAreaOffset, kHeadDataArea},
  }};
  for (const HeadField& f : heads) {
    if (f.got != f.want) {
      fail(std::int64_t{directory} + f.at, fmt::format("the directory holds 0x{:X} where 0x{:X} belongs", f.got, f.want));
    }
  }
  if (dir.directoryOffset != directory || dir.entries.size() != plan_.entries.size()) {
    fail(directory + kHeadCount, fmt::format("the directory lists {} entries at 0x{:X}; {} were packed at 0x{:X}",
                                    dir.entries.size(), dir.directoryOffset, plan_.entries.size(), directory));
  }
  for (std::size_t j = 0; j < plan_.entries.size(); ++j) {
    const SkinEntry& e = dir.entries[j];
    const SkinEntry& want = plan_.entries[j];
    const std::int64_t entryAt = std::int64_t{dir.entryTableOffset} + std::int64_t{kEntrySize} * static_cast<std::int64_t>(j);
    if (e.name != want.name) fail(e.nameAt, fmt::format("entry {} is named \"{}\" instead of \"{}\"", j + 1, e.name, want.name));
    if (e.hash != want.hash) {
      fail(entryAt, fmt::format("the hash 0x{:08X} of \"{}\" should be 0x{:08X}", e.hash, want.name, want.hash));
    }
    if (e.nameOffset != want.nameOffset || e.dataOffset != want.dataOffset) {
      fail(entryAt + kEntryName, fmt::format("entry {} (\"{}\") points at name 0x{:X} and data 0x{:X} instead of 0x{:X} and 0x{:X}",
                                    j + 1, want.name, e.nameOffset, e.dataOffset, want.nameOffset, want.dataOffset));
    }
    if (e.blockMagic != want.blockMagic || e.length != want.length) {
      fail(e.blockAt, fmt::format("the data block of \"{}\" holds {} bytes (magic 0x{:08X}) instead of {}", want.name,
                                  e.length, e.blockMagic, want.length));
    }
  }
  if (dir.fileSize != plan_.fileSize) {
    fail(std::min(dir.fileSize, plan_.fileSize),
         fmt::format("the skin holds {} bytes; its pictures end at {}", dir.fileSize, plan_.fileSize));
  }

  // What the unpack does not read: the header text and the zero bytes before the directory.
  const std::vector<std::uint8_t> head = EncodeSkinHead(plan_);
  std::vector<std::uint8_t> got(head.size());
  skin.ReadAt(0, got);
  if (auto differ = std::mismatch(head.begin(), head.end(), got.begin()); differ.first != head.end()) {
    const auto at = differ.first - head.begin();
    fail(at, at < kHeaderSize ? std::string("the header text is not the one that names the directory")
                              : fmt::format("the byte is {:02X} where {:02X} belongs", *differ.second, *differ.first));
  }

  // Each picture's bytes, against the file they were copied from.
  std::vector<std::uint8_t> packed(kCopyBlockSize), source(kCopyBlockSize);
  for (std::size_t j = 0; j < plan_.entries.size(); ++j) {
    const SkinEntry& e = plan_.entries[j];
    const Picture& p = pictures_[j];
    BinaryFile original(p.file, BinaryFile::Mode::Read);
    for (std::int64_t done = 0; done < e.length;) {
      const auto n = static_cast<std::size_t>(std::min<std::int64_t>(e.length - done, kCopyBlockSize));
      const bool whole = skin.ReadAt(e.DataAt() + done, std::span(packed.data(), n)) == n &&
                         original.ReadAt(done, std::span(source.data(), n)) == n;
      if (!whole || std::memcmp(packed.data(), source.data(), n) != 0) {
        std::size_t i = 0;
        while (whole && packed[i] == source[i]) ++i;
        fail(e.DataAt() + done + static_cast<std::int64_t>(i),
             fmt::format("byte {} of \"{}\" differs from {}", done + static_cast<std::int64_t>(i), e.name, p.file.string()));
      }
      done += static_cast<std::int64_t>(n);
    }
  }
}

}  // namespace

PackResult PackSkin(const fs::path& folderF, const fs::path& outputFile, bool convertSkinPictures,
                    PictureConverter& converter, Progress& progress, const MissingPictureHandler& onMissing,
                    const WriterFaults& faults) {
  Packer packer(folderF, outputFile, converter, progress, onMissing, faults);
  return packer.Run(convertSkinPictures);
}

}  // namespace resmill::skin
