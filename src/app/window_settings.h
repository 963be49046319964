#pragma once

#include <array>
#include <optional>

#include "platform/user_messages.h"
#include "store/item.h"

namespace pellmarsh {

inline constexpr int kListColumns = 3;

// Width of a list column from "parm-c1w".."parm-c3w"; absent or 0 gives the default.
int ColumnWidth(const Item& root, int column);
void StoreColumnWidths(Item& root, const std::array<int, kListColumns>& widths);

// A window rectangle with exclusive right and bottom edges, in screen pixels.
struct WindowRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// The rectangle stored at the last exit, when there is one and it lies on a
// screen of the given size; otherwise the window keeps its first position.
std::optional<WindowRect> SavedWindowRect(const Item& root, int screenWidth, int screenHeight);
void StoreWindowRect(Item& root, const WindowRect& rect);

// The question asked before closing with downloads running; nothing when the
// window may close without asking.
std::optional<UserMessage> ExitQuestion(int activeCount, bool noExitPrompt);

}  // namespace pellmarsh
