#include "console_ui.h"

#include <algorithm>
#include <array>
#include <string>

namespace resmill::cli {

namespace {
template <typename Queue>
auto TakeAnswer(Queue& answers) -> typename Queue::value_type {
  if (answers.empty()) return std::nullopt;
  auto answer = answers.front();
  answers.pop_front();
  return answer;
}

bool IsProblemCaption(std::string_view caption) {
  constexpr std::array<std::string_view, 5> kProblems = {"Error", "Warning", "Incomplete Operation", "Not Found",
                                                         "Icon skipped"};
  return std::find(kProblems.begin(), kProblems.end(), caption) != kProblems.end();
}
}  // namespace

void ConsoleProgress::Show() {
  visible_ = true;
  percent_ = 0;
  caption_.clear();
}
void ConsoleProgress::SetCaption(std::string_view caption) {
  caption_ = caption;
  Draw();
}
void ConsoleProgress::SetPosition(int percent) {
  percent_ = std::clamp(percent, 0, 100);
  Draw();
}
void ConsoleProgress::Close() {
  if (visible_ && enabled_) err_ << "\r\033[K" << std::flush;
  visible_ = false;
}
void ConsoleProgress::Draw() {
  if (!visible_ || !enabled_) return;
  constexpr int kWidth = 30;
  int filled = percent_ * kWidth / 100;
  err_ << "\r\033[K[" << std::string(static_cast<std::size_t>(filled), '#')
       << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] " << percent_ << "% " << caption_
       << std::flush;
}

void ConsoleUi::ShowMessage(std::string_view text, std::string_view caption, MessageOwner) {
  std::ostream& stream = IsProblemCaption(caption) ? err_ : out_;
  if (caption.empty()) {
    stream << text << '\n';
  } else {
    stream << caption << ": " << text << '\n';
  }
}

bool ConsoleUi::Confirm(std::string_view, std::string_view, MessageOwner) { return true; }

std::optional<std::filesystem::path> ConsoleUi::ChooseOpenFile(std::string_view, std::string_view) {
  return TakeAnswer(openAnswers);
}
std::optional<std::filesystem::path> ConsoleUi::ChooseSaveFile(std::string_view, std::string_view, std::string_view) {
  return TakeAnswer(saveAnswers);
}
std::optional<std::filesystem::path> ConsoleUi::ChooseFolder(std::string_view, const std::filesystem::path&) {
  return TakeAnswer(folderAnswers);
}
std::optional<IconSize> ConsoleUi::AskIconSize(std::string_view, IconSize) { return iconSizeAnswer; }

void ConsoleUi::SetStatusText(std::string_view text) { status_ = text; }

}  // namespace resmill::cli
