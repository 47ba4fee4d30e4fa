#pragma once
// The icon-size question asked when a GIF icon could not be measured, and the
// rules of its two edits, without a window.

#include <string>
#include <string_view>

#include "platform/user_interface.h"

namespace resmill::replacement {

/// Caption of the icon-size dialog.
inline constexpr std::string_view kIconSizeCaption = "Set desired icon size";
/// The bold message of the dialog: the icon's file name followed by " is zero-sized".
std::string IconSizeMessage(std::string_view iconName);

/// When `width` or `height` is 0, asks UserInterface::AskIconSize(iconName, {0, 0}) and
/// takes its answer (a cancelled dialog counts as 0 × 0). True when the icon is to be
/// skipped: a size is still 0 (message "Cannot resize to 0", caption "Icon skipped",
/// owned by the main window).
bool CheckIconSize(int& width, int& height, std::string_view iconName, UserInterface& ui);

/// One edit of the icon-size dialog (width or height). It holds at most 3 characters;
/// a text that is a whole non-negative integer is taken, any other text (letters,
/// a sign, empty) is put back to the last value taken.
class IconSizeEdit {
 public:
  static constexpr int kMaxLength = 3;

  /// On showing: the value 0, the text "0".
  void Reset() { value_ = 0; }
  /// The user changed the text to `text`. Returns the text the edit must show:
  /// `text` itself when it was taken, else the last value in decimal.
  std::string OnTextChanged(std::string_view text);
  int Value() const { return value_; }
  std::string Text() const { return std::to_string(value_); }

 private:
  int value_ = 0;
};

}  // namespace resmill::replacement
