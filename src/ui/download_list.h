#pragma once

#include <QTreeView>
#include <array>
#include <functional>
#include <vector>

#include "store/item.h"
#include "ui/download_list_model.h"
#include "view/list_columns.h"
#include "view/list_rows.h"

namespace pellmarsh {

// The report list of one tab's items, over the rows of a DownloadListModel.
// The header's popup menu shows and hides columns; each tab lays them out
// its own way.
class DownloadList final : public QTreeView {
 public:
  explicit DownloadList(QWidget* parent = nullptr);
  ~DownloadList() override;

  // Enter, Delete and double-click ask for a command; a finished label edit
  // hands over the item and its new name.
  std::function<void(ItemCommand)> onCommand;
  std::function<void(Item*, const std::string&)> onRenamed;
  // A column shown or hidden from the header's menu.
  std::function<void()> onColumnsChanged;

  // What the refresh writes to.
  DownloadListModel& rows() { return *rows_; }

  // The header's arrow on a column (none for -1), turned for a reversed order.
  void ShowSortArrow(int column, bool reversed);
  // Opens the focused row's name for editing.
  void EditCurrentName();

  // The columns as they stand, and as a tab left them.
  ColumnLayout Layout() const;
  void ApplyLayout(const ColumnLayout& layout);
  void SetColumnShown(int column, bool shown);

  // Drops the item's row before the item goes away.
  void ForgetRow(const Item* item) { rows_->ForgetRow(item); }
  void ClearRows() { rows_->ClearRows(); }
  // The items of the selected rows in list order, or the focused row's item.
  std::vector<Item*> SelectedItems() const;
  Item* ItemOfRow(int row) const { return rows_->ItemOfRow(row); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

 private:
  void ShowColumnMenu(const QPoint& position);
  void StretchLastColumn();

  DownloadListModel* rows_;
  // The width a hidden column comes back with: the header forgets it.
  std::array<int, kListColumnCount> hiddenWidths_{};
};

}  // namespace pellmarsh
