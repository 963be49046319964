#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/item.h"
#include "view/list_refresh.h"
#include "view/list_rows.h"

namespace pellmarsh {

// The rows of one tab's items for the list view. Each row carries its item
// and is found again through a map from item to row. Rows are written only by
// the refresh, which holds the tree lock; a refresh tells the view about the
// rows it changed and no others, so a long list repaints only those.
class DownloadListModel final : public QAbstractTableModel, public ListRows {
 public:
  explicit DownloadListModel(QObject* parent = nullptr);

  // A finished edit of a name hands over the item and the new name; the row
  // shows it once the refresh has read it back from the item.
  std::function<void(Item*, const std::string&)> onRenamed;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  bool TouchRow(const Item* item) override;
  bool UpdateRow(const Item* item, const RowContent& content) override;
  void InsertRows(std::vector<NewRow> rows) override;
  void RemoveUntouchedRows() override;
  void SortRows(int sortSetting) override;

  // Drops the item's row before the item goes away.
  void ForgetRow(const Item* item);
  void ClearRows();
  Item* ItemOfRow(int row) const;

 private:
  // What the view reads, in Qt's strings: made once per change, not per paint.
  struct Row {
    Item* item = nullptr;
    std::array<QString, kListColumnCount> texts;
    int image = 0;
    int progress = -1;
    int percent = -1;
    bool touched = true;
    SortKey sortKey;
  };
  static void Show(Row& row, const RowContent& content);
  // Rows from `first` on moved: their places in the map follow.
  void Reindex(size_t first);

  std::vector<Row> rows_;
  std::unordered_map<const Item*, size_t> places_;
};

}  // namespace pellmarsh
