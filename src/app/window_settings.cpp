#include "app/window_settings.h"

#include <string>

namespace pellmarsh {
namespace {

constexpr std::array<int, kListColumns> kDefaultColumnWidths = {100, 300, 300};

std::string ColumnWidthKey(int column) {
  return "parm-c" + std::to_string(column + 1) + "w";
}

}  // namespace

int ColumnWidth(const Item& root, int column) {
  const int stored = root.GetPropInt(ColumnWidthKey(column));
  return stored == 0 ? kDefaultColumnWidths[static_cast<size_t>(column)] : stored;
}

void StoreColumnWidths(Item& root, const std::array<int, kListColumns>& widths) {
  for (int column = 0; column < kListColumns; ++column) {
    root.SetPropInt(ColumnWidthKey(column), widths[static_cast<size_t>(column)]);
  }
}

std::optional<WindowRect> SavedWindowRect(const Item& root, int screenWidth, int screenHeight) {
  if (root.GetPropInt("parm-windowleft") == 0) {
    return std::nullopt;
  }
  const WindowRect rect{root.GetPropInt("parm-windowleft"), root.GetPropInt("parm-windowtop"),
                        root.GetPropInt("parm-windowright"), root.GetPropInt("parm-windowbottom")};
  if (rect.top < 0 || rect.left < 0 || rect.right > screenWidth || rect.bottom > screenHeight) {
    return std::nullopt;
  }
  return rect;
}

void StoreWindowRect(Item& root, const WindowRect& rect) {
  root.SetPropInt("parm-windowleft", rect.left);
  root.SetPropInt("parm-windowtop", rect.top);
  root.SetPropInt("parm-windowright", rect.right);
  root.SetPropInt("parm-windowbottom", rect.bottom);
}

std::optional<UserMessage> ExitQuestion(int activeCount, bool noExitPrompt) {
  if (activeCount <= 0 || noExitPrompt) {
    return std::nullopt;
  }
  return UserMessage{"You have " + std::to_string(activeCount) + " file" +
                         (activeCount == 1 ? "" : "s") +
                         " actively downloading.  Are you sure you want to exit Pellmarsh?",
                     "Exit Pellmarsh?", MessageButtons::kYesNo, MessageIcon::kExclamation};
}

}  // namespace pellmarsh
