#include "ui/status_cell_delegate.h"

#include <QApplication>
#include <QStyleOptionProgressBar>

namespace pellmarsh {
namespace {

// Keeps the row's selection colour visible around the bar.
constexpr int kBarInset = 2;

}  // namespace

void StatusCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  const QVariant progress = index.data(kProgressRole);
  if (!progress.isValid() || progress.toInt() < 0) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  QStyleOptionViewItem cell = option;
  initStyleOption(&cell, index);
  const QString text = cell.text;
  cell.text.clear();
  QStyle* style = option.widget ? option.widget->style() : QApplication::style();
  style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, option.widget);

  QStyleOptionProgressBar bar;
  bar.rect = option.rect.adjusted(kBarInset, kBarInset / 2, -kBarInset, -kBarInset / 2);
  bar.state = (option.state & QStyle::State_Enabled) | QStyle::State_Horizontal;
  bar.direction = option.direction;
  bar.palette = option.palette;
  bar.fontMetrics = option.fontMetrics;
  bar.minimum = 0;
  bar.maximum = 100;
  bar.progress = progress.toInt();
  bar.textVisible = true;
  bar.textAlignment = Qt::AlignCenter;
  bar.text = option.fontMetrics.elidedText(text, Qt::ElideRight, bar.rect.width() - 2 * kBarInset);
  style->drawControl(QStyle::CE_ProgressBar, &bar, painter, option.widget);
}

}  // namespace pellmarsh
