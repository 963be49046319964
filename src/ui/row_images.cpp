#include "ui/row_images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>
#include <array>

#include "view/list_rows.h"

namespace pellmarsh {
namespace {

constexpr int kSide = 16;

const QColor kGrey(128, 128, 128);
const QColor kBlue(40, 100, 190);
const QColor kGreen(40, 140, 60);
const QColor kRed(200, 40, 40);
const QColor kAmber(220, 150, 20);
const QColor kPurple(120, 80, 170);

void Disc(QPainter& p, const QColor& colour) {
  p.setPen(QPen(colour.darker(130), 1.0));
  p.setBrush(colour);
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
}

QPen WhitePen(double width) {
  return QPen(Qt::white, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Check(QPainter& p) {
  p.setPen(WhitePen(1.8));
  p.drawPolyline(QPolygonF({{4.8, 8.2}, {7.0, 10.6}, {11.2, 5.4}}));
}

void DownArrow(QPainter& p, const QColor& colour, double left, double width) {
  const double mid = left + width / 2;
  QPainterPath arrow;
  arrow.moveTo(mid - width * 0.22, 1.5);
  arrow.lineTo(mid + width * 0.22, 1.5);
  arrow.lineTo(mid + width * 0.22, 7.5);
  arrow.lineTo(left + width - 0.5, 7.5);
  arrow.lineTo(mid, 14.5);
  arrow.lineTo(left + 0.5, 7.5);
  arrow.lineTo(mid - width * 0.22, 7.5);
  arrow.closeSubpath();
  p.setPen(QPen(colour.darker(140), 1.0));
  p.setBrush(colour);
  p.drawPath(arrow);
}

// A transfer with its share of the rate as a meter of one to four bars.
void Speed(QPainter& p, int level) {
  static const QColor kLevels[] = {QColor(200, 70, 40), QColor(220, 150, 20), QColor(140, 170, 40),
                                   QColor(40, 150, 60)};
  DownArrow(p, kLevels[level - 1], 0, 9);
  // Four bars rising to the right; as many lit as the level.
  p.setPen(Qt::NoPen);
  for (int bar = 0; bar < 4; ++bar) {
    const double height = 3.0 + bar * 3.0;
    p.setBrush(bar < level ? kLevels[level - 1] : QColor(205, 205, 205));
    p.drawRect(QRectF(9.0 + bar * 2.0, 15.0 - height, 1.0, height));
  }
}

void Clipboard(QPainter& p) {
  p.setPen(QPen(kPurple.darker(130), 1.0));
  p.setBrush(kPurple);
  p.drawRoundedRect(QRectF(2.5, 2.5, 11, 12), 1.5, 1.5);
  p.setBrush(QColor(235, 235, 235));
  p.drawRect(QRectF(5.5, 1.5, 5, 2.5));
  p.setPen(WhitePen(1.2));
  for (double y : {7.0, 9.5, 12.0}) {
    p.drawLine(QPointF(5, y), QPointF(11, y));
  }
}

// A red warning triangle.
void Warning(QPainter& p) {
  QPainterPath triangle;
  triangle.moveTo(8, 1.5);
  triangle.lineTo(14.8, 14.2);
  triangle.lineTo(1.2, 14.2);
  triangle.closeSubpath();
  p.setPen(QPen(QColor(90, 0, 0), 1.0));
  p.setBrush(kRed);
  p.drawPath(triangle);
  p.setPen(WhitePen(1.8));
  p.drawLine(QPointF(8, 6), QPointF(8, 9.5));
  p.drawPoint(QPointF(8, 12));
}

void Globe(QPainter& p) {
  Disc(p, kBlue);
  p.setPen(QPen(Qt::white, 1.0));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(5.5, 2, 5, 12));
  p.drawLine(QPointF(2, 8), QPointF(14, 8));
}

void Page(QPainter& p) {
  p.setPen(QPen(kGrey, 1.0));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(3.5, 1.5, 9, 13));
  p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 5.5));
  p.drawLine(QPointF(5.5, 8.5), QPointF(10.5, 8.5));
}

void Paint(QPainter& p, int image) {
  switch (image) {
    case kImageOnHold:
      p.setPen(QPen(kGrey, 1.2));
      p.setBrush(QColor(235, 235, 235));
      p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
      p.drawLine(QPointF(5, 8), QPointF(11, 8));
      break;
    case kImageQueued:
      Disc(p, kBlue);
      p.setPen(WhitePen(1.5));
      p.drawPolyline(QPolygonF({{8, 4.5}, {8, 8}, {10.8, 9.8}}));
      break;
    case kImageRunning:
      DownArrow(p, kGreen, 2, 12);
      break;
    case kImageComplete:
      Disc(p, kGreen);
      Check(p);
      break;
    case kImageFailed:
      Disc(p, kRed);
      p.setPen(WhitePen(1.8));
      p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
      p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
      break;
    case kImagePaused:
      Disc(p, kAmber);
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(5.5, 5, 1.8, 6));
      p.drawRect(QRectF(8.7, 5, 1.8, 6));
      break;
    case kImageClipped:
      Clipboard(p);
      break;
    case kImageInfected:
      Warning(p);
      break;
    case kImageUnchecked:
      Disc(p, kAmber);
      Check(p);
      break;
    case 13:
      Globe(p);
      break;
    case 14:
      Page(p);
      break;
    default:
      if (image >= kImageSpeedSlowest && image <= kImageSpeedFastest) {
        Speed(p, image - kImageSpeedSlowest + 1);
      }
      break;
  }
}

QIcon MakeIcon(int image) {
  QIcon icon;
  for (int scale : {1, 2}) {
    QPixmap pixmap(kSide * scale, kSide * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    Paint(painter, image);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

const QIcon& RowIcon(int image) {
  static const std::array<QIcon, kRowImages> kIcons = [] {
    std::array<QIcon, kRowImages> icons;
    for (int image = 0; image < kRowImages; ++image) {
      icons[static_cast<size_t>(image)] = MakeIcon(image);
    }
    return icons;
  }();
  return kIcons[static_cast<size_t>(std::clamp(image, 0, kRowImages - 1))];
}

}  // namespace pellmarsh
