#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "app/window_settings.h"
#include "store/item.h"

// How a tab of the download list lays out its columns: their order, widths
// and which are shown, kept per tab in a text setting.

namespace pellmarsh {

struct ColumnState {
  int column = 0;  // a ListColumn
  int width = 0;   // pixels; kept while the column is hidden
  bool shown = true;
};
// Every column once, in the order shown.
using ColumnLayout = std::vector<ColumnState>;

// What a tab shows before it was ever laid out: the file name, URL and status
// at their old widths (`oldWidths`, from the settings of before), with the
// cells that tab's items fill between them.
ColumnLayout DefaultColumnLayout(int tab, const std::array<int, kListColumns>& oldWidths);
// "name:100 url:300 size:70 -added:120 status:300": '-' marks a hidden
// column. Unknown or repeated names and bad widths are passed over; a column
// the text misses keeps its default place, and the file name is always shown.
ColumnLayout ParseColumnLayout(std::string_view text, const ColumnLayout& defaults);
std::string ColumnLayoutText(const ColumnLayout& layout);

// The tab's layout from the settings, and back.
ColumnLayout TabColumnLayout(const Item& root, int tab);
void StoreTabColumnLayout(Item& root, int tab, const ColumnLayout& layout);

}  // namespace pellmarsh
