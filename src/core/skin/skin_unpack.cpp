#include "skin/skin_unpack.h"

#include <algorithm>
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

namespace resmill::skin {

namespace fs = std::filesystem;

std::string ReplaceNameExtension(std::string_view name, std::string_view extension) {
  std::size_t dot = name.find_last_of('.');
  std::string out(name.substr(0, dot == std::string_view::npos ? name.size() : dot));
  out += extension;
  return out;
}

UnpackResult UnpackSkin(const fs::path& skinFile, const fs::path& folderF, bool convertSkinPictures,
                        PictureConverter& converter, Progress& progress) {
  ProgressStep step(progress, "Extracting icons");
  BinaryFile skin(skinFile, BinaryFile::Mode::Read);
  const SkinDirectory dir = ReadSkinDirectory(skin);

  const fs::path raws = folderF / kRawsFolder;
  const fs::path icons = folderF / kIconsFolder;
  CreateFolder(folderF);
  CreateFolder(raws);
  CreateFolder(icons);

  UnpackResult result;
  result.entries = dir.entries.size();
  std::vector<TConvRec> records;
  const std::size_t count = dir.entries.size();
  for (std::size_t i = 0; i < count; ++i) {
    const SkinEntry& entry = dir.entries[i];
    if (entry.name.empty()) continue;

    const fs::path picture = raws / entry.name;
    {
      AtomicOutputFile out(picture, {Durability::Deferred});  // a work-tree file: Open flushes them at once
      // The directory was checked against the file's size; a shorter copy means the file changed under us.
      CopyExactly(skin, entry.DataAt(), entry.length, out.File(), fmt::format("\"{}\"", entry.name));
      out.Commit();
    }
    ++result.pictures;
    step.SetPosition(count == 1 ? 100 : PercentDone(static_cast<std::int64_t>(i), static_cast<std::int64_t>(count - 1)));

    if (convertSkinPictures) {
      fs::path target = icons / ReplaceNameExtension(entry.name, image::OutputFormats[image::kGifFormat].extension);
      image::RawToBmpResult converted = converter.ToOrdinary(picture, target);
      // A picture that gave no ordinary picture has nothing the pack could take back.
      if (!converted.produced) continue;
      TConvRec record{entry.name, converted.target.filename().string(), converted.kind};
      // Two pictures converted to one file name leave the later one's file; only
      // its record may stay, or the pack would turn it into the earlier kind.
      std::erase_if(records, [&](const TConvRec& r) { return r.convertedName == record.convertedName; });
      records.push_back(std::move(record));
    }
  }
  skin.Close();

  if (convertSkinPictures) {
    WriteConvList(icons / kConvListName, records);
    result.converted = records.size();
  }
  return result;
}

}  // namespace resmill::skin
