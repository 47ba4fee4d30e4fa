#include "drm/drm_pictures.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <fmt/format.h>

#include "platform/atomic_output.h"
#include "platform/byte_io.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill::drm {
namespace fs = std::filesystem;

namespace {

/// True when `file` holds exactly `length` bytes equal to the image's bytes at `offset`.
bool SameRange(BinaryFile& image, std::int64_t offset, std::int64_t length, const fs::path& file) {
  BinaryFile other(file, BinaryFile::Mode::Read);
  if (other.Size() != length) return false;
  std::vector<std::uint8_t> ours(kCopyBlockSize), theirs(kCopyBlockSize);
  for (std::int64_t done = 0; done < length;) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(length - done, kCopyBlockSize));
    const std::size_t got = image.ReadAt(offset + done, std::span(ours.data(), want));
    if (got != want || other.Read(std::span(theirs.data(), want)) != want) return false;
    if (!std::equal(ours.begin(), ours.begin() + static_cast<std::ptrdiff_t>(want), theirs.begin())) return false;
    done += static_cast<std::int64_t>(want);
  }
  return true;
}

/// Removes a file that would shadow a restored picture; unlike the clean-ups this must not fail quietly.
void RemoveShadowingFile(const fs::path& file) {
  std::error_code error;
  fs::remove(file, error);
  if (error) ThrowIoError("delete", file, error.value());
}

}  // namespace

OriginalDrm::OriginalDrm(const fs::path& cg15, const fs::path& drmPackFolder) : image_(cg15) {
  BinaryFile image(cg15, BinaryFile::Mode::Read);
  layout_ = ReadDrmLayout(image, DrmVariantOf(image));
  const fs::path descrDat = ResolveCaseBlind(drmPackFolder, "descr.dat");
  CheckDescrDatDescribes(ReadDescrDat(descrDat), descrDat, layout_, cg15);
  const DrmTables tables = ReadDrmTables(image, layout_);
  pictures_.reserve(static_cast<std::size_t>(PictureCount()));
  for (int n = 1; n <= PictureCount(); ++n) pictures_.push_back(LocatePicture(image, layout_, tables, n));
}

const StoredPicture& OriginalDrm::Picture(int number) const {
  if (number < 1 || number > PictureCount()) {
    throw Error(Error::Kind::Refused,
                fmt::format("{}: the DRM has no picture {} (it has 1 … {})", image_.string(), number, PictureCount()));
  }
  return pictures_[static_cast<std::size_t>(number) - 1];
}

std::vector<std::uint8_t> OriginalDrm::ReadBytes(int number) const {
  const StoredPicture& picture = Picture(number);
  BinaryFile image(image_, BinaryFile::Mode::Read);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(picture.length));
  image.Seek(picture.offset);
  image.ReadExact(bytes, fmt::format("picture {}", number));
  return bytes;
}

bool OriginalDrm::SameBytes(int number, const fs::path& file) const {
  const StoredPicture& picture = Picture(number);
  BinaryFile image(image_, BinaryFile::Mode::Read);
  return SameRange(image, picture.offset, picture.length, file);
}

void OriginalDrm::WriteOriginal(const StoredPicture& picture, const fs::path& target) const {
  BinaryFile image(image_, BinaryFile::Mode::Read);
  AtomicOutputFile output(target);
  CopyExactly(image, picture.offset, picture.length, output.File(), "the picture");
  output.SetVerifier([&](const fs::path& temp) {
    if (!SameRange(image, picture.offset, picture.length, temp)) {
      ThrowReadBackFailure("picture", target, "whole file",
                           fmt::format("it differs from the {} bytes at {} of {}", picture.length,
                                       HexOffset(static_cast<std::uint64_t>(picture.offset)), image_.string()));
    }
  });
  output.Commit();
}

std::vector<fs::path> OriginalDrm::Restore(int number, const fs::path& drmPackFolder, bool convertRawToBmp) const {
  const StoredPicture& picture = Picture(number);
  const PictureFolder icons(JoinTail(drmPackFolder, "icons"));
  std::vector<fs::path> written;
  if (!picture.raw) {
    const fs::path target = icons.PathFor(picture.fileName);
    WriteOriginal(picture, target);
    written.push_back(target);
    if (UpperExtension(picture.fileName) == ".BMP") {
      if (auto gif = icons.Find(fmt::format("{}.gif", number))) RemoveShadowingFile(*gif);
    }
    return written;
  }
  const fs::path rawsFolder = JoinTail(drmPackFolder, "raws");
  CreateFolder(rawsFolder);
  if (!FolderExists(rawsFolder)) ThrowIoError("create folder", rawsFolder, ENOENT);
  const PictureFolder raws(rawsFolder);
  const fs::path rawFile = raws.PathFor(picture.fileName);
  WriteOriginal(picture, rawFile);
  written.push_back(rawFile);
  for (const fs::path& other : raws.RawFiles(number)) {
    if (!EqualsCaseBlind(other.filename().string(), picture.fileName)) RemoveShadowingFile(other);
  }
  if (convertRawToBmp) {
    // The unpack's own conversion, from the file just restored: the same PNG it wrote.
    const fs::path png = icons.PathFor(fmt::format("{}.png", number));
    image::RawToBmp(rawFile, png, image::kPngFormat);
    written.push_back(png);
  }
  return written;
}

std::optional<fs::path> CompiledRawFile(const PictureFolder& icons, const PictureFolder& raws, int i,
                                        bool convertRawToBmp) {
  if (convertRawToBmp) return icons.Find(fmt::format("{}.png", i));
  std::vector<fs::path> files = raws.RawFiles(i);
  if (files.empty()) return std::nullopt;
  return files.front();
}

std::optional<fs::path> CompiledGifFile(const PictureFolder& icons, int number) {
  if (auto gif = icons.Find(fmt::format("{}.gif", number))) return gif;
  return icons.Find(fmt::format("{}.bmp", number));
}

std::optional<fs::path> CompiledPictureFile(const PictureFolder& icons, const PictureFolder& raws, int rawCount,
                                            int number, bool convertRawToBmp) {
  return number <= rawCount ? CompiledRawFile(icons, raws, number, convertRawToBmp) : CompiledGifFile(icons, number);
}

bool PortCompatible(const DrmLayout& source, const DrmLayout& target) {
  return (source.DrmVariant == 1) == (target.DrmVariant == 1);
}

std::vector<PortPair> PortPairs(const DrmLayout& source, const DrmLayout& target) {
  std::vector<PortPair> pairs;
  if (!PortCompatible(source, target)) return pairs;
  for (int i = 1; i <= std::min(source.RawCount, target.RawCount); ++i) pairs.push_back({i, i});
  for (int k = 1; k <= std::min(source.GifCount, target.GifCount); ++k) {
    pairs.push_back({source.RawCount + k, target.RawCount + k});
  }
  return pairs;
}

}  // namespace resmill::drm
