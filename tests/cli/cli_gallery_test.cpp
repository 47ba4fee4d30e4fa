// resmill-cli list and sheet on pending work opened from raw DRM dumps.

#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "image/contact_sheet.h"
#include "image/graphics/graphics.h"
#include "image_test_util.h"
#include "sample/drm_sample.h"
#include "test_support.h"

namespace resmill::cli {
namespace {

namespace fs = std::filesystem;
namespace gfx = image::graphics;
using sample::Bytes;
using test::CliResult;
using test::ReadBytes;
using test::RunCliIn;
using test::TempDir;
using test::WriteBytes;
using test::WriteText;

/// A RAW picture of one colour (RGB 5-6-5) whose top-left pixel is transparent.
sample::RawPicture Plain(int width, int height, std::uint16_t colour) {
  std::vector<std::uint16_t> pixels(static_cast<std::size_t>(width * height), colour);
  std::vector<bool> clear(pixels.size(), false);
  clear[0] = true;
  return {width, height, sample::EncodeRaw(width, height, pixels, clear)};
}

/// 12 pictures, so that the numbers reach two digits: RAW 1 … 6, then GIF-table 7 … 12
/// (9 animated, 11 a BMP). Picture 1 is 8x8 of `colour` with a transparent top-left pixel.
sample::DrmRecipe Recipe(std::uint16_t colour) {
  sample::DrmRecipe recipe;
  recipe.raws = {Plain(8, 8, colour),           sample::DrawRaw(5, 3, 2, false),  sample::DrawRaw(6, 6, 3, true),
               sample::DrawRaw(10, 4, 4, false), sample::DrawRaw(7, 7, 5, true), sample::DrawRaw(3, 9, 6, false)};
  recipe.gifs = {sample::DrawGif(8, 8, 1, true, 7),   sample::DrawGif(12, 12, 1, false, 8),
               sample::DrawGif(10, 10, 3, true, 9), sample::DrawGif(9, 6, 1, false, 10),
               sample::DrawBmp(6, 4, 11),          sample::DrawGif(16, 16, 1, true, 12)};
  return recipe;
}
constexpr std::uint16_t kRed = 0xF800, kBlue = 0x001F;
const std::vector<std::pair<int, int>> kSizes = {{8, 8},   {5, 3},   {6, 6}, {10, 4}, {7, 7}, {3, 9},
                                                 {8, 8},   {12, 12}, {10, 10}, {9, 6}, {6, 4}, {16, 16}};

/// A program folder with pending work opened from phone.bin (and other.bin as the source).
struct Work {
  TempDir dir;
  fs::path icons = dir / "binary1/drmpack/icons";
  fs::path raws = dir / "binary1/drmpack/raws";

  explicit Work(bool convert = true, bool twoFiles = false) {
    if (!convert) {
      EXPECT_EQ(Run({"settings", "--convert", "off"}).status, 0);
    }
    WriteBytes(dir / "phone.bin", sample::BuildDrmImage(Recipe(kRed)));
    WriteBytes(dir / "other.bin", sample::BuildDrmImage(Recipe(kBlue)));
    std::vector<std::string> open = {"open", "phone.bin"};
    if (twoFiles) open.push_back("other.bin");
    CliResult r = Run(open);
    EXPECT_EQ(r.status, 0) << r.err;
  }
  CliResult Run(const std::vector<std::string>& args) const { return RunCliIn(dir.path(), args); }
};

struct Line {
  int number = 0;
  std::string kind, animated, size, file, state;
};

std::vector<Line> ParseList(const std::string& out) {
  static const std::regex kLine(R"(^ *(\d+)  (RAW|GIF|BMP)  (animated| {8})  +(\d+x\d+|\?)  (\S+) +(\S.*)$)");
  std::vector<Line> lines;
  std::istringstream in(out);
  for (std::string text; std::getline(in, text);) {
    std::smatch m;
    if (!std::regex_match(text, m, kLine)) {
      ADD_FAILURE() << "not a list line: '" << text << "'";
      continue;
    }
    lines.push_back({std::stoi(m[1]), m[2], m[3] == "animated" ? "animated" : "", m[4], m[5], m[6]});
  }
  return lines;
}

std::vector<int> Numbers(const std::string& out) {
  std::vector<int> numbers;
  for (const Line& line : ParseList(out)) numbers.push_back(line.number);
  return numbers;
}

TEST(CliList, ListsEveryPictureInNumberOrder) {
  Work work;
  CliResult r = work.Run({"list"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<Line> lines = ParseList(r.out);
  ASSERT_EQ(lines.size(), 12u) << r.out;
  for (int n = 1; n <= 12; ++n) {
    const Line& line = lines[static_cast<std::size_t>(n) - 1];
    SCOPED_TRACE(n);
    EXPECT_EQ(line.number, n);  // 1, 2, … 10, not 1, 10, 2
    EXPECT_EQ(line.kind, n <= 6 ? "RAW" : n == 11 ? "BMP" : "GIF");
    EXPECT_EQ(line.animated, n == 9 ? "animated" : "");
    auto [w, h] = kSizes[static_cast<std::size_t>(n) - 1];
    EXPECT_EQ(line.size, std::to_string(w) + "x" + std::to_string(h));
    EXPECT_EQ(line.file, n <= 6 ? "icons/" + std::to_string(n) + ".png"
                                : "icons/" + std::to_string(n) + (n == 11 ? ".bmp" : ".gif"));
    EXPECT_EQ(line.state, "original");
  }
  // The work stays pending for the next command.
  EXPECT_EQ(test::ReadText(work.dir / "shxdata.dat"), "5");
  for (const char* filter : {"--edited", "--empty", "--unreadable"}) {
    r = work.Run({"list", filter});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "") << filter;
  }
}

TEST(CliList, EveryStateAndEveryFilter) {
  Work work;
  gfx::Bitmap two = *gfx::LoadBitmap(work.icons / "2.png");
  two.Set(2, 1, two.At(2, 1) ^ 0x00FF0000u);
  ASSERT_TRUE(gfx::SaveBitmap(two, work.icons / "2.png", "image/png"));
  ASSERT_TRUE(gfx::SaveBitmap(gfx::Bitmap(9, 9, 0xFF102030u), work.icons / "3.png", "image/png"));
  fs::remove(work.icons / "4.png");
  WriteText(work.icons / "5.png", "not a picture");
  fs::remove(work.icons / "8.gif");
  WriteBytes(work.icons / "10.gif", sample::DrawGif(9, 6, 1, false, 77));

  CliResult r = work.Run({"list"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<Line> lines = ParseList(r.out);
  ASSERT_EQ(lines.size(), 12u) << r.out;
  auto state = [&](int n) { return lines[static_cast<std::size_t>(n) - 1].state; };
  EXPECT_EQ(state(1), "original");
  EXPECT_EQ(state(2), "edited");
  EXPECT_EQ(state(3), "new size (was 6x6)");
  EXPECT_EQ(lines[2].size, "9x9");
  EXPECT_EQ(state(4), "empty");
  EXPECT_EQ(lines[3].file, "-");
  EXPECT_EQ(lines[3].size, "0x0");
  EXPECT_EQ(state(5).rfind("cannot be read: ", 0), 0u) << state(5);
  EXPECT_EQ(state(8).rfind("cannot be read: neither 8.gif nor 8.bmp", 0), 0u) << state(8);
  EXPECT_EQ(lines[7].size, "?");
  EXPECT_EQ(state(10), "edited");

  const struct {
    std::vector<std::string> filters;
    std::vector<int> numbers;
  } filters[] = {
      {{"--edited"}, {2, 3, 10}},
      {{"--empty"}, {4}},
      {{"--unreadable"}, {5, 8}},
      {{"--unreadable", "--edited"}, {2, 3, 5, 8, 10}},
      {{"--edited", "--empty", "--unreadable"}, {2, 3, 4, 5, 8, 10}},
  };
  for (const auto& f : filters) {
    std::vector<std::string> args = {"list"};
    args.insert(args.end(), f.filters.begin(), f.filters.end());
    r = work.Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Numbers(r.out), f.numbers) << r.out;
  }
}

TEST(CliList, RawFilesWhenConversionIsOff) {
  Work work(false);
  fs::rename(work.raws / "2(5x3).raw", work.raws / "2(3x5).raw");
  fs::remove(work.raws / "3(6x6).raw");
  fs::rename(work.raws / "4(10x4).raw", work.raws / "4.raw");
  Bytes five = ReadBytes(work.raws / "5(7x7).raw");
  five[0] ^= 0xFF;
  WriteBytes(work.raws / "5(7x7).raw", five);
  CliResult r = work.Run({"list"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<Line> lines = ParseList(r.out);
  ASSERT_EQ(lines.size(), 12u) << r.out;
  EXPECT_EQ(lines[0].file, "raws/1(8x8).raw");
  EXPECT_EQ(lines[0].state, "original");
  EXPECT_EQ(lines[1].file, "raws/2(3x5).raw");
  EXPECT_EQ(lines[1].state, "new size (was 5x3)");
  EXPECT_EQ(lines[2].state, "empty");
  EXPECT_EQ(lines[3].state.rfind("cannot be read: the name has no size tag", 0), 0u) << lines[3].state;
  EXPECT_EQ(lines[4].state, "edited");
}

TEST(CliList, NeedsPendingWorkWithADrm) {
  TempDir empty;
  CliResult r = RunCliIn(empty.path(), {"list"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("nothing is pending"), std::string::npos) << r.err;
  WriteText(empty / "shxdata.dat", "9");
  r = RunCliIn(empty.path(), {"list"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("skin"), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadText(empty / "shxdata.dat"), "9");
}

/// The sheet as an independent reader sees it: ImageMagick when installed, else our decoder.
gfx::Bitmap ReadSheet(const fs::path& png) {
  std::optional<gfx::Bitmap> sheet = test::HaveTool("convert") ? test::MagickRead(png) : gfx::LoadBitmap(png);
  EXPECT_TRUE(sheet) << png;
  return sheet ? *sheet : gfx::Bitmap();
}

/// The layout the sheet of the test DRM must have, drawn without pictures.
image::ContactSheet ExpectedLayout(std::vector<image::SheetCell>& cells, int columns) {
  cells.clear();
  int n = 0;
  for (auto [w, h] : kSizes) {
    cells.push_back({std::to_string(++n) + " " + std::to_string(w) + "x" + std::to_string(h), w, h});
  }
  return image::ContactSheet(cells, image::SheetOptions{columns, 128});
}

TEST(CliSheet, EachPictureStandsLabelledOnItsCell) {
  Work work(true, true);
  fs::remove(work.icons / "4.png");
  CliResult r = work.Run({"sheet", "out.png", "--columns", "5"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("12 pictures"), std::string::npos) << r.out;
  const gfx::Bitmap sheet = ReadSheet(work.dir / "out.png");

  std::vector<image::SheetCell> cells;
  image::ContactSheet layout = ExpectedLayout(cells, 5);
  cells[3].label = "4 0x0";  // the missing RAW picture is stored 0x0
  layout = image::ContactSheet(cells, image::SheetOptions{5, 128});
  const gfx::Bitmap& blank = layout.Sheet();
  ASSERT_EQ(sheet.Width(), blank.Width());
  ASSERT_EQ(sheet.Height(), blank.Height());

  // Picture 1: red, with the checkerboard showing through its transparent top-left pixel.
  const image::SheetRect one = layout.PicturePlace(0, 8, 8);
  EXPECT_EQ(sheet.At(one.left + 1, one.top), gfx::MakeArgb(255, 248, 0, 0));
  EXPECT_EQ(sheet.At(one.left + 7, one.top + 7), gfx::MakeArgb(255, 248, 0, 0));
  EXPECT_EQ(sheet.At(one.left, one.top), blank.At(one.left, one.top));
  const image::SheetRect area = layout.PictureArea(0);
  EXPECT_EQ(sheet.At(area.left, area.top), image::kCheckerLight);
  EXPECT_EQ(sheet.At(area.left + image::kCheckerSquare, area.top), image::kCheckerDark);
  // The missing picture 4 is crossed out.
  const image::SheetRect four = layout.PictureArea(3);
  EXPECT_EQ(sheet.At(four.left, four.top), image::kMissingColour);
  EXPECT_EQ(sheet.At(four.left + four.width - 1, four.top + four.height - 1), image::kMissingColour);
  // Labels, the two-digit ones included.
  for (std::size_t i : {0u, 3u, 9u, 11u}) {
    SCOPED_TRACE(cells[i].label);
    const image::SheetRect label = layout.LabelPlace(i);
    int differing = 0, inked = 0;
    for (int y = label.top; y < label.top + label.height; ++y) {
      for (int x = label.left; x < label.left + label.width; ++x) {
        differing += sheet.At(x, y) != blank.At(x, y);
        inked += sheet.At(x, y) == image::kLabelColour;
      }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(inked, 10);
  }
}

TEST(CliSheet, TheSourceSheetShowsTheSourcePictures) {
  Work work(true, true);
  CliResult r = work.Run({"sheet", "source.png", "--source", "--columns", "4"});
  ASSERT_EQ(r.status, 0) << r.err;
  const gfx::Bitmap sheet = ReadSheet(work.dir / "source.png");
  std::vector<image::SheetCell> cells;
  image::ContactSheet layout = ExpectedLayout(cells, 4);
  ASSERT_EQ(sheet.Width(), layout.Sheet().Width());
  const image::SheetRect one = layout.PicturePlace(0, 8, 8);
  EXPECT_EQ(sheet.At(one.left + 3, one.top + 3), gfx::MakeArgb(255, 0, 0, 248));
  EXPECT_EQ(sheet.At(one.left, one.top), layout.Sheet().At(one.left, one.top));
}

TEST(CliSheet, RefusesWhatItCannotDraw) {
  Work one;
  const struct {
    std::vector<std::string> args;
    const char* why;
  } refused[] = {
      {{"sheet", "s.png", "--source"}, "there is no source"},
      {{"sheet", "s.jpg"}, ".png"},
      {{"sheet", "s.png", "--columns", "0"}, "columns"},
  };
  for (const auto& c : refused) {
    CliResult r = one.Run(c.args);
    EXPECT_EQ(r.status, 2) << c.args.back();
    EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(one.dir / "s.png"));
  EXPECT_FALSE(fs::exists(one.dir / "s.jpg"));
  // A folder that is not there: the run fails and leaves nothing behind.
  CliResult r = one.Run({"sheet", "missing/s.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(fs::exists(one.dir / "missing"));
  TempDir empty;
  r = RunCliIn(empty.path(), {"sheet", "s.png"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("nothing is pending"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace resmill::cli
