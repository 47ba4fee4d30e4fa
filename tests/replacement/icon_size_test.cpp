// The icon-size question and its edits.

#include "replacement/icon_size.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace resmill::replacement {
namespace {

TEST(IconSizeEditTest, TakesDigitsPutsBackTheRest) {
  struct Step {
    const char* typed;
    const char* shown;
    int value;
  };
  const Step steps[] = {
      {"3", "3", 3},   {"32", "32", 32}, {"1a", "32", 32}, {"-5", "32", 32}, {"", "32", 32},
      {"+7", "32", 32}, {"007", "007", 7}, {"1234", "7", 7}, {" 5", "7", 7},   {"0", "0", 0},
  };
  IconSizeEdit edit;
  EXPECT_EQ(edit.Text(), "0");
  for (const Step& s : steps) {
    EXPECT_EQ(edit.OnTextChanged(s.typed), s.shown) << '"' << s.typed << '"';
    EXPECT_EQ(edit.Value(), s.value) << '"' << s.typed << '"';
  }
  edit.OnTextChanged("9");
  edit.Reset();
  EXPECT_EQ(edit.Value(), 0);
}

TEST(CheckIconSizeTest, AsksOnlyForZeroSizes) {
  struct Case {
    int w, h;
    std::optional<IconSize> answer;
    bool skip;
    int outW, outH;
  };
  const Case cases[] = {
      {16, 16, IconSize{1, 1}, false, 16, 16},
      {0, 0, IconSize{32, 24}, false, 32, 24},
      {0, 16, IconSize{32, 0}, true, 32, 0},
      {16, 0, std::nullopt, true, 0, 0},  // a cancelled question counts as 0 x 0
  };
  for (const Case& c : cases) {
    test::ScriptedUi ui;
    ui.iconSizeAnswer = c.answer;
    int w = c.w, h = c.h;
    EXPECT_EQ(CheckIconSize(w, h, "icon_5.gif", ui), c.skip);
    EXPECT_EQ(w, c.outW);
    EXPECT_EQ(h, c.outH);
    if (c.skip) {
      ASSERT_EQ(ui.messages.size(), 1u);
      EXPECT_EQ(ui.messages[0].text, "Cannot resize to 0");
      EXPECT_EQ(ui.messages[0].caption, "Icon skipped");
      EXPECT_EQ(ui.messages[0].owner, MessageOwner::MainWindow);
    } else {
      EXPECT_TRUE(ui.messages.empty());
    }
  }
  EXPECT_EQ(IconSizeMessage("icon_5.gif"), "icon_5.gif is zero-sized");
}

}  // namespace
}  // namespace resmill::replacement
