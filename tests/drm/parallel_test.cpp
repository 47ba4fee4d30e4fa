// The unpack and the compile with RAW conversion give the same files, the same
// progress and the same errors on any number of workers as on one.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>

#include "drm/compile.h"

#include <fmt/format.h>
#include "drm_fixture.h"
#include "platform/error.h"

namespace resmill::test {
namespace {

namespace fs = std::filesystem;

const unsigned kWorkerCounts[] = {2, 3, 64, kAllCores};

/// Every file under `folder` with its bytes, by path relative to it.
std::map<std::string, Bytes> Tree(const fs::path& folder) {
  std::map<std::string, Bytes> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).string()] = ReadBytes(entry.path());
  }
  return files;
}

/// The message of `e` with the test's own folder taken out (it differs from run to run).
std::string MessageWithout(const Error& e, const TempDir& dir) {
  std::string message = e.what();
  const std::string folder = dir.path().string();
  for (std::size_t at; (at = message.find(folder)) != std::string::npos;) message.replace(at, folder.size(), "<slot>");
  return message;
}

/// RAW pictures of many sizes, among them an empty one, one of width 0 and one
/// too large to convert (it gets no PNG copy), then some GIF-table pictures.
sample::DrmRecipe MixedRecipe(int raws, int gifs = 3) {
  sample::DrmRecipe recipe;
  for (int i = 1; i <= raws; ++i) {
    if (i == 4) {
      recipe.raws.push_back({0, 0, {}});
    } else if (i == 9) {
      recipe.raws.push_back({0, 12, Bytes(6, 0x11)});
    } else if (i == 13) {
      recipe.raws.push_back({200, 200, Bytes(2 * 40000 + 5000, 0x5A)});
    } else {
      recipe.raws.push_back(sample::DrawRaw(1 + i % 23, 1 + (i * 7) % 19, i, i % 3 == 0));
    }
  }
  for (int k = 1; k <= gifs; ++k) {
    if (k % 10 == 7) {
      recipe.gifs.push_back(sample::DrawBmp(3, 2, k));
    } else {
      recipe.gifs.push_back(FakeGif(k, static_cast<std::size_t>(10 + k % 50)));
    }
  }
  return recipe;
}

/// The mixed pictures without those a conversion cannot give back as they were.
sample::DrmRecipe ConvertibleRecipe(int raws, int gifs = 3) {
  sample::DrmRecipe recipe = MixedRecipe(raws, gifs);
  for (int i : {9, 13}) {
    if (i <= raws) recipe.raws[static_cast<std::size_t>(i - 1)] = sample::DrawRaw(30, 40, i, true);
  }
  return recipe;
}

struct UnpackRun {
  std::map<std::string, Bytes> tree;
  std::vector<int> progress;
  std::vector<std::string> captions;
  std::string error;
};

UnpackRun Unpack(const Bytes& image, unsigned workers, const std::function<void(Slot&)>& prepare = {}) {
  Slot slot(image);
  if (prepare) prepare(slot);
  UnpackRun run;
  ScriptedUi ui;
  try {
    drm::UnpackDrm(slot.image, slot.drmpack, true, ui, workers);
  } catch (const Error& e) {
    run.error = MessageWithout(e, slot.dir);
  }
  run.tree = Tree(slot.drmpack);
  run.progress = ui.progressPositions;
  run.captions = ui.progressCaptions;
  return run;
}

TEST(ParallelConversion, UnpackWritesTheSameTreeOnAnyNumberOfWorkers) {
  struct Case {
    const char* name;
    int raws;
    int gifs;
  };
  const Case cases[] = {{"no RAW pictures", 0, 3},
                        {"one RAW picture", 1, 3},
                        {"fewer pictures than workers", 2, 1},
                        {"many pictures", 60, 3},
                        {"GIF-table pictures in several batches, the last one short", 5, 97}};
  for (const Case& c : cases) {
    const Bytes image = sample::BuildDrmImage(MixedRecipe(c.raws, c.gifs));
    const UnpackRun one = Unpack(image, 1);
    ASSERT_EQ(one.error, "") << c.name;
    if (c.raws >= 13) {
      EXPECT_EQ(one.tree.count("icons/13.png"), 0u) << "a picture too large to convert has no PNG copy";
      EXPECT_EQ(one.tree.at("icons/4.png"), Bytes{}) << "an empty picture leaves an empty PNG";
      EXPECT_EQ(one.tree.at("icons/9.png"), Bytes{});
      EXPECT_EQ(one.tree.at("raws/4(0x0).raw"), Bytes{});
    }
    for (unsigned workers : kWorkerCounts) {
      const UnpackRun many = Unpack(image, workers);
      EXPECT_EQ(many.error, "") << c.name << ", " << workers << " workers";
      EXPECT_TRUE(many.tree == one.tree) << c.name << ", " << workers << " workers";
      EXPECT_EQ(many.progress, one.progress) << c.name << ", " << workers << " workers";
      EXPECT_EQ(many.captions, one.captions) << c.name;
    }
  }
}

TEST(ParallelConversion, AnUnpackThatCannotWriteAPictureStopsThereOnAnyNumberOfWorkers) {
  struct Case {
    const char* name;
    int raws, gifs;
    const char* blocked;  // a folder stands where this file must go: its write fails
    std::vector<const char*> before;
    const char* after;
  };
  const Case cases[] = {
      {"the PNG copy of RAW picture 21", 40, 3, "icons/21.png", {"raws/20(21x8).raw", "icons/20.png"}, "icons/22.png"},
      {"GIF-table picture 40, in the middle of a batch the workers read together", 10, 90, "icons/50.gif",
       {"icons/49.gif"}, "icons/51.gif"},
  };
  for (const Case& c : cases) {
    const Bytes image = sample::BuildDrmImage(MixedRecipe(c.raws, c.gifs));
    auto block = [&](Slot& slot) { fs::create_directories(slot.drmpack / c.blocked); };
    const UnpackRun one = Unpack(image, 1, block);
    ASSERT_NE(one.error, "") << c.name;
    for (const char* file : c.before) EXPECT_EQ(one.tree.count(file), 1u) << c.name << ": " << file << " is written";
    EXPECT_EQ(one.tree.count(c.after), 0u) << c.name << ": nothing after it";
    for (unsigned workers : kWorkerCounts) {
      const UnpackRun many = Unpack(image, workers, block);
      EXPECT_EQ(many.error, one.error) << c.name << ", " << workers << " workers";
      EXPECT_TRUE(many.tree == one.tree) << c.name << ", " << workers << " workers";
      EXPECT_EQ(many.progress, one.progress) << c.name << ", " << workers << " workers";
    }
  }
}

TEST(ParallelConversion, AnImageThatEndsInsideAGifTablePictureStopsThere) {
  // The tables were read from the whole image; the file then ends inside
  // GIF-table picture 45, in the middle of a batch the workers read together.
  const Bytes whole = sample::BuildDrmImage(MixedRecipe(0, 90));
  struct Run {
    std::map<std::string, Bytes> tree;
    std::string error;
  };
  auto run = [&](unsigned workers) {
    Slot slot(whole);
    BinaryFile full(slot.image, BinaryFile::Mode::Read);
    const drm::DrmLayout layout = drm::ReadDrmLayout(full, drm::DrmVariantOf(full));
    const drm::DrmTables tables = drm::ReadDrmTables(full, layout);
    const auto cut = static_cast<std::size_t>(drm::LocatePicture(full, layout, tables, 45).offset) + 3;
    full.Close();
    WriteBytes(slot.image, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
    BinaryFile shorter(slot.image, BinaryFile::Mode::Read);
    Run result;
    NullProgress progress;
    try {
      drm::ExtractGifs(shorter, layout, tables, slot.drmpack, progress, workers);
    } catch (const Error& e) {
      result.error = MessageWithout(e, slot.dir);
    }
    result.tree = Tree(slot.drmpack);
    return result;
  };
  const Run one = run(1);
  EXPECT_NE(one.error.find("file ends inside the picture 45.gif"), std::string::npos) << one.error;
  EXPECT_EQ(one.tree.count("icons/44.gif"), 1u);
  EXPECT_EQ(one.tree.count("icons/45.gif"), 0u);
  for (unsigned workers : kWorkerCounts) {
    const Run many = run(workers);
    EXPECT_EQ(many.error, one.error) << workers << " workers";
    EXPECT_TRUE(many.tree == one.tree) << workers << " workers";
  }
}

struct CompileRun {
  Bytes output;
  bool written = false;
  std::vector<int> skipped;
  std::vector<int> progress;
  std::string error;
  std::map<std::string, Bytes> tree;
};

/// Compiles a copy of the unpacked `source` slot over an existing output file.
CompileRun Compile(Slot& source, unsigned workers) {
  Slot slot;
  fs::copy(source.image, slot.image);
  fs::remove_all(slot.drmpack);
  fs::copy(source.drmpack, slot.drmpack, fs::copy_options::recursive);
  const fs::path output = slot.dir / "new.bin";
  const Bytes old = {'o', 'l', 'd'};
  WriteBytes(output, old);
  CompileRun run;
  ScriptedUi ui;
  try {
    run.skipped = drm::CompileDrm(slot.drmpack, slot.image, output, true, ui, {}, workers).skipped;
  } catch (const Error& e) {
    run.error = MessageWithout(e, slot.dir);
  }
  run.output = ReadBytes(output);
  run.written = run.output != old;
  run.progress = ui.progressPositions;
  run.tree = Tree(slot.drmpack);
  EXPECT_TRUE(run.tree == Tree(source.drmpack)) << "the compile leaves the tree as it was";
  EXPECT_EQ(ListFolder(slot.dir.path()), (std::vector<std::string>{"CG15.bin", "drmpack", "new.bin"}))
      << "no temporary file is left";
  return run;
}

TEST(ParallelConversion, CompileFromPngPicturesGivesTheSameImageOnAnyNumberOfWorkers) {
  struct Case {
    const char* name;
    int raws;
    int gifs;
    bool longGif;  // one GIF-table picture too long to be held in memory
  };
  const Case cases[] = {{"no RAW pictures", 0, 3, false},
                        {"one RAW picture", 1, 3, false},
                        {"many pictures", 50, 3, false},
                        {"GIF-table pictures in several batches, one of them long", 4, 75, true}};
  for (const Case& c : cases) {
    sample::DrmRecipe recipe = ConvertibleRecipe(c.raws, c.gifs);
    if (c.longGif) {
      Bytes animation(300001, 0x3C);
      for (std::size_t i = 0; i < 6; ++i) animation[i] = static_cast<std::uint8_t>("GIF89a"[i]);
      recipe.gifs[40] = animation;
    }
    const Bytes image = sample::BuildDrmImage(recipe);
    Slot source(image);
    source.Unpack(true);
    const CompileRun one = Compile(source, 1);
    ASSERT_EQ(one.error, "") << c.name;
    // RAW → PNG → RAW keeps every bit; the empty picture stays empty.
    EXPECT_EQ(one.output, image) << c.name;
    for (unsigned workers : kWorkerCounts) {
      const CompileRun many = Compile(source, workers);
      EXPECT_EQ(many.error, "") << c.name << ", " << workers << " workers";
      EXPECT_EQ(many.output, one.output) << c.name << ", " << workers << " workers";
      EXPECT_EQ(many.skipped, one.skipped) << c.name;
      EXPECT_EQ(many.progress, one.progress) << c.name;
    }
  }
}

TEST(ParallelConversion, TheFirstBadPictureInOrderStopsTheCompileOnAnyNumberOfWorkers) {
  struct Case {
    const char* name;
    std::vector<int> broken;  // PNG copies replaced by bytes that are no picture
  };
  const Case cases[] = {{"first", {1}}, {"middle", {25}}, {"two: the earlier is reported", {31, 17}},
                        {"last", {40}}};
  const Bytes image = sample::BuildDrmImage(ConvertibleRecipe(40));
  for (const Case& c : cases) {
    Slot source(image);
    source.Unpack(true);
    for (int n : c.broken) WriteText(source.icons / (std::to_string(n) + ".png"), "not a picture");
    const CompileRun one = Compile(source, 1);
    EXPECT_NE(one.error.find(fmt::format("RAW picture {} ", *std::min_element(c.broken.begin(), c.broken.end()))),
              std::string::npos)
        << c.name << ": " << one.error;
    EXPECT_FALSE(one.written) << c.name << ": the old output stays";
    for (unsigned workers : kWorkerCounts) {
      const CompileRun many = Compile(source, workers);
      EXPECT_EQ(many.error, one.error) << c.name << ", " << workers << " workers";
      EXPECT_FALSE(many.written) << c.name;
      EXPECT_EQ(many.progress, one.progress) << c.name << ", " << workers << " workers";
    }
  }
}

}  // namespace
}  // namespace resmill::test
