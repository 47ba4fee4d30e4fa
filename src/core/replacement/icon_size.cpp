#include "replacement/icon_size.h"

#include <charconv>

namespace resmill::replacement {

std::string IconSizeMessage(std::string_view iconName) { return std::string(iconName) + " is zero-sized"; }

bool CheckIconSize(int& width, int& height, std::string_view iconName, UserInterface& ui) {
  if (width != 0 && height != 0) return false;
  // A closed or cancelled dialog still hands back what it holds; without an answer that is 0 × 0.
  IconSize answer = ui.AskIconSize(iconName, IconSize{0, 0}).value_or(IconSize{0, 0});
  width = answer.width;
  height = answer.height;
  if (width == 0 || height == 0) {
    ui.ShowMessage("Cannot resize to 0", "Icon skipped", MessageOwner::MainWindow);
    return true;
  }
  return false;
}

std::string IconSizeEdit::OnTextChanged(std::string_view text) {
  // Digits only: a sign would let a negative size through, and a size has no use for "+".
  int value = 0;
  bool digitsOnly = !text.empty() && text.size() <= static_cast<std::size_t>(kMaxLength) &&
                    text.find_first_not_of("0123456789") == std::string_view::npos;
  if (digitsOnly) {
    std::from_chars(text.data(), text.data() + text.size(), value);
    value_ = value;
    return std::string(text);
  }
  return Text();
}

}  // namespace resmill::replacement
