#include "console_ui.h"

#include <algorithm>
#include <array>
#include <string>

namespace resmill::cli {

namespace {
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

std::optional<IconSize> ConsoleUi::AskIconSize(std::string_view, IconSize) { return iconSizeAnswer; }

void ConsoleUi::SetStatusText(std::string_view text) { status_ = text; }

}  // namespace resmill::cli
