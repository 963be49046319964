#include "app/window_settings.h"
#include "store/keys.h"

#include <string>

namespace pellmarsh {
namespace {

constexpr std::array<int, kListColumns> kDefaultColumnWidths = {100, 300, 300};

constexpr std::array<PropKey, kListColumns> kColumnWidthKeys = {
    setting::kColumn1Width, setting::kColumn2Width, setting::kColumn3Width};

}  // namespace

int ColumnWidth(const Item& root, int column) {
  const int stored = root.GetPropInt(kColumnWidthKeys[static_cast<size_t>(column)]);
  return stored == 0 ? kDefaultColumnWidths[static_cast<size_t>(column)] : stored;
}

void StoreColumnWidths(Item& root, const std::array<int, kListColumns>& widths) {
  for (int column = 0; column < kListColumns; ++column) {
    const auto index = static_cast<size_t>(column);
    root.SetPropInt(kColumnWidthKeys[index], widths[index]);
  }
}

std::optional<WindowRect> SavedWindowRect(const Item& root, int screenWidth, int screenHeight) {
  if (root.GetPropInt(setting::kWindowLeft) == 0) {
    return std::nullopt;
  }
  const WindowRect rect{root.GetPropInt(setting::kWindowLeft), root.GetPropInt(setting::kWindowTop),
                        root.GetPropInt(setting::kWindowRight),
                        root.GetPropInt(setting::kWindowBottom)};
  if (rect.top < 0 || rect.left < 0 || rect.right > screenWidth || rect.bottom > screenHeight) {
    return std::nullopt;
  }
  return rect;
}

void StoreWindowRect(Item& root, const WindowRect& rect) {
  root.SetPropInt(setting::kWindowLeft, rect.left);
  root.SetPropInt(setting::kWindowTop, rect.top);
  root.SetPropInt(setting::kWindowRight, rect.right);
  root.SetPropInt(setting::kWindowBottom, rect.bottom);
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
