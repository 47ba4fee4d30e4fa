#pragma once
// The five user settings, their file "resmill.ini", and the state file
// "shxdata.dat" that carries StageFlags from one run to the next.

#include <cstdint>
#include <filesystem>
#include <optional>

namespace resmill::app {

inline constexpr const char* kSettingsFileName = "resmill.ini";
inline constexpr const char* kStateFileName = "shxdata.dat";

struct Settings {
  bool cleanUpOnCompletion = true;
  bool askForSourceFile = true;
  bool convertRawToBmp = true;
  bool autoCloseOnStage = true;
  std::filesystem::path workFolder;
};

/// Reads the settings file; when it cannot be opened it is created with the
/// defaults (WorkFolder := programFolder). A switch line without a number takes
/// its default; a switch is on exactly when its number is 1 (taken as 8 bits).
Settings LoadSettings(const std::filesystem::path& settingsFile, const std::filesystem::path& programFolder);
/// Writes the five lines, CR LF each, through to the disk; failures throw.
void SaveSettings(const Settings& settings, const std::filesystem::path& settingsFile);

/// StageFlags values a state file may carry.
bool IsValidStageFlags(int value);
/// Reads the state file, which stays on disk for as long as work is pending.
/// Nothing when there is none, or when it does not hold one of 1, 2, 5, 6, 9, 10.
std::optional<std::uint8_t> ReadStateFile(const std::filesystem::path& stateFile);
/// Writes StageFlags in decimal without a line end, replacing the file; the
/// file is on the disk when this returns.
void WriteStateFile(const std::filesystem::path& stateFile, std::uint8_t stageFlags);

}  // namespace resmill::app
