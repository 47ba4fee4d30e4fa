#pragma once
// The staged workflow of the main window without a window: start, Open,
// Port, Build, Save As, Settings, Reset, Exit and the menu-item states. The Qt
// window, resmill-cli and the tests drive this same object: the window asks its
// dialogs first and hands their answers in, the command line its arguments.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/session.h"
#include "replacement/replacement.h"
#include "platform/folder_lock.h"

namespace resmill::app {

/// Enabled state of the menu items that change; Exit, Reset and About are always on.
struct MenuState {
  bool open = true;
  bool port = false;
  bool build = false;
  bool saveAs = false;
  bool settings = true;
  bool operator==(const MenuState&) const = default;
};

/// A file dialog that a command asks before it runs.
struct FileQuestion {
  std::string_view title;
  std::string_view filter;  ///< "Name|*.a;*.b|Name|*.c"
};
inline constexpr std::string_view kOpenFilter =
    "SHX files|*.shx|SBF files|*.sbf|BIN (SMG)  files|*.bin;*.smg|EZX files|*.ezx";
inline constexpr FileQuestion kOpenTargetQuestion{"Open SBF/SHX/EZX/BIN file to edit or import DRM to", kOpenFilter};
/// Asked after the target when AskForSourceFile is on; a cancel means one-file work.
inline constexpr FileQuestion kOpenSourceQuestion{"Open SBF/SHX/EZX/BIN file to export DRM from (Cancel to skip)",
                                                  kOpenFilter};
/// Save As offers the pending target's kind; the default extension is ".shx" with every filter.
FileQuestion SaveQuestion(const Session& session);
inline constexpr std::string_view kSaveDefaultExtension = ".shx";

/// What Port carried over.
struct PortSummary {
  bool compatible = true;
  int gifCopied = 0;
  int rawCopied = 0;
};

enum class OpenResult { NoDrm, Done };
/// The message that ends a successful Open with auto-close on.
inline constexpr std::string_view kDrmDecompiledMessage = "DRM decompiled.";
enum class SaveResult { Cancelled, Done };

/// How a Build ended.
struct BuildResult {
  enum class Status {
    Cancelled,  ///< setup cancelled, no pairings, or the question answered Cancel: nothing run
    Refused,    ///< a pairing failed its check: nothing replaced, `message` says which and why
    Done,       ///< every pairing ran ("Transfer complete")
  };
  Status status = Status::Cancelled;
  std::string message;
};

/// What the Settings dialog hands back after OK.
struct SettingsChoice {
  bool cleanUpOnCompletion = true;
  bool askForSourceFile = true;
  bool convertRawToBmp = true;
  /// The folder chosen with "Select folder to save icons and CG's " when that box is ticked.
  std::optional<std::filesystem::path> newWorkFolder;
};

/// The folder that holds the pictures to edit: a skin's pictures under their
/// own names, a DRM's icons and the PNG copies of its RAW pictures.
std::filesystem::path PicturesFolder(const Session& session);

class Controller {
 public:
  Controller(UserInterface& ui, std::filesystem::path programFolder, Clock clock = LocalTimeNow);

  /// The program's start: the program folder's lock, state file, settings,
  /// work tree (and its folder's lock), menu states. Throws Error::Kind::Refused
  /// when another run works in the program folder or the work folder.
  void InitApp();
  /// Open and the work commands throw Error::Kind::Refused while their menu item is off.
  /// Open unpacks `target` (and `source`, the chosen source file) into an emptied work tree.
  OpenResult Open(const std::filesystem::path& target, const std::optional<std::filesystem::path>& source = {});
  /// Open's first dialog was cancelled.
  void OpenCancelled();
  /// Port; what it copied, or that the two DRMs are incompatible (nothing copied).
  PortSummary Port();
  /// The Build command with the pairings Build Setup made (none after its Cancel).
  /// The user is asked "Are you sure?" first. Every pairing is checked before any
  /// runs; when one fails, none runs and the message (caption "Error") names the
  /// file and why.
  BuildResult Build(const replacement::ReplacementTable& pairings);
  /// Save As into `output`; nothing when its dialog was cancelled.
  SaveResult Save(const std::optional<std::filesystem::path>& output);
  /// The Settings command after the dialog closed with OK. The dialog's click
  /// reactions (auto-close, conversion) change session().settings directly.
  /// Refused while work is pending, before anything is saved.
  void ApplySettings(const SettingsChoice& choice);
  void Reset();
  /// The Exit menu command.
  void Exit();
  /// The program ends by any road (Exit, the title-bar button, auto-close, the
  /// end of a command-line run). The state file already holds pending work from
  /// the stage that left it; this only puts it back when it went missing.
  void Shutdown();

  const MenuState& Menu() const noexcept { return menu_; }
  /// AutoCloseOnStage asked the program to end after Open or Save As.
  bool CloseRequested() const noexcept { return closeRequested_; }
  Session& session() noexcept { return session_; }
  const Session& session() const noexcept { return session_; }

 private:
  /// The pictures unpacked into the slot's tree; nothing when the file holds no DRM.
  std::optional<std::size_t> Decompile(int slot, const std::filesystem::path& file, const std::string& ext);
  /// Throws Error::Kind::Refused naming the command when its menu item is off.
  static void Require(bool enabled, std::string_view command, std::string_view why);
  /// The menu of pending work, or of nothing pending.
  void SetPending(bool pending);
  /// The work tree, empty: what a start with nothing pending begins with.
  void EmptyWorkTree();
  void DeleteStateFileQuietly();
  void KeepPendingWork();
  /// Locks `folder` as the work folder unless the program folder's lock covers it.
  void LockWorkFolder(const std::filesystem::path& folder);
  void RequestClose();

  Session session_;
  MenuState menu_;
  std::optional<FolderLock> programLock_;
  std::optional<FolderLock> workLock_;
  bool closeRequested_ = false;
  bool shutDown_ = false;
};

}  // namespace resmill::app
