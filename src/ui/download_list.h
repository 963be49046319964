#pragma once

#include <QTreeWidget>
#include <functional>
#include <unordered_map>
#include <vector>

#include "store/item.h"
#include "view/list_refresh.h"
#include "view/list_rows.h"

namespace pellmarsh {

class DownloadRow;

// The report list of one tab's items. Each row carries its item and is found
// again through a map from item to row. Rows are written only by the refresh,
// which holds the tree lock, and sorting reads the items under that same lock.
class DownloadList final : public QTreeWidget, public ListRows {
 public:
  explicit DownloadList(QWidget* parent = nullptr);
  ~DownloadList() override;

  // Enter, Delete and double-click ask for a command; a finished label edit
  // hands over the item and its new name.
  std::function<void(ItemCommand)> onCommand;
  std::function<void(Item*, const std::string&)> onRenamed;

  bool TouchRow(const Item* item) override;
  bool UpdateRow(const Item* item, const RowContent& content) override;
  void InsertRows(std::vector<NewRow> rows) override;
  void RemoveUntouchedRows() override;
  void SortRows(int sortSetting) override;

  // The header's arrow on a column (none for -1), turned for a reversed order.
  void ShowSortArrow(int column, bool reversed);
  // Opens the focused row's name for editing.
  void EditCurrentName();

  // Drops the item's row before the item goes away.
  void ForgetRow(const Item* item);
  void ClearRows();
  // The items of the selected rows in list order, or the focused row's item.
  std::vector<Item*> SelectedItems() const;
  Item* ItemOfRow(int row) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

 private:
  void OnItemChanged(QTreeWidgetItem* row, int column);

  std::unordered_map<const Item*, DownloadRow*> rows_;
};

}  // namespace pellmarsh
