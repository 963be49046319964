#pragma once

#include <QStyledItemDelegate>

namespace pellmarsh {

// Paints a cell with a percent (a running row's status, a progress cell) as
// a progress bar with the cell's text on it. The cell's text stays what
// screen readers read; the bar's percent is the cell's kProgressRole, and a
// cell without one is painted as any other.
class StatusCellDelegate final : public QStyledItemDelegate {
 public:
  static constexpr int kProgressRole = Qt::UserRole + 1;

  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

}  // namespace pellmarsh
