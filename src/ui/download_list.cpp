#include "ui/download_list.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <algorithm>

#include "ui/status_cell_delegate.h"

namespace pellmarsh {
namespace {

// "sizeColumnEntry": a name a test can find, from the header's own words.
QString ColumnEntryName(int column) {
  QString words = QString(ColumnHeader(column)).remove(' ');
  words[0] = words[0].toLower();
  return words + "ColumnEntry";
}

}  // namespace

DownloadList::DownloadList(QWidget* parent)
    : QTreeView(parent), rows_(new DownloadListModel(this)) {
  setModel(rows_);
  rows_->onRenamed = [this](Item* item, const std::string& name) {
    if (onRenamed) {
      onRenamed(item, name);
    }
  };
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  setContextMenuPolicy(Qt::CustomContextMenu);
  setIconSize(QSize(16, 16));
  // The last column, the status unless the user moved it, takes what the
  // window has to spare.
  header()->setStretchLastSection(true);
  header()->setSectionsClickable(true);
  header()->setSectionsMovable(true);
  header()->setFirstSectionMovable(true);
  header()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(header(), &QWidget::customContextMenuRequested, this, &DownloadList::ShowColumnMenu);
  auto* bars = new StatusCellDelegate(this);
  setItemDelegateForColumn(kColumnStatus, bars);
  setItemDelegateForColumn(kColumnProgress, bars);
  for (int column = 0; column < kListColumnCount; ++column) {
    hiddenWidths_[static_cast<size_t>(column)] = header()->defaultSectionSize();
  }
}

DownloadList::~DownloadList() = default;

void DownloadList::ShowSortArrow(int column, bool reversed) {
  header()->setSortIndicatorShown(column >= 0);
  header()->setSortIndicator(column, reversed ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void DownloadList::EditCurrentName() {
  const QModelIndex current = currentIndex();
  if (current.isValid()) {
    setFocus(Qt::ShortcutFocusReason);
    QTreeView::edit(current.siblingAtColumn(kColumnName));
  }
}

ColumnLayout DownloadList::Layout() const {
  ColumnLayout layout;
  for (int place = 0; place < header()->count(); ++place) {
    const int column = header()->logicalIndex(place);
    const bool shown = !header()->isSectionHidden(column);
    layout.push_back(
        {column, shown ? header()->sectionSize(column) : hiddenWidths_[static_cast<size_t>(column)],
         shown});
  }
  return layout;
}

void DownloadList::ApplyLayout(const ColumnLayout& layout) {
  for (int place = 0; place < static_cast<int>(layout.size()); ++place) {
    const ColumnState& state = layout[static_cast<size_t>(place)];
    if (state.column < 0 || state.column >= kListColumnCount) {
      continue;
    }
    header()->moveSection(header()->visualIndex(state.column), place);
    hiddenWidths_[static_cast<size_t>(state.column)] = state.width;
    header()->setSectionHidden(state.column, !state.shown);
    header()->resizeSection(state.column, state.width);
  }
  StretchLastColumn();
}

void DownloadList::SetColumnShown(int column, bool shown) {
  if (shown == !header()->isSectionHidden(column)) {
    return;
  }
  if (!shown) {
    hiddenWidths_[static_cast<size_t>(column)] = header()->sectionSize(column);
  }
  header()->setSectionHidden(column, !shown);
  if (shown) {
    header()->resizeSection(column, hiddenWidths_[static_cast<size_t>(column)]);
  }
  StretchLastColumn();
}

// The header stretches the section that was last before a move, only when
// the view's size changes, and never below the section's own width: the
// last column starts small here and takes what the others leave.
void DownloadList::StretchLastColumn() {
  header()->setStretchLastSection(false);
  for (int place = header()->count() - 1; place >= 0; --place) {
    if (const int column = header()->logicalIndex(place); !header()->isSectionHidden(column)) {
      header()->resizeSection(column, header()->minimumSectionSize());
      break;
    }
  }
  header()->setStretchLastSection(true);
  QMetaObject::invokeMethod(header(), "resizeSections");
}

// The file name stays: a list without it would name nothing.
void DownloadList::ShowColumnMenu(const QPoint& position) {
  QMenu menu(this);
  menu.setObjectName("columnMenu");
  menu.setAccessibleName("Columns");
  for (int column = 0; column < kListColumnCount; ++column) {
    QAction* entry = menu.addAction(ColumnHeader(column));
    entry->setObjectName(ColumnEntryName(column));
    entry->setCheckable(true);
    entry->setChecked(!header()->isSectionHidden(column));
    entry->setEnabled(column != kColumnName);
    connect(entry, &QAction::toggled, this, [this, column](bool shown) {
      SetColumnShown(column, shown);
      if (onColumnsChanged) {
        onColumnsChanged();
      }
    });
  }
  menu.exec(header()->viewport()->mapToGlobal(position));
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
  if (items.empty() && currentIndex().isValid()) {
    items.push_back(ItemOfRow(currentIndex().row()));
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
  QTreeView::keyPressEvent(event);
}

// Only the name is a label the user may edit, whichever column was clicked.
bool DownloadList::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  return QTreeView::edit(index.siblingAtColumn(kColumnName), trigger, event);
}

}  // namespace pellmarsh
