#pragma once
// The program-wide values of one run of ResMill, held in one object that the
// controller owns and passes by reference to every operation.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

#include "app/settings.h"
#include "app/work_tree.h"
#include "image/picture_convert.h"
#include "platform/user_interface.h"

namespace resmill::app {

/// StageFlags bits.
inline constexpr std::uint8_t kOneFile = 1;
inline constexpr std::uint8_t kTwoFiles = 2;
inline constexpr std::uint8_t kRawDumpTarget = 4;
inline constexpr std::uint8_t kSkinTarget = 8;

/// The local date and time; injectable so that tests can fix the header date.
using Clock = std::function<std::tm()>;
std::tm LocalTimeNow();

struct Session {
  Session(UserInterface& userInterface, std::filesystem::path folder, Clock clockFunction)
      : ui(userInterface), programFolder(std::move(folder)), clock(std::move(clockFunction)) {}

  UserInterface& ui;
  std::filesystem::path programFolder;
  Clock clock;

  Settings settings;
  WorkTree tree;
  std::uint8_t stageFlags = 0;
  std::filesystem::path drmOutputFile;

  // Run values of the main window.
  std::filesystem::path targetFileName;
  std::filesystem::path sourceFileName;
  std::string targetExt;
  std::string sourceExt;
  std::uint8_t fileSlot = 0;
  std::filesystem::path saveFileName;
  bool nothingPending = true;
  bool drmSaved = false;

  bool convertSkinPictures = false;
  bool buildCompleted = false;

  /// The flash file of a slot: the target (1) or the source (2).
  const std::filesystem::path& FlashFile(int slot) const { return slot == 2 ? sourceFileName : targetFileName; }
  std::filesystem::path SettingsFile() const { return programFolder / kSettingsFileName; }
  std::filesystem::path StateFile() const { return programFolder / kStateFileName; }
  bool OneFileWork() const { return (stageFlags & 3) == 1; }
};

}  // namespace resmill::app
