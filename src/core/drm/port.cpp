#include "drm/port.h"

#include <algorithm>

#include <fmt/format.h>

#include "drm/drm_pictures.h"
#include "drm/picture_folder.h"
#include "platform/atomic_output.h"
#include "platform/file_system.h"
#include "platform/numeric.h"

namespace resmill::drm {
namespace fs = std::filesystem;

namespace {

// Carries the source's file of a RAW picture over: the PNG copy when converting,
// else the .raw file under the source's name, the target's files of that number
// gone first (a leftover size tag would be taken by the compile).
void PortRaw(const fs::path& from, int i, bool convertRawToBmp, const PictureFolder& targetIcons,
             const PictureFolder& targetRaws) {
  if (convertRawToBmp) {
    CopyFileAtomically(from, targetIcons.PathFor(fmt::format("{}.png", i)));
    return;
  }
  fs::path to = targetRaws.Folder() / from.filename();
  for (const fs::path& old : targetRaws.RawFiles(i)) {
    if (!EqualsCaseBlind(old.filename().string(), from.filename().string())) DeleteFileQuietly(old);
  }
  if (auto same = targetRaws.Find(from.filename().string())) to = *same;
  CopyFileAtomically(from, to);
  if (to.filename() != from.filename()) RenameReplacing(to, targetRaws.Folder() / from.filename());
}

// Carries a GIF-table picture over as <t>.gif or <t>.bmp, as the source holds it.
void PortGif(const fs::path& from, int t, const PictureFolder& targetIcons) {
  const bool bmp = UpperExtension(from.filename().string()) == ".BMP";
  CopyFileAtomically(from, targetIcons.PathFor(fmt::format("{}.{}", t, bmp ? "bmp" : "gif")));
  // The compile takes <t>.gif before <t>.bmp: a BMP carried over a GIF picture
  // would otherwise be ignored and the target's old picture kept.
  if (bmp) {
    if (auto stale = targetIcons.Find(fmt::format("{}.gif", t))) DeleteFileQuietly(*stale);
  }
}

}  // namespace

PortResult PortDrm(const fs::path& sourceDrmPack, const fs::path& targetDrmPack, bool convertRawToBmp,
                   Progress& progress) {
  const DrmLayout target = ReadDescrDat(ResolveCaseBlind(targetDrmPack, "descr.dat"));
  const DrmLayout source = ReadDescrDat(ResolveCaseBlind(sourceDrmPack, "descr.dat"));
  if (!PortCompatible(source, target)) return PortResult{false, 0, 0};
  PortResult result;
  const std::vector<PortPair> pairs = PortPairs(source, target);
  ProgressStep step(progress, "Copying icons");

  const PictureFolder sourceIcons(JoinTail(sourceDrmPack, "icons"));
  const PictureFolder targetIcons(JoinTail(targetDrmPack, "icons"));
  const PictureFolder sourceRaws(JoinTail(sourceDrmPack, "raws"));
  const PictureFolder targetRaws(JoinTail(targetDrmPack, "raws"));
  if (std::min(source.RawCount, target.RawCount) > 0 && !convertRawToBmp) {
    CreateFolder(JoinTail(targetDrmPack, "raws"));
  }
  for (std::size_t p = 0; p < pairs.size(); ++p) {
    const auto [s, t] = pairs[p];
    const bool raw = s <= source.RawCount;
    if (auto from = CompiledPictureFile(sourceIcons, sourceRaws, source.RawCount, s, convertRawToBmp)) {
      if (raw) {
        PortRaw(*from, t, convertRawToBmp, targetIcons, targetRaws);
        ++result.rawCopied;
      } else {
        PortGif(*from, t, targetIcons);
        ++result.gifCopied;
      }
    }
    step.SetPosition(PercentDone(static_cast<std::int64_t>(p + 1), static_cast<std::int64_t>(pairs.size())));
  }
  return result;
}

}  // namespace resmill::drm
