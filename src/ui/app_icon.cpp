#include "ui/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace pellmarsh {

QIcon AppIcon(bool active) {
  QIcon icon;
  for (int size : {16, 32, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(40, 110, 60));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(0.5, 0.5, size - 1.0, size - 1.0));
    // A downward arrow: a file coming in.
    const double s = size;
    QPainterPath arrow;
    arrow.moveTo(0.40 * s, 0.18 * s);
    arrow.lineTo(0.60 * s, 0.18 * s);
    arrow.lineTo(0.60 * s, 0.50 * s);
    arrow.lineTo(0.76 * s, 0.50 * s);
    arrow.lineTo(0.50 * s, 0.80 * s);
    arrow.lineTo(0.24 * s, 0.50 * s);
    arrow.lineTo(0.40 * s, 0.50 * s);
    arrow.closeSubpath();
    painter.setBrush(active ? QColor(255, 210, 40) : QColor(240, 240, 240));
    painter.drawPath(arrow);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace pellmarsh
