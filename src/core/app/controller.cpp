#include "app/controller.h"

#include <algorithm>

#include <fmt/format.h>

#include "app/operations.h"
#include "drm/drm_layout.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "skin/skin_unpack.h"

namespace resmill::app {
namespace fs = std::filesystem;

namespace {
std::string FileName(const fs::path& file) { return file.filename().string(); }

/// Whether `file` lies in `folder` or below it.
bool LiesIn(const fs::path& file, const fs::path& folder) {
  std::error_code error;
  const fs::path inner = fs::weakly_canonical(file, error);
  const fs::path outer = fs::weakly_canonical(folder, error);
  if (error || outer.empty()) return false;
  return std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first == outer.end();
}

enum class FileKind { Superfile, Sbf, Skin, RawDump };
/// What Open makes of a file by its upper-cased extension.
FileKind KindOf(const std::string& ext) {
  if (ext == ".SHX") return FileKind::Superfile;
  if (ext == ".SBF") return FileKind::Sbf;
  return ext == ".EZX" ? FileKind::Skin : FileKind::RawDump;
}

/// "1 picture", "12 pictures".
std::string Pictures(std::size_t count) { return fmt::format("{} picture{}", count, count == 1 ? "" : "s"); }
std::string Icons(std::size_t count) { return fmt::format("{} icon{}", count, count == 1 ? "" : "s"); }
}  // namespace

fs::path PicturesFolder(const Session& session) {
  if (session.stageFlags & kSkinTarget) return JoinTail(session.tree.drmPack1Folder, skin::kRawsFolder);
  return session.tree.icons1Folder;
}

FileQuestion SaveQuestion(const Session& session) {
  const char* filter = (session.stageFlags & kRawDumpTarget) ? "BIN files|*.bin"
                       : (session.stageFlags & kSkinTarget)  ? "EZX files|*.ezx"
                                                             : "SHX files|*.shx";
  return {(session.stageFlags & kSkinTarget) ? "Select a file to save skin" : "Select a file to save DRM reflash",
          filter};
}

std::tm LocalTimeNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

Controller::Controller(UserInterface& ui, fs::path programFolder, Clock clock)
    : session_(ui, std::move(programFolder), std::move(clock)) {}

void Controller::InitApp() {
  Session& s = session_;
  // Everything below reads or writes what a second run in this folder would too.
  if (!programLock_) programLock_.emplace(s.programFolder);
  const std::optional<std::uint8_t> flags = ReadStateFile(s.StateFile());
  // A damaged state file counts as no pending work: the file goes with it.
  if (!flags) DeleteStateFileQuietly();
  s.stageFlags = flags.value_or(s.stageFlags);
  SetPending(flags.has_value());
  s.settings = LoadSettings(s.SettingsFile(), s.programFolder);
  LockWorkFolder(s.settings.workFolder);
  s.tree = CreateWorkFolders(s.settings.workFolder);
  if (s.nothingPending) EmptyWorkTree();
  s.buildCompleted = false;
}

void Controller::Require(bool enabled, std::string_view command, std::string_view why) {
  if (!enabled) throw Error(Error::Kind::Refused, fmt::format("{} is not possible now: {}", command, why));
}

void Controller::SetPending(bool pending) {
  Session& s = session_;
  s.nothingPending = !pending;
  menu_ = pending ? MenuState{false, !s.OneFileWork(), true, true, false} : MenuState{};
}

void Controller::EmptyWorkTree() {
  Session& s = session_;
  if (!FolderExists(s.tree.binary1Folder)) return;
  CleanUpWorkFolders(s.tree);
  s.tree = CreateWorkFolders(s.settings.workFolder);
}

void Controller::OpenCancelled() {
  // Open is offered only while nothing is pending, when no state file should be there.
  if (session_.nothingPending) DeleteStateFileQuietly();
  session_.ui.SetStatusText("Open cancelled");
}

void Controller::DeleteStateFileQuietly() { DeleteFileQuietly(session_.StateFile()); }

void Controller::KeepPendingWork() {
  Session& s = session_;
  if (!s.nothingPending && !s.drmSaved && !FileExists(s.StateFile())) WriteStateFile(s.StateFile(), s.stageFlags);
}

void Controller::LockWorkFolder(const fs::path& folder) {
  // The lock file lives in the folder; a folder that cannot be created holds no work to guard.
  CreateFolder(folder);
  if (!FolderExists(folder) || SameFileOrFolder(folder, session_.programFolder)) {
    workLock_.reset();
    return;
  }
  if (workLock_ && SameFileOrFolder(workLock_->Folder(), folder)) return;
  FolderLock lock(folder);  // a refusal leaves the folder in use as it was
  workLock_ = std::move(lock);
}

void Controller::RequestClose() {
  closeRequested_ = true;
  Shutdown();
}

std::optional<std::size_t> Controller::Decompile(int slot, const fs::path& file, const std::string& ext) {
  Session& s = session_;
  const FileKind kind = KindOf(ext);
  if (kind == FileKind::Skin) {
    if (slot == 2 && s.settings.convertRawToBmp) s.convertSkinPictures = true;
    return UnpackSkin(s, file, s.tree.DrmPackFolder(slot));
  }
  if (!(kind == FileKind::RawDump ? OpenBinDrm(s, slot) : OpenFlashDrm(s, slot, kind == FileKind::Sbf))) {
    return std::nullopt;
  }
  const drm::DrmLayout layout = drm::ReadDescrDat(ResolveCaseBlind(s.tree.DrmPackFolder(slot), "descr.dat"));
  return static_cast<std::size_t>(layout.RawCount) + static_cast<std::size_t>(layout.GifCount);
}

OpenResult Controller::Open(const fs::path& target, const std::optional<fs::path>& source) {
  Session& s = session_;
  Require(menu_.open, "Open", "work is pending; save it or reset it first");
  for (const fs::path& file : {target, source.value_or(target)}) {
    if (LiesIn(file, s.tree.binary1Folder) || LiesIn(file, s.tree.binary2Folder)) {
      throw Error(Error::Kind::Refused,
                  fmt::format("{} lies in the work tree, which Open empties first; copy it elsewhere", file.string()));
    }
  }
  s.targetFileName = target;
  s.sourceFileName = source.value_or(fs::path());
  s.targetExt = UpperExtension(s.targetFileName.string());
  s.stageFlags = source ? kTwoFiles : kOneFile;
  s.sourceExt = UpperExtension(s.sourceFileName.string());
  // What a finished or failed work left in the tree must not mix with the new
  // files: Open starts from the empty tree that a new start would give.
  EmptyWorkTree();

  s.fileSlot = 1;
  s.ui.SetStatusText("Decompiling source file 1");
  const std::optional<std::size_t> targetPictures = Decompile(1, s.targetFileName, s.targetExt);
  if (!targetPictures) {
    s.ui.SetStatusText("No DRM found. Shutting down.");
    s.ui.ShowMessage("No DRM found", "Error", MessageOwner::Desktop);
    return OpenResult::NoDrm;
  }

  std::optional<std::size_t> sourcePictures;
  if (s.stageFlags == kTwoFiles) {
    s.fileSlot = 2;
    s.ui.SetStatusText("Decompiling source file 2");
    // A source that cannot be read costs the source only: the target is unpacked
    // already, and its work goes on alone, as with a source that holds no DRM.
    std::string whyNot;
    try {
      sourcePictures = Decompile(2, s.sourceFileName, s.sourceExt);
    } catch (const Error& e) {
      whyNot = e.what();
      if (whyNot.find(FileName(s.sourceFileName)) == std::string::npos) {
        whyNot = fmt::format("{}: {}", s.sourceFileName.string(), whyNot);
      }
    }
    if (!sourcePictures) {
      s.stageFlags = kOneFile;
      s.ui.SetStatusText("No DRM found. DRM Edit mode");
      s.ui.ShowMessage(whyNot.empty() ? std::string("No 2nd DRM found") : "No 2nd DRM found\n\n" + whyNot, "Warning",
                       MessageOwner::Desktop);
    }
  }
  // Only the target decides what Save As writes.
  if (KindOf(s.targetExt) == FileKind::Skin) s.stageFlags += kSkinTarget;
  if (KindOf(s.targetExt) == FileKind::RawDump) s.stageFlags += kRawDumpTarget;

  // The work is pending from here on, whatever ends the program: the unpacked
  // tree reaches the disk first, then the state file that says it is there.
  SyncFileSystem(s.settings.workFolder);
  WriteStateFile(s.StateFile(), s.stageFlags);
  std::string summary = fmt::format("DRM decompiled: {} from {}", Pictures(*targetPictures), FileName(s.targetFileName));
  if (sourcePictures) summary += fmt::format(" and {} from {}", Pictures(*sourcePictures), FileName(s.sourceFileName));
  s.ui.SetStatusText(fmt::format("{}; edit them in {}", summary, PicturesFolder(s).string()));

  // New work: an earlier save in this run says nothing about it.
  s.drmSaved = false;
  if (s.settings.autoCloseOnStage) {
    s.nothingPending = false;
    s.ui.ShowMessage("DRM decompiled.", "", MessageOwner::Desktop);
    RequestClose();
    return OpenResult::Done;
  }
  SetPending(true);
  return OpenResult::Done;
}

PortSummary Controller::Port() {
  Session& s = session_;
  Require(menu_.port, "Port", "it needs two files opened, a target and a source to port from");
  s.ui.SetStatusText("Porting the source DRM's pictures into the target");
  const drm::PortResult result = PortDrm(s);
  SyncFileSystem(s.settings.workFolder);
  if (result.compatible) {
    // The tree differs from what was saved, if anything was.
    s.drmSaved = false;
    s.ui.SetStatusText(fmt::format("Port complete: {} copied into {}",
                                   Pictures(static_cast<std::size_t>(result.gifCopied + result.rawCopied)),
                                   PicturesFolder(s).string()));
  } else {
    s.ui.SetStatusText("Port failed: incompatible DRMs; nothing was copied");
  }
  return {result.compatible, result.gifCopied, result.rawCopied};
}

BuildResult Controller::Build(const replacement::ReplacementTable& pairings) {
  Session& s = session_;
  Require(menu_.build, "Build", "nothing is pending; open a file first");
  if (pairings.Empty() || !s.ui.Confirm("Are you sure?", "Confirmation", MessageOwner::MainWindow)) {
    s.ui.SetStatusText("Build: no icon was replaced");
    return {BuildResult::Status::Cancelled, {}};
  }
  s.ui.SetStatusText(fmt::format("Replacing {}", Icons(pairings.Count())));
  // All or nothing: a pairing that would store a picture nobody can read is found
  // before the first icon is replaced.
  std::vector<replacement::CheckedReplacement> checked;
  try {
    checked = CheckReplacements(s, pairings);
  } catch (const Error& e) {
    if (e.kind() == Error::Kind::Internal) throw;
    BuildResult refused{BuildResult::Status::Refused, fmt::format("Nothing was replaced. {}", e.what())};
    s.ui.SetStatusText("Build refused: nothing was replaced");
    s.ui.ShowMessage(refused.message, "Error", MessageOwner::MainWindow);
    return refused;
  }
  s.drmSaved = false;
  ApplyReplacements(s, checked);
  s.ui.SetStatusText(fmt::format("Transfer complete: {} replaced", Icons(pairings.Count())));
  s.ui.ShowMessage("Transfer complete", "", MessageOwner::MainWindow);
  s.buildCompleted = true;
  return {BuildResult::Status::Done, {}};
}

SaveResult Controller::Save(const std::optional<fs::path>& output) {
  Session& s = session_;
  Require(menu_.saveAs, "Save As", "nothing is pending; open a flash file first");
  SaveResult result = SaveResult::Cancelled;
  if (output) {
    s.saveFileName = *output;
    s.drmOutputFile = DeriveDrmOutputFile(s.saveFileName);
    std::string storedEmpty;
    const fs::path& written = (s.stageFlags & kRawDumpTarget) ? s.drmOutputFile : s.saveFileName;
    s.ui.SetStatusText(fmt::format("Saving {}", written.string()));
    if (s.stageFlags & kRawDumpTarget) {
      storedEmpty = StoredEmptyWarning(s, CompileDrm(s));
    } else if (s.stageFlags & kSkinTarget) {
      PackSkin(s, s.tree.drmPack1Folder, s.saveFileName);
    } else {
      storedEmpty = StoredEmptyWarning(s, CompileSuperfile(s));
    }
    if (!storedEmpty.empty()) s.ui.ShowMessage(storedEmpty, "Warning", MessageOwner::Desktop);
    // The new file is on the disk: the work it came from is no longer pending.
    DeleteStateFileQuietly();
    s.drmSaved = true;
    s.ui.SetStatusText(fmt::format("Complete: {} saved", written.string()));
    s.ui.ShowMessage("Operation Complete", "", MessageOwner::Desktop);
    // Nothing is pending any more, as a new start would find: with clean-up off
    // the tree stays for the user to look at until the next Open empties it.
    // Open needs the empty folders again after a clean-up.
    if (s.settings.cleanUpOnCompletion) EmptyWorkTree();
    SetPending(false);
    result = SaveResult::Done;
  } else {
    s.drmSaved = false;
    s.ui.SetStatusText("Save As cancelled");
  }
  if (s.settings.autoCloseOnStage) RequestClose();
  return result;
}

void Controller::ApplySettings(const SettingsChoice& choice) {
  Session& s = session_;
  Require(menu_.settings, "Settings", "work is pending; save it or reset it first");
  if (choice.newWorkFolder) LockWorkFolder(*choice.newWorkFolder);  // before anything changes
  s.settings.cleanUpOnCompletion = choice.cleanUpOnCompletion;
  s.settings.askForSourceFile = choice.askForSourceFile;
  s.settings.convertRawToBmp = choice.convertRawToBmp;
  if (choice.newWorkFolder) {
    s.settings.workFolder = *choice.newWorkFolder;
    s.tree = CreateWorkFolders(s.settings.workFolder);
  }
  SaveSettings(s.settings, s.SettingsFile());
}

void Controller::Reset() {
  Session& s = session_;
  // The settings file may name another work folder by now: it is locked before anything changes.
  Settings settings = LoadSettings(s.SettingsFile(), s.programFolder);
  LockWorkFolder(settings.workFolder);
  if (FileExists(s.StateFile())) DeleteFileQuietly(s.StateFile());
  SetPending(false);
  s.settings = std::move(settings);
  s.tree = CreateWorkFolders(s.settings.workFolder);
  EmptyWorkTree();
  s.buildCompleted = false;
}

void Controller::Exit() {
  Session& s = session_;
  if (!s.nothingPending && !s.drmSaved) {
    s.ui.ShowMessage("DRM was not compiled", "Incomplete Operation", MessageOwner::Desktop);
  }
  Shutdown();
}

void Controller::Shutdown() {
  if (shutDown_ || !programLock_) return;  // a run that never started leaves everything as it was
  shutDown_ = true;
  KeepPendingWork();
}

}  // namespace resmill::app
