// The whole workflow through resmill-cli on damaged files: open, then save.
// Only the work tree, the program's own two files and the requested output may
// appear in the program folder, and a failed save leaves nothing under the
// requested name.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <map>

#include "../skin/skin_fixtures.h"
#include "flash/code_groups.h"
#include "image/picture_convert.h"
#include "sample/drm_sample.h"
#include "sweep_support.h"

namespace resmill::test::sweep {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kWorkTree = {"binary1/", "binary2/", "resmill.ini", "resmill.lock", "shxdata.dat"};

Bytes SmallDrm() {
  sample::DrmRecipe recipe;
  recipe.raws = {sample::DrawRaw(4, 3, 1, true)};
  recipe.gifs = {sample::DrawGif(5, 5, 2, true, 1), sample::DrawBmp(3, 2, 1)};
  return sample::BuildDrmImage(recipe);
}

struct WorkflowFile {
  std::string name;  ///< its name in the program folder (the extension picks the reader)
  std::string save;  ///< the output the save asks for
  Bytes bytes;
  std::vector<std::size_t> fields;  ///< header and table offsets worth damaging
};

std::vector<WorkflowFile> Files() {
  const Bytes drm = SmallDrm();
  const sample::FlashSpec flash = sample::SampleFlash(drm, 0x10D00000);
  const std::vector<std::size_t> table = {flash::kCountField, flash::CodeGroupEntryAt(15) + flash::kEntryStart,
                                          flash::CodeGroupEntryAt(15) + flash::kEntryEnd, flash::kFlashHeaderSize + 9};
  const Bytes skin =
      skin::test::BuildSkin({{"a.k", skin::test::KPicture(18, 8, 0x3C)}, {"b.g", sample::DrawGif(4, 4, 1, false, 2)}});
  const skin::test::Layout layout = skin::test::LayoutOf(skin);
  return {
      {"phone.shx", "new.shx", sample::WrapAsSuperfile(flash), table},
      {"phone.sbf", "new.shx", sample::WrapAsSbf(flash), table},
      {"phone.bin", "new.bin", drm, {8, 16, 464, 468}},
      {"look.ezx", "new.ezx", skin, {16, layout.directory + 8, layout.table + 8, layout.data + 4}},
  };
}

/// Opens `input` in a fresh program folder and, when that worked, saves; checks the folder afterwards.
void OpenAndSave(const WorkflowFile& file, const Bytes& input, const std::string& what) {
  TempDir dir;
  WriteBytes(dir / file.name, input);
  const auto before = Snapshot(dir.path());
  CliResult info = RunCliIn(dir.path(), {"info", file.name});
  EXPECT_TRUE(info.status == 0 || info.status == 1) << what << ": info exited " << info.status << "\n" << info.err;
  CliResult open = RunCliIn(dir.path(), {"open", file.name});
  EXPECT_TRUE(open.status == 0 || open.status == 1) << what << ": open exited " << open.status << "\n" << open.err;
  if (open.status != 0) {
    EXPECT_NE(open.err, "") << what << ": a failed open said nothing";
  }
  std::vector<std::string> allowed = kWorkTree;
  if (open.status == 0) {
    CliResult save = RunCliIn(dir.path(), {"save", file.save});
    EXPECT_TRUE(save.status == 0 || save.status == 1) << what << ": save exited " << save.status << "\n" << save.err;
    if (save.status != 0) {
      EXPECT_FALSE(fs::exists(dir / file.save)) << what << ": a failed save left " << file.save;
    } else {
      allowed.push_back(file.save);
    }
    // A superfile's DRM image is written beside it (first, so it may stay when the superfile fails).
    if (file.save.ends_with(".shx")) allowed.push_back("new.bin");
  }
  EXPECT_EQ(Strays(dir.path(), before, allowed), std::vector<std::string>{}) << what;
}

TEST(WorkflowSweep, OpenAndSaveOfDamagedFiles) {
  for (const WorkflowFile& file : Files()) {
    SCOPED_TRACE(file.name);
    // Fewer cut points than the readers' own sweeps: each case here runs the whole program twice.
    std::vector<std::size_t> cuts = {0, 1, 4, 16, 63};
    for (int k = 1; k <= 8; ++k) cuts.push_back(file.bytes.size() * static_cast<std::size_t>(k) / 9);
    cuts.push_back(file.bytes.size() - 1);
    for (std::size_t n : cuts) OpenAndSave(file, Cut(file.bytes, n), fmt::format("{} cut to {} bytes", file.name, n));
    for (std::size_t at : file.fields) {
      for (Damage::Kind kind : {Damage::Kind::InvertByte, Damage::Kind::WordHuge}) {
        Damage d{at, kind};
        OpenAndSave(file, Apply(file.bytes, d), file.name + " with " + d.Describe());
      }
    }
  }
}

TEST(WorkflowSweep, PortFromADamagedSource) {
  const std::vector<WorkflowFile> files = Files();
  const WorkflowFile& target = files[0];
  const WorkflowFile& source = files[1];
  for (std::size_t n : {std::size_t{0}, std::size_t{100}, static_cast<std::size_t>(flash::kFlashHeaderSize),
                        source.bytes.size() / 2, source.bytes.size() - 20}) {
    const std::string what = fmt::format("source {} cut to {} bytes", source.name, n);
    TempDir dir;
    WriteBytes(dir / target.name, target.bytes);
    WriteBytes(dir / "other.sbf", Cut(source.bytes, n));
    const auto before = Snapshot(dir.path());
    CliResult open = RunCliIn(dir.path(), {"open", target.name, "other.sbf"});
    EXPECT_TRUE(open.status == 0 || open.status == 1) << what << ": " << open.err;
    if (open.status == 0) {
      CliResult port = RunCliIn(dir.path(), {"port"});
      EXPECT_TRUE(port.status == 0 || port.status == 1 || port.status == 2) << what << ": " << port.err;
      CliResult save = RunCliIn(dir.path(), {"save", "new.shx"});
      EXPECT_TRUE(save.status == 0 || save.status == 1) << what << ": " << save.err;
      if (save.status != 0) {
        EXPECT_FALSE(fs::exists(dir / "new.shx")) << what;
      }
    }
    EXPECT_EQ(Strays(dir.path(), before,
                     {"binary1/", "binary2/", "resmill.ini", "resmill.lock", "shxdata.dat", "new.shx", "new.bin"}),
              std::vector<std::string>{})
        << what;
  }
}

TEST(WorkflowSweep, ConvertAndResizeOfDamagedPicturesWriteTheTargetOrNothing) {
  struct Case {
    std::string source;
    Bytes bytes;
    std::vector<std::string> command;  ///< after the source: the target and options
  };
  TempDir make;
  WriteBytes(make / "p(6x5).raw", sample::DrawRaw(6, 5, 3, true).data);
  image::RawToBmp(make / "p(6x5).raw", make / "p.png", image::kPngFormat);
  WriteBytes(make / "p.bmp", sample::DrawBmp(7, 3, 2));
  image::BmpToRaw(make / "p.bmp", image::PictureKind::K32, make / "p.k");
  const std::vector<Case> cases = {
      {"p(6x5).raw", ReadBytes(make / "p(6x5).raw"), {"out.png"}},
      {"p.k", ReadBytes(make / "p.k"), {"out.gif"}},
      {"p.png", ReadBytes(make / "p.png"), {"out.raw"}},
      {"p.png", ReadBytes(make / "p.png"), {"out.k", "--k32"}},
      {"p.bmp", ReadBytes(make / "p.bmp"), {"out.g"}},
      {"a.gif", sample::DrawGif(8, 8, 2, true, 5), {"out.gif", "4x4"}},
  };
  for (const Case& c : cases) {
    const bool resize = c.command.size() == 2 && c.command[1] == "4x4";
    for (std::size_t n :
         {std::size_t{0}, std::size_t{3}, std::size_t{8}, std::size_t{20}, c.bytes.size() / 2, c.bytes.size() - 1}) {
      const std::string what = fmt::format("{} cut to {} bytes, {}", c.source, n, c.command[0]);
      TempDir dir;
      WriteBytes(dir / c.source, Cut(c.bytes, n));
      const auto before = Snapshot(dir.path());
      std::vector<std::string> args = {resize ? "resize-gif" : "convert", c.source};
      args.insert(args.end(), c.command.begin(), c.command.end());
      CliResult r = RunCliIn(dir.path(), args);
      EXPECT_TRUE(r.status == 0 || r.status == 1) << what << ": exited " << r.status << "\n" << r.err;
      std::vector<std::string> allowed = {"resmill.ini", "shxdata.dat", "binary1/", "binary2/"};
      if (r.status == 0) {
        allowed.push_back(c.command[0]);
      } else {
        EXPECT_FALSE(fs::exists(dir / c.command[0])) << what << ": a failed command left its target";
        EXPECT_NE(r.err, "") << what;
      }
      EXPECT_EQ(Strays(dir.path(), before, allowed), std::vector<std::string>{}) << what;
    }
  }
}

TEST(WorkflowSweep, FailedSaveLeavesNoFileUnderTheRequestedName) {
  struct Case {
    const char* name;
    const char* open;
    const char* save;
    std::function<void(const fs::path& folder)> damage;
  };
  const std::vector<Case> cases = {
      {"descr.dat cut", "phone.shx", "new.shx",
       [](const fs::path& f) { WriteBytes(f / "binary1/drmpack/descr.dat", Bytes(10, 1)); }},
      {"DRM image gone", "phone.shx", "new.shx", [](const fs::path& f) { fs::remove(f / "binary1/CG15.bin"); }},
      {"flash header cut", "phone.shx", "new.shx",
       [](const fs::path& f) { WriteBytes(f / "binary1/header.bin", Bytes(100, 0)); }},
      {"RAMDLD gone", "phone.sbf", "new.shx", [](const fs::path& f) { fs::remove(f / "binary1/RAMDLD.bin"); }},
      {"raw dump's descr.dat damaged", "phone.bin", "new.bin",
       [](const fs::path& f) { WriteBytes(f / "binary1/drmpack/descr.dat", Bytes(60, 0xFF)); }},
      {"skin pictures gone", "look.ezx", "new.ezx",
       [](const fs::path& f) { fs::remove_all(f / "binary1/drmpack/raws"); }},
  };
  std::map<std::string, Bytes> inputs;
  for (const WorkflowFile& file : Files()) inputs[file.name] = file.bytes;
  for (const Case& c : cases) {
    for (bool existing : {false, true}) {
      const std::string what = fmt::format("{} ({})", c.name, existing ? "replacing a file" : "new file");
      TempDir dir;
      WriteBytes(dir / c.open, inputs.at(c.open));
      CliResult open = RunCliIn(dir.path(), {"open", c.open});
      ASSERT_EQ(open.status, 0) << what << ": " << open.err;
      c.damage(dir.path());
      if (existing) WriteText(dir / c.save, "the user's old file");
      const auto before = Snapshot(dir.path());
      CliResult save = RunCliIn(dir.path(), {"save", c.save});
      EXPECT_EQ(save.status, 1) << what << ": " << save.out << save.err;
      EXPECT_NE(save.err, "") << what;
      if (existing) {
        EXPECT_EQ(ReadText(dir / c.save), "the user's old file") << what;
      } else {
        EXPECT_FALSE(fs::exists(dir / c.save)) << what;
      }
      std::vector<std::string> allowed = kWorkTree;
      if (std::string(c.save).ends_with(".shx")) allowed.push_back("new.bin");
      EXPECT_EQ(Strays(dir.path(), before, allowed), std::vector<std::string>{}) << what;
    }
  }
}

}  // namespace
}  // namespace resmill::test::sweep
