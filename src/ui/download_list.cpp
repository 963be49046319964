#include "ui/download_list.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <algorithm>

#include "ui/row_images.h"
#include "ui/status_cell_delegate.h"

namespace pellmarsh {

class DownloadRow final : public QTreeWidgetItem {
 public:
  explicit DownloadRow(Item* item) : item_(item) { setFlags(flags() | Qt::ItemIsEditable); }

  Item* item() const { return item_; }
  bool touched = true;
  SortKey sortKey;

  void Show(const RowContent& content) {
    setText(0, QString::fromStdString(content.name));
    setText(1, QString::fromStdString(content.url));
    setText(2, QString::fromStdString(content.status));
    setIcon(0, RowIcon(content.image));
    // Most rows never run: they carry no percent at all.
    if (content.progress >= 0 || data(2, StatusCellDelegate::kProgressRole).isValid()) {
      setData(2, StatusCellDelegate::kProgressRole, content.progress);
    }
  }

  // Compares the keys SortRows read for this sort.
  bool operator<(const QTreeWidgetItem& other) const override {
    return CompareSortKeys(sortKey, static_cast<const DownloadRow&>(other).sortKey) < 0;
  }

 private:
  Item* item_;
};

DownloadList::DownloadList(QWidget* parent) : QTreeWidget(parent) {
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  setContextMenuPolicy(Qt::CustomContextMenu);
  setIconSize(QSize(16, 16));
  // The status, the longest text, takes what the window has to spare.
  header()->setStretchLastSection(true);
  header()->setSectionsClickable(true);
  setItemDelegateForColumn(2, new StatusCellDelegate(this));
  connect(this, &QTreeWidget::itemChanged, this, &DownloadList::OnItemChanged);
}

DownloadList::~DownloadList() = default;

bool DownloadList::TouchRow(const Item* item) {
  const auto found = rows_.find(item);
  if (found == rows_.end()) {
    return false;
  }
  found->second->touched = true;
  return true;
}

bool DownloadList::UpdateRow(const Item* item, const RowContent& content) {
  const auto found = rows_.find(item);
  if (found == rows_.end()) {
    return false;
  }
  const QSignalBlocker quiet(this);
  found->second->Show(content);
  return true;
}

void DownloadList::InsertRows(std::vector<NewRow> rows) {
  QList<QTreeWidgetItem*> added;
  added.reserve(static_cast<qsizetype>(rows.size()));
  for (NewRow& row : rows) {
    auto* shown = new DownloadRow(row.item);
    shown->Show(row.content);
    rows_[row.item] = shown;
    added.append(shown);
  }
  const QSignalBlocker quiet(this);
  addTopLevelItems(added);
}

void DownloadList::RemoveUntouchedRows() {
  for (int index = topLevelItemCount() - 1; index >= 0; --index) {
    auto* row = static_cast<DownloadRow*>(topLevelItem(index));
    if (row->touched) {
      row->touched = false;
      continue;
    }
    rows_.erase(row->item());
    delete takeTopLevelItem(index);
  }
}

void DownloadList::SortRows(int sortSetting) {
  const int mode = SortModeOf(sortSetting);
  for (int index = 0; index < topLevelItemCount(); ++index) {
    auto* row = static_cast<DownloadRow*>(topLevelItem(index));
    row->sortKey = SortKeyOf(*row->item(), mode);
  }
  // Through the model: sortItems would move the header's arrow to column 0.
  model()->sort(0, SortIsReversed(sortSetting) ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void DownloadList::ShowSortArrow(int column, bool reversed) {
  header()->setSortIndicatorShown(column >= 0);
  header()->setSortIndicator(column, reversed ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void DownloadList::EditCurrentName() {
  if (QTreeWidgetItem* row = currentItem()) {
    setFocus(Qt::ShortcutFocusReason);
    editItem(row, 0);
  }
}

void DownloadList::ForgetRow(const Item* item) {
  lastWalk = {};
  if (const auto found = rows_.find(item); found != rows_.end()) {
    DownloadRow* row = found->second;
    rows_.erase(found);
    const QSignalBlocker quiet(this);
    delete row;
  }
}

void DownloadList::ClearRows() {
  lastWalk = {};
  rows_.clear();
  clear();
}

Item* DownloadList::ItemOfRow(int row) const {
  auto* shown = static_cast<DownloadRow*>(topLevelItem(row));
  return shown ? shown->item() : nullptr;
}

std::vector<Item*> DownloadList::SelectedItems() const {
  QModelIndexList selected = selectionModel()->selectedRows();
  std::sort(selected.begin(), selected.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<Item*> items;
  items.reserve(static_cast<size_t>(selected.size()));
  for (const QModelIndex& index : selected) {
    items.push_back(ItemOfRow(index.row()));
  }
  if (items.empty()) {
    if (auto* focused = static_cast<DownloadRow*>(currentItem())) {
      items.push_back(focused->item());
    }
  }
  return items;
}

void DownloadList::keyPressEvent(QKeyEvent* event) {
  if (state() != QAbstractItemView::EditingState && onCommand) {
    switch (event->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        onCommand(kCommandEditProperties);
        return;
      case Qt::Key_Delete:
        onCommand(kCommandArchiveOrDelete);
        return;
      default:
        break;
    }
  }
  QTreeWidget::keyPressEvent(event);
}

// Only the name is a label the user may edit, whichever column was clicked.
bool DownloadList::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  return QTreeWidget::edit(index.siblingAtColumn(0), trigger, event);
}

void DownloadList::OnItemChanged(QTreeWidgetItem* row, int column) {
  // Only a label edit by the user reaches here: the refresh writes quietly.
  if (column != 0 || !onRenamed) {
    return;
  }
  auto* shown = static_cast<DownloadRow*>(row);
  onRenamed(shown->item(), row->text(0).toStdString());
}

}  // namespace pellmarsh
