#include "drm/port.h"

#include <algorithm>

#include <fmt/format.h>

#include "drm/drm_layout.h"
#include "drm/picture_folder.h"
#include "platform/atomic_output.h"
#include "platform/file_system.h"
#include "platform/numeric.h"

namespace resmill::drm {
namespace fs = std::filesystem;

PortResult PortDrm(const fs::path& sourceDrmPack, const fs::path& targetDrmPack, bool convertRawToBmp,
                   Progress& progress) {
  const DrmLayout target = ReadDescrDat(ResolveCaseBlind(targetDrmPack, "descr.dat"));
  const DrmLayout source = ReadDescrDat(ResolveCaseBlind(sourceDrmPack, "descr.dat"));
  if (target.DrmVariant != source.DrmVariant) return PortResult{false, 0, 0};
  PortResult result;

  const int gifN = std::min(target.GifCount, source.GifCount);
  const int rawN = std::min(target.RawCount, source.RawCount);
  const int total = gifN + rawN;
  ProgressStep step(progress, "Copying icons");
  int done = 0;

  const PictureFolder sourceIcons(JoinTail(sourceDrmPack, "icons"));
  const PictureFolder targetIcons(JoinTail(targetDrmPack, "icons"));
  for (int k = 1; k <= gifN; ++k) {
    const int s = source.RawCount + k;
    const int t = target.RawCount + k;
    const char* ext = "gif";
    auto picture = sourceIcons.Find(fmt::format("{}.gif", s));
    if (!picture) {
      ext = "bmp";
      picture = sourceIcons.Find(fmt::format("{}.bmp", s));
    }
    if (picture) {
      CopyFileAtomically(*picture, targetIcons.PathFor(fmt::format("{}.{}", t, ext)));
      // The compile takes <t>.gif before <t>.bmp: a BMP carried over a GIF picture
      // would otherwise be ignored and the target's old picture kept.
      if (std::string_view(ext) == "bmp") {
        if (auto stale = targetIcons.Find(fmt::format("{}.gif", t))) DeleteFileQuietly(*stale);
      }
      ++result.gifCopied;
    }
    step.SetPosition(PercentDone(++done, total));
  }

  const PictureFolder sourceRaws(JoinTail(sourceDrmPack, "raws"));
  const PictureFolder targetRaws(JoinTail(targetDrmPack, "raws"));
  if (rawN > 0 && !convertRawToBmp) CreateFolder(JoinTail(targetDrmPack, "raws"));
  for (int i = 1; i <= rawN; ++i) {
    if (convertRawToBmp) {
      // The unpack leaves each RAW picture as <i>.png and the compile reads that file in this mode.
      if (auto png = sourceIcons.Find(fmt::format("{}.png", i))) {
        CopyFileAtomically(*png, targetIcons.PathFor(fmt::format("{}.png", i)));
        ++result.rawCopied;
      }
    } else {
      auto sourceFiles = sourceRaws.RawFiles(i);
      if (!sourceFiles.empty()) {
        const fs::path& from = sourceFiles.front();
        fs::path to = targetRaws.Folder() / from.filename();
        // Every target file of this number goes: a leftover size tag would be taken by the compile.
        for (const fs::path& old : targetRaws.RawFiles(i)) {
          if (!EqualsCaseBlind(old.filename().string(), from.filename().string())) DeleteFileQuietly(old);
        }
        if (auto same = targetRaws.Find(from.filename().string())) to = *same;
        CopyFileAtomically(from, to);
        if (to.filename() != from.filename()) RenameReplacing(to, targetRaws.Folder() / from.filename());
        ++result.rawCopied;
      }
    }
    step.SetPosition(PercentDone(++done, total));
  }
  return result;
}

}  // namespace resmill::drm
