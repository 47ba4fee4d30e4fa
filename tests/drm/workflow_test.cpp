// The first and last stages end to end through resmill-cli: open, port, save,
// with the files read back by our own readers and by srec_cat.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "drm_fixture.h"
#include "flash/code_groups.h"
#include "flash/shx_reader.h"

namespace resmill::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

/// A program folder holding the sample flash files.
struct Samples {
  TempDir dir;
  Bytes drm = sample::BuildDrmImage(sample::SampleDrm());
  Bytes otherDrm = [] {
    sample::DrmRecipe recipe = sample::SampleDrm(7);
    recipe.gifs.resize(20);
    return sample::BuildDrmImage(recipe);
  }();

  Samples() {
    WriteBytes(dir / "phone.shx", sample::WrapAsSuperfile(sample::SampleFlash(drm, 0x10D00000)));
    WriteBytes(dir / "phone.sbf", sample::WrapAsSbf(sample::SampleFlash(drm, 0x10D00000)));
    WriteBytes(dir / "phone.smg", drm);
    WriteBytes(dir / "other.sbf", sample::WrapAsSbf(sample::SampleFlash(otherDrm, 0x10D00000)));
    WriteBytes(dir / "v0.bin", sample::BuildDrmImage(sample::SampleVariant0Drm()));
    WriteBytes(dir / "nodrm.bin", Bytes(1000, 0x55));
    RunCliIn(dir.path(), {"settings", "--clean-up", "off"});
  }
  CliResult Run(const std::vector<std::string>& args) { return RunCliIn(dir.path(), args); }
};

TEST(Workflow, OpenPortAndSaveASuperfileThatReadsBack) {
  Samples s;
  CliResult r = s.Run({"open", "phone.shx", "other.sbf"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "DRM decompiled.\n");
  EXPECT_EQ(ReadText(s.dir / "shxdata.dat"), "2");
  r = s.Run({"port"});
  ASSERT_EQ(r.status, 0) << r.err;
  // other.sbf holds 20 GIF-table pictures against the target's 24, and as many RAW pictures.
  EXPECT_EQ(r.out, "Port: 20 GIF-table pictures and 12 RAW pictures copied\n");
  r = s.Run({"save", "new.shx"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Operation Complete\n");
  EXPECT_FALSE(fs::exists(s.dir / "shxdata.dat"));

  // Our reader gives back the new DRM image written beside the superfile.
  TempDir back;
  NullProgress progress;
  ASSERT_TRUE(flash::ExtractShxCodeGroups(s.dir / "new.shx", back.path(), progress));
  const Bytes newDrm = ReadBytes(s.dir / "new.bin");
  EXPECT_EQ(ReadBytes(back / "CG15.bin"), newDrm);
  // The target's pictures 13 … 32 are now the source's; 33 … 36 stay.
  Slot check(newDrm);
  check.Unpack();
  Slot source(s.otherDrm);
  source.Unpack();
  Slot original(s.drm);
  original.Unpack();
  EXPECT_EQ(ReadBytes(check.icons / "13.gif"), ReadBytes(source.icons / "13.gif"));
  EXPECT_EQ(ReadBytes(check.icons / "20.bmp"), ReadBytes(source.icons / "20.bmp"));
  EXPECT_EQ(ReadBytes(check.icons / "33.gif"), ReadBytes(original.icons / "33.gif"));
  EXPECT_EQ(ReadBytes(check.raws / "7(176x220).raw"), ReadBytes(source.raws / "7(176x220).raw"));

  if (!HaveTool("srec_cat")) GTEST_SKIP() << "srec_cat is not installed";
  const fs::path body = s.dir / "body.srec";
  Bytes superfile = ReadBytes(s.dir / "new.shx");
  WriteBytes(body, Bytes(superfile.begin() + flash::kFlashHeaderSize, superfile.end()));
  ASSERT_EQ(RunCommand(fmt::format("srec_cat '{}' -crop 0x10D00000 0x20000000 -offset -0x10D00000 -o '{}' -binary",
                                   body.string(), (s.dir / "srec-drm.bin").string())),
            0);
  EXPECT_EQ(ReadBytes(s.dir / "srec-drm.bin"), newDrm);
  ASSERT_EQ(RunCommand(fmt::format("srec_cat '{}' -crop 0x03FD0000 0x03FD0800 -offset -0x03FD0000 -o '{}' -binary",
                                   body.string(), (s.dir / "srec-ramdld.bin").string())),
            0);
  EXPECT_EQ(ReadBytes(s.dir / "srec-ramdld.bin"), ReadBytes(back / "RAMDLD.bin"));
}

TEST(Workflow, UnchangedTreesSaveTheSameDrm) {
  for (const char* target : {"phone.sbf", "phone.smg"}) {
    Samples s;
    ASSERT_EQ(s.Run({"open", target}).status, 0) << target;
    const bool rawDump = std::string(target).ends_with(".smg");
    EXPECT_EQ(ReadText(s.dir / "shxdata.dat"), rawDump ? "5" : "1");
    EXPECT_EQ(ReadBytes(s.dir / "binary1/CG15.bin"), s.drm) << target;  // a dump is taken whole
    CliResult r = s.Run({"save", rawDump ? "out.bin" : "out.shx"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBytes(s.dir / "out.bin"), s.drm) << target;
    EXPECT_EQ(fs::exists(s.dir / "out.shx"), !rawDump) << target;
  }
}

TEST(Workflow, ACodeGroup15WithoutMarkerOpensAsVariant0AndSaves) {
  // No "_drm" at 468, 456 or 464 and no signature word at 8: read as variant 0.
  sample::DrmRecipe recipe = SmallRecipe(0, 0, 4);
  recipe.markerOffset = -1;
  const Bytes drm = sample::BuildDrmImage(recipe);
  for (const char* target : {"plain.shx", "plain.sbf"}) {
    SCOPED_TRACE(target);
    Samples s;
    const sample::FlashSpec flash = sample::SampleFlash(drm, 0x10B00000);
    WriteBytes(s.dir / target,
               std::string_view(target).ends_with(".sbf") ? sample::WrapAsSbf(flash) : sample::WrapAsSuperfile(flash));
    CliResult r = s.Run({"open", target});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBytes(s.dir / "binary1/drmpack/descr.dat").size(), 36u);
    // A picture grows, so every area behind it moves.
    WriteBytes(s.dir / "binary1/drmpack/icons/2.gif", FakeGif(2, 75));
    r = s.Run({"save", "new.shx"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Operation Complete\n");
    Slot check(ReadBytes(s.dir / "new.bin"));
    EXPECT_EQ(check.Unpack().DrmVariant, 0);
    EXPECT_EQ(ReadBytes(check.icons / "2.gif"), FakeGif(2, 75));
    EXPECT_EQ(ReadBytes(check.icons / "4.gif"), recipe.gifs[3]);
    TempDir back;
    NullProgress progress;
    ASSERT_TRUE(flash::ExtractShxCodeGroups(s.dir / "new.shx", back.path(), progress));
    EXPECT_EQ(ReadBytes(back / "CG15.bin"), ReadBytes(s.dir / "new.bin"));
  }
}

TEST(Workflow, CommandsOutsideTheirStageAreRefused) {
  Samples s;
  EXPECT_EQ(s.Run({"save", "x.shx"}).status, 2);
  EXPECT_EQ(s.Run({"port"}).status, 2);
  ASSERT_EQ(s.Run({"open", "phone.sbf"}).status, 0);
  CliResult r = s.Run({"port"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("port"));
  EXPECT_EQ(s.Run({"open", "phone.sbf"}).status, 2);
  EXPECT_EQ(ReadText(s.dir / "shxdata.dat"), "1");  // the pending work is kept
}

TEST(Workflow, FailuresAreReportedWithStatusOne) {
  Samples s;
  CliResult r = s.Run({"open", "nodrm.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("Error: No DRM found"));
  EXPECT_FALSE(fs::exists(s.dir / "shxdata.dat"));

  r = s.Run({"open", "phone.sbf", "nodrm.bin"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.err, HasSubstr("Warning: No 2nd DRM found"));
  EXPECT_EQ(ReadText(s.dir / "shxdata.dat"), "1");
  ASSERT_EQ(s.Run({"reset"}).status, 0);

  ASSERT_EQ(s.Run({"open", "phone.sbf", "v0.bin"}).status, 0);
  r = s.Run({"port"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("Error: Incompatible DRMs"));
  // A picture missing from the tree: the save fails and leaves no file under the chosen names.
  fs::remove(s.dir / "binary1/drmpack/icons/14.gif");
  r = s.Run({"save", "broken.shx"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("14"));
  EXPECT_FALSE(fs::exists(s.dir / "broken.shx"));
  EXPECT_FALSE(fs::exists(s.dir / "broken.bin"));
  EXPECT_EQ(ReadText(s.dir / "shxdata.dat"), "2");
  ASSERT_EQ(s.Run({"reset"}).status, 0);

  Bytes damaged = s.drm;
  damaged[0x200 + 16] = 0x00;  // the GIF descriptor's data pointer now lies below Base
  WriteBytes(s.dir / "damaged.bin", damaged);
  r = s.Run({"open", "damaged.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("CG15.bin: offset 0x000210"));
  EXPECT_TRUE(ListFolder(s.dir / "binary1/drmpack/icons").empty());
}

TEST(Workflow, InfoDescribesADrmImage) {
  Samples s;  // info takes FILE as given: the in-process run does not change the current folder
  CliResult r = s.Run({"info", (s.dir / "phone.smg").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* line : {"DrmVariant: 1", "Base: 0x10D00000", "Dir: 0x000200", "DirCount: 16", "GifCount: 24",
                           "HeaderPointerCount: 35", "RawCount: 12", "RawData: 0x000400", "GifTableEnd: 0x",
                           "RAW pictures: 12", "GIF-table pictures: 24 (numbers 13 to 36; 23 GIF, 1 BMP, 0 empty)"}) {
    EXPECT_THAT(r.out, HasSubstr(line));
  }
  r = s.Run({"info", (s.dir / "v0.bin").string()});
  EXPECT_THAT(r.out, HasSubstr("DrmVariant: 0"));
  EXPECT_THAT(r.out, Not(HasSubstr("RawData")));
  r = s.Run({"info", (s.dir / "nodrm.bin").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("not a DRM image"));
}

}  // namespace
}  // namespace resmill::test
