#include "ui/download_list_model.h"

#include <algorithm>
#include <numeric>

#include "platform/large_buffers.h"
#include "ui/row_images.h"
#include "ui/status_cell_delegate.h"

namespace pellmarsh {
namespace {

bool IsFigure(int column) {
  return column == kColumnSize || column == kColumnSpeed || column == kColumnTimeLeft ||
         column == kColumnConnections;
}

}  // namespace

DownloadListModel::DownloadListModel(QObject* parent) : QAbstractTableModel(parent) {}

int DownloadListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int DownloadListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kListColumnCount;
}

QVariant DownloadListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) {
    return {};
  }
  const Row& row = rows_[static_cast<size_t>(index.row())];
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::AccessibleTextRole:
      return row.texts[static_cast<size_t>(column)];
    case Qt::DecorationRole:
      return column == kColumnName ? QVariant(RowIcon(row.image)) : QVariant();
    case Qt::TextAlignmentRole:
      return IsFigure(column) ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case StatusCellDelegate::kProgressRole:
      if (column == kColumnStatus) {
        return row.progress;
      }
      return column == kColumnProgress ? QVariant(row.percent) : QVariant();
    default:
      return {};
  }
}

QVariant DownloadListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
    return {};
  }
  return QString(ColumnHeader(section));
}

Qt::ItemFlags DownloadListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) {
    return Qt::NoItemFlags;
  }
  const Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
  return index.column() == kColumnName ? flags | Qt::ItemIsEditable : flags;
}

bool DownloadListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || index.column() != kColumnName || index.row() >= rowCount() ||
      !onRenamed) {
    return false;
  }
  onRenamed(rows_[static_cast<size_t>(index.row())].item, value.toString().toStdString());
  return true;
}

void DownloadListModel::Show(Row& row, const RowContent& content) {
  for (int column = 0; column < kListColumnCount; ++column) {
    row.texts[static_cast<size_t>(column)] = QString::fromStdString(CellText(content, column));
  }
  row.image = content.image;
  row.progress = content.progress;
  row.percent = content.percent;
}

bool DownloadListModel::TouchRow(const Item* item) {
  const auto found = places_.find(item);
  if (found == places_.end()) {
    return false;
  }
  rows_[found->second].touched = true;
  return true;
}

bool DownloadListModel::UpdateRow(const Item* item, const RowContent& content) {
  const auto found = places_.find(item);
  if (found == places_.end()) {
    return false;
  }
  Row& row = rows_[found->second];
  const Row before = row;
  Show(row, content);
  // Only the cells between the first and the last that changed are redrawn.
  int first = kListColumnCount;
  int last = -1;
  for (int column = 0; column < kListColumnCount; ++column) {
    const auto cell = static_cast<size_t>(column);
    bool changed = row.texts[cell] != before.texts[cell];
    changed = changed || (column == kColumnName && row.image != before.image);
    changed = changed || (column == kColumnStatus && row.progress != before.progress);
    changed = changed || (column == kColumnProgress && row.percent != before.percent);
    if (changed) {
      first = std::min(first, column);
      last = column;
    }
  }
  if (last >= 0) {
    const int place = static_cast<int>(found->second);
    emit dataChanged(index(place, first), index(place, last));
  }
  return true;
}

void DownloadListModel::InsertRows(std::vector<NewRow> rows) {
  if (rows.empty()) {
    return;
  }
  const size_t first = rows_.size();
  beginInsertRows({}, static_cast<int>(first), static_cast<int>(first + rows.size() - 1));
  rows_.reserve(first + rows.size());
  for (NewRow& added : rows) {
    Row row;
    row.item = added.item;
    Show(row, added.content);
    places_[added.item] = rows_.size();
    rows_.push_back(std::move(row));
  }
  endInsertRows();
}

void DownloadListModel::RemoveUntouchedRows() {
  size_t lowest = rows_.size();
  // From the end, a run of untouched rows at a time.
  for (size_t end = rows_.size(); end > 0;) {
    if (rows_[end - 1].touched) {
      rows_[end - 1].touched = false;
      --end;
      continue;
    }
    size_t begin = end - 1;
    while (begin > 0 && !rows_[begin - 1].touched) {
      --begin;
    }
    beginRemoveRows({}, static_cast<int>(begin), static_cast<int>(end - 1));
    for (size_t gone = begin; gone < end; ++gone) {
      places_.erase(rows_[gone].item);
    }
    rows_.erase(rows_.begin() + static_cast<ptrdiff_t>(begin),
                rows_.begin() + static_cast<ptrdiff_t>(end));
    endRemoveRows();
    lowest = begin;
    end = begin;
  }
  Reindex(lowest);
}

void DownloadListModel::SortRows(int sortSetting) {
  const int mode = SortModeOf(sortSetting);
  for (Row& row : rows_) {
    row.sortKey = SortKeyOf(*row.item, mode);
  }
  // Stable both ways: rows of equal keys keep their order, reversed or not.
  const bool reversed = SortIsReversed(sortSetting);
  std::vector<size_t> order(rows_.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [this, reversed](size_t a, size_t b) {
    const int compared = CompareSortKeys(rows_[a].sortKey, rows_[b].sortKey);
    return reversed ? compared > 0 : compared < 0;
  });
  if (std::is_sorted(order.begin(), order.end())) {
    return;
  }
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<Row> sorted;
  sorted.reserve(rows_.size());
  std::vector<int> placeOf(rows_.size());
  for (size_t place = 0; place < order.size(); ++place) {
    placeOf[order[place]] = static_cast<int>(place);
    sorted.push_back(std::move(rows_[order[place]]));
  }
  rows_ = std::move(sorted);
  // The selection and the focused row stay with their items.
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& index : before) {
    after.append(this->index(placeOf[static_cast<size_t>(index.row())], index.column()));
  }
  changePersistentIndexList(before, after);
  Reindex(0);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void DownloadListModel::ForgetRow(const Item* item) {
  lastWalk = {};
  const auto found = places_.find(item);
  if (found == places_.end()) {
    return;
  }
  const size_t place = found->second;
  beginRemoveRows({}, static_cast<int>(place), static_cast<int>(place));
  places_.erase(found);
  rows_.erase(rows_.begin() + static_cast<ptrdiff_t>(place));
  endRemoveRows();
  Reindex(place);
}

void DownloadListModel::ClearRows() {
  // A tab of a long-used queue's finished downloads holds a hundred
  // thousand rows' texts; once another tab shows, their memory goes back.
  // Handing it back walks the whole heap (50 ms at 100,000 items), so a
  // tab of a few thousand rows is left to the allocator.
  constexpr size_t kManyRows = 20'000;
  const bool many = rows_.size() >= kManyRows;
  lastWalk = {};
  beginResetModel();
  rows_ = {};
  places_ = {};
  endResetModel();
  if (many) {
    ReturnFreedMemory();
  }
}

Item* DownloadListModel::ItemOfRow(int row) const {
  return row >= 0 && row < rowCount() ? rows_[static_cast<size_t>(row)].item : nullptr;
}

void DownloadListModel::Reindex(size_t first) {
  for (size_t place = first; place < rows_.size(); ++place) {
    places_[rows_[place].item] = place;
  }
}

}  // namespace pellmarsh
