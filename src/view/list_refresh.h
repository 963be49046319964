#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "store/item.h"

namespace pellmarsh {

// One row's texts and image, its status bar's percent and its progress
// cell's (-1: none).
struct RowContent {
  std::string name;
  std::string url;
  std::string status;
  int image = 0;
  int progress = -1;
  std::string size;
  int percent = -1;
  std::string percentText;
  std::string speed;
  std::string timeLeft;
  std::string connections;
  std::string added;
  std::string finished;
};
// The text of one column (ListColumn) of the row.
const std::string& CellText(const RowContent& content, int column);

// A new row: its item, where the item stands in its folder, what it shows.
struct NewRow {
  Item* item = nullptr;
  int folderIndex = 0;
  RowContent content;
};

// The rows of the download list as the refresh sees them. Rows are found by
// their item, never by text or position. Called with the tree lock held.
class ListRows {
 public:
  virtual ~ListRows() = default;
  // Finds the item's row and marks it as still shown; false when there is none.
  virtual bool TouchRow(const Item* item) = 0;
  // False when the item has no row.
  virtual bool UpdateRow(const Item* item, const RowContent& content) = 0;
  // In folder order.
  virtual void InsertRows(std::vector<NewRow> rows) = 0;
  // Deletes every row not touched since the last call.
  virtual void RemoveUntouchedRows() = 0;
  // By a tab's sort setting: a mode, perhaps reversed.
  virtual void SortRows(int sortSetting) = 0;

  // What the refresh last walked: while nothing under that folder changes,
  // every row stands and the next refresh visits nothing; while only items
  // that change on their own changed, it visits only those. Whoever changes
  // rows outside the refresh forgets it.
  struct Walk {
    const Item* folder = nullptr;
    int tab = -1;
    uint64_t childChanges = 0;
    uint64_t quietChildChanges = 0;
  };
  Walk lastWalk;
};

struct RefreshFlags {
  std::atomic<bool>& listDirty;
  std::atomic<bool>& sortPending;
};

struct RefreshOutcome {
  bool typeListMissing = false;
  int shownCount = 0;  // children of the tab's folder, shown or not
};

inline constexpr const char* kTypeListDied =
    "The internal type folder has died.  shutdown and restart tumble.";

// Brings the rows of a tab up to date: inserts missing rows, rewrites the rows
// of changed items, deletes rows whose item left, and sorts when a row came in
// or the order changed. Caller holds the tree lock.
RefreshOutcome RefreshRows(Item& root, int tab, ListRows& rows, RefreshFlags flags, int64_t now);

}  // namespace pellmarsh
