#pragma once
// Shared test helpers: a fresh temporary folder per test, file helpers, and a
// scripted user interface that records what core said.

#include <cstdint>
#include <ctime>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/user_interface.h"

namespace resmill::test {

/// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file);
std::string ReadText(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);
void WriteText(const std::filesystem::path& file, const std::string& text);
/// Names of the entries of a folder, sorted; empty when it does not exist.
std::vector<std::string> ListFolder(const std::filesystem::path& folder);
/// Runs a shell command, returns its exit status; its output goes to `output` when given.
int RunCommand(const std::string& command, std::string* output = nullptr);
/// True when an external tool is on PATH (ImageMagick's convert, srec_cat…).
bool HaveTool(const std::string& name);
/// The folder of the checked-in test data.
std::filesystem::path TestDataDir();
/// The build folder (where resmill-cli and the examples are).
std::filesystem::path BinaryDir();

/// Sunday 5 March 2006, 14:30:09: the fixed local time of every test that writes a header date.
std::tm FixedTestTime();

struct CliResult {
  int status = 0;
  std::string out;
  std::string err;
};
/// One resmill-cli invocation in-process with `folder` as the program folder and a fixed
/// clock (Sunday 5 March 2006, 14:30:09).
CliResult RunCliIn(const std::filesystem::path& folder, const std::vector<std::string>& args);

struct RecordedMessage {
  std::string text;
  std::string caption;
  MessageOwner owner;
};

/// A user interface answered from queues; it records messages, status texts and progress.
class ScriptedUi final : public UserInterface, public Progress {
 public:
  std::deque<bool> confirmAnswers;  // empty: OK
  std::optional<IconSize> iconSizeAnswer;

  std::vector<RecordedMessage> messages;
  std::vector<std::string> statusTexts;
  std::vector<std::string> progressCaptions;
  std::vector<int> progressPositions;
  int confirmations = 0;
  bool progressVisible = false;

  void ShowMessage(std::string_view text, std::string_view caption, MessageOwner owner) override;
  bool Confirm(std::string_view text, std::string_view caption, MessageOwner owner) override;
  std::optional<IconSize> AskIconSize(std::string_view iconName, IconSize proposed) override;
  void SetStatusText(std::string_view text) override { statusTexts.emplace_back(text); }
  Progress& ProgressWindow() override { return *this; }

  void Show() override { progressVisible = true; }
  void SetCaption(std::string_view caption) override { progressCaptions.emplace_back(caption); }
  void SetPosition(int percent) override { progressPositions.push_back(percent); }
  void Close() override { progressVisible = false; }
};

/// Runs `save`, whose read-back is to find the written file damaged: it must fail
/// as a fault of ours (Internal, "please report it") that names `file` and says
/// `message`. `saved` is the failure to report when the save went through.
void ExpectReadBackRefusal(const std::function<void()>& save, std::string_view message, std::string_view file,
                           std::string_view saved);

}  // namespace resmill::test
