#include "app/window_settings.h"
#include "store/keys.h"

#include <gtest/gtest.h>

namespace pellmarsh {
namespace {

TEST(ColumnWidth, AbsentOrZeroWidthsGiveTheDefaults) {
  Item root;
  EXPECT_EQ(ColumnWidth(root, 0), 100);
  EXPECT_EQ(ColumnWidth(root, 1), 300);
  EXPECT_EQ(ColumnWidth(root, 2), 300);
  StoreColumnWidths(root, {0, 0, 0});
  EXPECT_EQ(ColumnWidth(root, 0), 100);
  EXPECT_EQ(ColumnWidth(root, 2), 300);
  StoreColumnWidths(root, {120, 250, 75});
  EXPECT_EQ(root.GetProp(setting::kColumn1Width), "120");
  EXPECT_EQ(ColumnWidth(root, 1), 250);
  EXPECT_EQ(ColumnWidth(root, 2), 75);
}

struct RectCase {
  const char* what;
  WindowRect stored;
  bool restored;
};

TEST(SavedWindowRect, OnlyARectangleOnTheScreenIsRestored) {
  const RectCase cases[] = {
      {"a rectangle on the screen", {10, 20, 800, 600}, true},
      {"one touching the screen's far edges", {1, 0, 1920, 1080}, true},
      {"a left edge of 0 counts as none stored", {0, 20, 800, 600}, false},
      {"a negative left corner", {-5, 20, 800, 600}, false},
      {"a negative top corner", {10, -1, 800, 600}, false},
      {"a right edge beyond the screen", {10, 20, 1921, 600}, false},
      {"a bottom edge beyond the screen", {10, 20, 800, 1081}, false},
  };
  for (const auto& row : cases) {
    Item root;
    StoreWindowRect(root, row.stored);
    const std::optional<WindowRect> rect = SavedWindowRect(root, 1920, 1080);
    ASSERT_EQ(rect.has_value(), row.restored) << row.what;
    if (rect) {
      EXPECT_EQ(rect->right, row.stored.right) << row.what;
      EXPECT_EQ(rect->bottom, row.stored.bottom) << row.what;
    }
  }
  EXPECT_FALSE(SavedWindowRect(Item(), 1920, 1080));
}

TEST(ExitQuestion, AsksOnlyWithDownloadsRunningAndCountsThemInWords) {
  EXPECT_FALSE(ExitQuestion(0, false));
  EXPECT_FALSE(ExitQuestion(3, true));
  const std::optional<UserMessage> one = ExitQuestion(1, false);
  ASSERT_TRUE(one);
  EXPECT_EQ(one->text,
            "You have 1 file actively downloading.  Are you sure you want to exit Pellmarsh?");
  EXPECT_EQ(one->caption, "Exit Pellmarsh?");
  EXPECT_EQ(one->buttons, MessageButtons::kYesNo);
  EXPECT_EQ(one->icon, MessageIcon::kExclamation);
  EXPECT_EQ(ExitQuestion(2, false)->text,
            "You have 2 files actively downloading.  Are you sure you want to exit Pellmarsh?");
}

}  // namespace
}  // namespace pellmarsh
