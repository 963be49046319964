#include "view/list_columns.h"

#include <algorithm>
#include <charconv>

#include "store/keys.h"
#include "view/list_rows.h"

namespace pellmarsh {
namespace {

// The names in the setting, by ListColumn: numbers would not survive a
// column added in between.
constexpr std::string_view kColumnNames[kListColumnCount] = {
    "name",  "url",      "status",      "size",  "progress",
    "speed", "timeleft", "connections", "added", "finished"};
constexpr int kNewColumnWidths[kListColumnCount] = {0, 0, 0, 65, 65, 75, 60, 80, 110, 110};
constexpr int kWidestColumn = 10000;
// Beside the running figures, a URL of no chosen width is narrower, so that
// the status stays readable in a window of the default width.
constexpr int kUrlWidthBesideFigures = 130;

int ColumnNamed(std::string_view name) {
  const auto* found = std::find(std::begin(kColumnNames), std::end(kColumnNames), name);
  return found == std::end(kColumnNames) ? -1 : static_cast<int>(found - std::begin(kColumnNames));
}

// The cells that say something on each tab: the running figures while
// downloads wait or run, the dates once they are done.
std::vector<int> ShownNewColumns(int tab) {
  switch (tab) {
    case kTabPending:
      return {kColumnSize, kColumnProgress, kColumnSpeed, kColumnTimeLeft, kColumnConnections};
    case kTabCompleted:
    case kTabArchive:
      return {kColumnSize, kColumnFinished};
    default:
      return {kColumnAdded};
  }
}

}  // namespace

ColumnLayout DefaultColumnLayout(int tab, const std::array<int, kListColumns>& oldWidths) {
  const std::vector<int> shown = ShownNewColumns(tab);
  ColumnLayout layout = {{kColumnName, oldWidths[0], true}, {kColumnUrl, oldWidths[1], true}};
  for (int column = kColumnSize; column < kListColumnCount; ++column) {
    const bool isShown = std::find(shown.begin(), shown.end(), column) != shown.end();
    layout.push_back({column, kNewColumnWidths[column], isShown});
  }
  // Last, where it takes the width the others leave.
  layout.push_back({kColumnStatus, oldWidths[2], true});
  return layout;
}

ColumnLayout ParseColumnLayout(std::string_view text, const ColumnLayout& defaults) {
  ColumnLayout layout;
  bool seen[kListColumnCount] = {};
  while (!text.empty()) {
    const size_t end = std::min(text.find(' '), text.size());
    std::string_view word = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const bool hidden = !word.empty() && word.front() == '-';
    if (hidden) {
      word.remove_prefix(1);
    }
    const size_t colon = word.find(':');
    const int column = ColumnNamed(word.substr(0, colon));
    if (colon == std::string_view::npos || column < 0 || seen[column]) {
      continue;
    }
    const std::string_view digits = word.substr(colon + 1);
    int width = 0;
    const auto [rest, error] = std::from_chars(digits.data(), digits.data() + digits.size(), width);
    if (error != std::errc() || rest != digits.data() + digits.size() || width < 1 ||
        width > kWidestColumn) {
      continue;
    }
    seen[column] = true;
    layout.push_back({column, width, !hidden || column == kColumnName});
  }
  // Missing columns go where the default has them, after the column they follow there.
  for (size_t place = 0; place < defaults.size(); ++place) {
    const ColumnState& missing = defaults[place];
    if (seen[missing.column]) {
      continue;
    }
    seen[missing.column] = true;
    auto at = layout.begin();
    if (place > 0) {
      const int before = defaults[place - 1].column;
      at = std::find_if(layout.begin(), layout.end(),
                        [before](const ColumnState& state) { return state.column == before; });
      at = at == layout.end() ? at : at + 1;
    }
    layout.insert(at, missing);
  }
  return layout;
}

std::string ColumnLayoutText(const ColumnLayout& layout) {
  std::string text;
  for (const ColumnState& state : layout) {
    if (state.column < 0 || state.column >= kListColumnCount) {
      continue;
    }
    if (!text.empty()) {
      text += ' ';
    }
    if (!state.shown) {
      text += '-';
    }
    text += kColumnNames[state.column];
    text += ':';
    text += std::to_string(state.width);
  }
  return text;
}

ColumnLayout TabColumnLayout(const Item& root, int tab) {
  std::array<int, kListColumns> oldWidths{};
  for (int column = 0; column < kListColumns; ++column) {
    oldWidths[static_cast<size_t>(column)] = ColumnWidth(root, column);
  }
  if (tab == kTabPending && root.GetPropInt(setting::kColumn2Width) == 0) {
    oldWidths[1] = kUrlWidthBesideFigures;
  }
  return ParseColumnLayout(root.GetProp(setting::TabColumns(tab)),
                           DefaultColumnLayout(tab, oldWidths));
}

void StoreTabColumnLayout(Item& root, int tab, const ColumnLayout& layout) {
  root.SetProp(setting::TabColumns(tab), ColumnLayoutText(layout));
}

}  // namespace pellmarsh
