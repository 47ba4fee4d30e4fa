#include "app/controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/error.h"
#include "sample/drm_sample.h"
#include "test_support.h"

namespace resmill::app {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::ScriptedUi;
using test::TempDir;
using test::WriteText;

MenuState Menu(bool open, bool port, bool build, bool saveAs, bool settings) {
  return MenuState{open, port, build, saveAs, settings};
}

TEST(Controller, StartWithoutStateFileEmptiesTheTree) {
  TempDir dir;
  fs::create_directories(dir / "binary1/drmpack/icons");
  WriteText(dir / "binary1/drmpack/icons/1.gif", "old");
  ScriptedUi ui;
  Controller c(ui, dir.path());
  c.InitApp();
  EXPECT_EQ(c.Menu(), Menu(true, false, false, false, true));
  EXPECT_TRUE(c.session().nothingPending);
  EXPECT_FALSE(fs::exists(dir / "binary1/drmpack/icons/1.gif"));
  EXPECT_TRUE(fs::is_directory(dir / "binary2/drmpack/icons"));
  c.Exit();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(fs::exists(dir / "shxdata.dat"));
}

TEST(Controller, StartWithStateFileKeepsTheWorkAndSetsTheMenu) {
  struct Case { const char* state; MenuState menu; };
  const Case cases[] = {
      {"1", Menu(false, false, true, true, false)},  {"2", Menu(false, true, true, true, false)},
      {"5", Menu(false, false, true, true, false)},  {"6", Menu(false, true, true, true, false)},
      {"9", Menu(false, false, true, true, false)},  {"10", Menu(false, true, true, true, false)},
      {"7", Menu(true, false, false, false, true)},  // not a stage value: nothing pending
  };
  for (const Case& c : cases) {
    TempDir dir;
    fs::create_directories(dir / "binary1/drmpack/icons");
    WriteText(dir / "binary1/drmpack/icons/1.gif", "edited");
    WriteText(dir / "shxdata.dat", c.state);
    ScriptedUi ui;
    Controller controller(ui, dir.path());
    controller.InitApp();
    EXPECT_EQ(controller.Menu(), c.menu) << c.state;
    bool pending = c.menu.saveAs;
    // The state file stays for as long as the work is pending; a damaged one goes.
    EXPECT_EQ(fs::exists(dir / "shxdata.dat"), pending) << c.state;
    EXPECT_EQ(fs::exists(dir / "binary1/drmpack/icons/1.gif"), pending) << c.state;
  }
}

TEST(Controller, ExitWithPendingWorkWarnsAndKeepsTheStateFile) {
  TempDir dir;
  WriteText(dir / "shxdata.dat", "5");
  ScriptedUi ui;
  Controller c(ui, dir.path());
  c.InitApp();
  c.Exit();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "DRM was not compiled");
  EXPECT_EQ(ui.messages[0].caption, "Incomplete Operation");
  EXPECT_EQ(ReadText(dir / "shxdata.dat"), "5");
}

TEST(Controller, EndingWithoutExitStillKeepsPendingWork) {
  TempDir dir;
  WriteText(dir / "shxdata.dat", "2");
  ScriptedUi ui;
  {
    Controller c(ui, dir.path());
    c.InitApp();
    c.Shutdown();  // the window closed by its title-bar button
  }
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ReadText(dir / "shxdata.dat"), "2");
}

TEST(Controller, ResetDropsPendingWork) {
  TempDir dir;
  WriteText(dir / "shxdata.dat", "6");
  ScriptedUi ui;
  Controller c(ui, dir.path());
  c.InitApp();
  WriteText(dir / "binary1/CG15.bin", "x");
  WriteText(dir / "shxdata.dat", "6");  // written by another run meanwhile
  c.Reset();
  EXPECT_EQ(c.Menu(), Menu(true, false, false, false, true));
  EXPECT_FALSE(fs::exists(dir / "shxdata.dat"));
  EXPECT_FALSE(fs::exists(dir / "binary1/CG15.bin"));
  EXPECT_TRUE(fs::is_directory(dir / "binary1/drmpack/icons"));
  EXPECT_EQ(c.session().stageFlags, 6);  // kept, as the window keeps it
  c.Exit();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(fs::exists(dir / "shxdata.dat"));
}

TEST(Controller, ACommandWhoseMenuItemIsOffIsRefusedAndChangesNothing) {
  struct Case {
    const char* state;  // nullptr: nothing pending
    const char* command;
    std::function<void(Controller&, const fs::path&)> run;
  };
  const Case cases[] = {
      {"1", "Open", [](Controller& c, const fs::path& dir) { c.Open(dir / "phone.bin"); }},
      {"1", "Port", [](Controller& c, const fs::path&) { c.Port(); }},
      {nullptr, "Build", [](Controller& c, const fs::path&) { c.Build({}); }},
      {nullptr, "Save As", [](Controller& c, const fs::path& dir) { c.Save(dir / "out.bin"); }},
  };
  for (const Case& k : cases) {
    TempDir dir;
    test::WriteBytes(dir / "phone.bin", sample::BuildDrmImage(sample::SampleVariant0Drm()));
    if (k.state) WriteText(dir / "shxdata.dat", k.state);
    ScriptedUi ui;
    Controller c(ui, dir.path());
    c.InitApp();
    WriteText(dir / "binary1/drmpack/icons/1.gif", "edited");
    const MenuState before = c.Menu();
    try {
      k.run(c, dir.path());
      ADD_FAILURE() << k.command << " ran";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), Error::Kind::Refused) << k.command;
      EXPECT_THAT(e.what(), ::testing::StartsWith(std::string(k.command) + " is not possible now")) << k.command;
    }
    EXPECT_EQ(c.Menu(), before) << k.command;
    EXPECT_EQ(ReadText(dir / "binary1/drmpack/icons/1.gif"), "edited") << k.command;
    EXPECT_FALSE(fs::exists(dir / "out.bin")) << k.command;
  }
}

TEST(Controller, BuildWithoutPairingsAsksNothing) {
  TempDir dir;
  WriteText(dir / "shxdata.dat", "1");
  ScriptedUi ui;
  Controller c(ui, dir.path());
  c.InitApp();
  c.Build({});
  EXPECT_EQ(ui.confirmations, 0);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(c.session().buildCompleted);
}

TEST(Controller, SaveAsOffersTheTargetKindAndCancelKeepsTheWork) {
  struct Case { const char* state; const char* filter; const char* title; };
  const Case cases[] = {
      {"5", "BIN files|*.bin", "Select a file to save DRM reflash"},
      {"9", "EZX files|*.ezx", "Select a file to save skin"},
      {"2", "SHX files|*.shx", "Select a file to save DRM reflash"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteText(dir / "shxdata.dat", c.state);
    ScriptedUi ui;
    Controller controller(ui, dir.path());
    controller.InitApp();
    EXPECT_EQ(SaveQuestion(controller.session()).filter, c.filter);
    EXPECT_EQ(SaveQuestion(controller.session()).title, c.title);
    EXPECT_EQ(controller.Save(std::nullopt), SaveResult::Cancelled);
    // Auto-close is on by default: the program ends, and the pending work survives it.
    EXPECT_TRUE(controller.CloseRequested());
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), c.state);
  }
}

TEST(Controller, SettingsAreAppliedAndSaved) {
  TempDir dir;
  ScriptedUi ui;
  Controller c(ui, dir.path());
  c.InitApp();
  c.session().settings.autoCloseOnStage = false;  // the dialog's box reacts at once
  c.ApplySettings(SettingsChoice{false, true, false, dir / "other"});
  EXPECT_EQ(ReadText(dir / "resmill.ini"), "0\r\n1\r\n0\r\n0\r\n" + (dir / "other").string() + "\r\n");
  EXPECT_TRUE(fs::is_directory(dir / "other/binary2/drmpack/icons"));
  EXPECT_TRUE(fs::is_directory(dir / "binary1"));  // the old tree is left alone
}

// A program folder with a raw DRM dump to open, and the settings a test asks for.
struct Folder {
  TempDir dir;
  ScriptedUi ui;
  explicit Folder(bool autoClose) {
    test::WriteBytes(dir / "phone.bin", sample::BuildDrmImage(sample::SampleVariant0Drm()));
    Settings settings;
    settings.autoCloseOnStage = autoClose;
    settings.askForSourceFile = false;
    settings.convertRawToBmp = false;
    settings.cleanUpOnCompletion = false;
    settings.workFolder = dir.path();
    SaveSettings(settings, dir / "resmill.ini");
  }
  void OpenPhone(Controller& c) {
    ASSERT_EQ(c.Open(dir / "phone.bin"), OpenResult::Done);
  }
  /// A run in the folder that has opened the dump.
  Controller& StartAndOpen() {
    run.emplace(ui, dir.path());
    run->InitApp();
    OpenPhone(*run);
    return *run;
  }
  std::optional<Controller> run;
};

TEST(ControllerStateFile, OpenLeavesItOnDiskAtOnceSoACrashKeepsTheWork) {
  for (bool autoClose : {true, false}) {
    SCOPED_TRACE(autoClose ? "auto-close" : "window stays");
    Folder f(autoClose);
    {
      Controller c(f.ui, f.dir.path());
      c.InitApp();
      f.OpenPhone(c);
      EXPECT_EQ(ReadText(f.dir / "shxdata.dat"), "5");
      // The run ends without Shutdown: a crash or a kill.
    }
    test::WriteText(f.dir / "binary1/drmpack/icons/1.gif", "edited");
    Controller next(f.ui, f.dir.path());
    next.InitApp();
    EXPECT_FALSE(next.session().nothingPending);
    EXPECT_EQ(ReadText(f.dir / "binary1/drmpack/icons/1.gif"), "edited");
    EXPECT_EQ(ReadText(f.dir / "shxdata.dat"), "5");
  }
}

TEST(ControllerStateFile, OnlyACompletedSaveOrResetRemovesIt) {
  Folder f(false);
  Controller& c = f.StartAndOpen();
  EXPECT_EQ(c.Save(std::nullopt), SaveResult::Cancelled);
  EXPECT_TRUE(fs::exists(f.dir / "shxdata.dat"));
  EXPECT_EQ(c.Save(f.dir / "out.bin"), SaveResult::Done);
  EXPECT_FALSE(fs::exists(f.dir / "shxdata.dat"));
  f.OpenPhone(c);
  EXPECT_EQ(ReadText(f.dir / "shxdata.dat"), "5");
  c.Reset();
  EXPECT_FALSE(fs::exists(f.dir / "shxdata.dat"));
  c.Shutdown();
  EXPECT_FALSE(fs::exists(f.dir / "shxdata.dat"));
}

// A completed save leaves what a new start would find: nothing pending. Without
// clean-up the tree stays until the next Open, which starts from an empty one.
TEST(Controller, ACompletedSaveLeavesNothingPendingWithCleanUpOnOrOff) {
  for (bool cleanUp : {true, false}) {
    SCOPED_TRACE(cleanUp ? "clean-up" : "no clean-up");
    Folder f(false);
    Controller& c = f.StartAndOpen();
    c.session().settings.cleanUpOnCompletion = cleanUp;
    WriteText(f.dir / "binary1/drmpack/icons/999.gif", "left from this work");
    ASSERT_EQ(c.Save(f.dir / "out.bin"), SaveResult::Done);
    EXPECT_EQ(c.Menu(), Menu(true, false, false, false, true));
    EXPECT_TRUE(c.session().nothingPending);
    EXPECT_EQ(fs::exists(f.dir / "binary1/drmpack/icons/999.gif"), !cleanUp);
    EXPECT_TRUE(fs::is_directory(f.dir / "binary1/drmpack/icons"));
    if (!cleanUp) {
      // A file of the kept tree cannot be opened: Open empties the tree before it reads.
      EXPECT_THROW(c.Open(f.dir / "binary1/drmpack/../CG15.bin"), Error);
      EXPECT_TRUE(fs::exists(f.dir / "binary1/CG15.bin"));
    }
    f.ui.messages.clear();
    f.OpenPhone(c);
    EXPECT_FALSE(fs::exists(f.dir / "binary1/drmpack/icons/999.gif"));
    EXPECT_EQ(c.Menu(), Menu(false, false, true, true, false));
    c.Exit();
    EXPECT_EQ(f.ui.messages.back().text, "DRM was not compiled");
  }
}

TEST(ControllerStateFile, AFailedSaveKeepsItAndAMissingOneIsPutBackAtTheEnd) {
  Folder f(false);
  Controller& c = f.StartAndOpen();
  EXPECT_THROW(c.Save(f.dir / "missing" / "out.bin"), Error);
  EXPECT_EQ(ReadText(f.dir / "shxdata.dat"), "5");
  fs::remove(f.dir / "shxdata.dat");  // removed by hand while the window is open
  c.Shutdown();
  EXPECT_EQ(ReadText(f.dir / "shxdata.dat"), "5");
}

void ExpectRefused(const std::function<void()>& action, const fs::path& folder) {
  try {
    action();
    ADD_FAILURE() << "a second run was let into " << folder;
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::Refused);
    EXPECT_THAT(e.what(), ::testing::HasSubstr("another ResMill is working in the folder '" + folder.string() + "'"));
  }
}

TEST(ControllerLock, ASecondRunInTheProgramFolderIsRefusedAndChangesNothing) {
  TempDir dir;
  WriteText(dir / "shxdata.dat", "5");
  ScriptedUi ui;
  {
    Controller first(ui, dir.path());
    first.InitApp();
    WriteText(dir / "binary1/drmpack/icons/1.gif", "edited");
    Controller second(ui, dir.path());
    ExpectRefused([&] { second.InitApp(); }, dir.path());
    second.Shutdown();
    EXPECT_EQ(ReadText(dir / "binary1/drmpack/icons/1.gif"), "edited");
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), "5");
  }
  Controller later(ui, dir.path());
  EXPECT_NO_THROW(later.InitApp());
}

TEST(ControllerLock, AWorkFolderApartIsLockedAtStartAndWhenChosen) {
  TempDir dir;
  fs::create_directories(dir / "a");
  fs::create_directories(dir / "b");
  Settings shared;
  shared.workFolder = dir / "work";
  SaveSettings(shared, dir / "a/resmill.ini");
  SaveSettings(shared, dir / "b/resmill.ini");
  ScriptedUi ui;
  Controller a(ui, dir / "a");
  a.InitApp();
  Controller b(ui, dir / "b");
  ExpectRefused([&] { b.InitApp(); }, dir / "work");

  Controller other(ui, dir / "other");
  fs::create_directories(dir / "other");
  other.InitApp();
  ExpectRefused([&] { other.ApplySettings(SettingsChoice{false, false, false, dir / "work"}); }, dir / "work");
  EXPECT_EQ(other.session().settings.workFolder, dir / "other");
  EXPECT_TRUE(other.session().settings.cleanUpOnCompletion);
  // Moving away lets the old work folder go.
  a.ApplySettings(SettingsChoice{true, true, true, dir / "a"});
  EXPECT_NO_THROW(other.ApplySettings(SettingsChoice{true, true, true, dir / "work"}));
  EXPECT_EQ(other.session().settings.workFolder, dir / "work");

  // Reset takes up a work folder that the settings file names by now.
  SaveSettings(shared, dir / "a/resmill.ini");
  WriteText(dir / "a/shxdata.dat", "1");
  ExpectRefused([&] { a.Reset(); }, dir / "work");
  EXPECT_EQ(ReadText(dir / "a/shxdata.dat"), "1");
}

}  // namespace
}  // namespace resmill::app
