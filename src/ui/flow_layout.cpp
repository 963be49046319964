#include "ui/flow_layout.h"

#include <QWidget>
#include <algorithm>

namespace pellmarsh {

FlowLayout::~FlowLayout() {
  while (QLayoutItem* item = takeAt(0)) {
    delete item;
  }
}

void FlowLayout::addItem(QLayoutItem* item) {
  items_.append(item);
}

QLayoutItem* FlowLayout::takeAt(int index) {
  return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

int FlowLayout::heightForWidth(int width) const {
  return Arrange({0, 0, width, 0}, true);
}

// As wide as the widest item: anything narrower than the row wraps.
QSize FlowLayout::minimumSize() const {
  QSize size;
  for (const QLayoutItem* item : items_) {
    size = size.expandedTo(item->minimumSize());
  }
  const QMargins margins = contentsMargins();
  return size + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

// One line of every item.
QSize FlowLayout::sizeHint() const {
  int width = 0;
  int height = 0;
  for (const QLayoutItem* item : items_) {
    width += item->sizeHint().width() + (width > 0 ? spacing() : 0);
    height = std::max(height, item->sizeHint().height());
  }
  const QMargins margins = contentsMargins();
  return {width + margins.left() + margins.right(), height + margins.top() + margins.bottom()};
}

void FlowLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  Arrange(rect, false);
}

int FlowLayout::Arrange(const QRect& rect, bool measureOnly) const {
  const QRect area = rect.marginsRemoved(contentsMargins());
  int x = area.x();
  int y = area.y();
  int lineHeight = 0;
  for (QLayoutItem* item : items_) {
    if (item->isEmpty()) {
      continue;  // a hidden widget takes no place
    }
    const QSize size = item->sizeHint();
    if (x > area.x() && x + size.width() > area.right() + 1) {
      x = area.x();
      y += lineHeight + spacing();
      lineHeight = 0;
    }
    if (!measureOnly) {
      item->setGeometry({QPoint(x, y), size});
    }
    x += size.width() + spacing();
    lineHeight = std::max(lineHeight, size.height());
  }
  const QMargins margins = contentsMargins();
  return y + lineHeight - rect.y() + margins.bottom();
}

}  // namespace pellmarsh
