#pragma once

#include <QLayout>
#include <QList>

namespace pellmarsh {

// Lays its widgets out left to right and starts a new line when the next one
// does not fit, so that a row of buttons never makes a narrow window wider.
class FlowLayout final : public QLayout {
 public:
  FlowLayout() = default;
  ~FlowLayout() override;

  void addItem(QLayoutItem* item) override;
  int count() const override { return static_cast<int>(items_.size()); }
  QLayoutItem* itemAt(int index) const override { return items_.value(index); }
  QLayoutItem* takeAt(int index) override;

  Qt::Orientations expandingDirections() const override { return {}; }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize minimumSize() const override;
  QSize sizeHint() const override;
  void setGeometry(const QRect& rect) override;

 private:
  // The height the items take in rect's width; places them there unless only
  // measuring.
  int Arrange(const QRect& rect, bool measureOnly) const;

  QList<QLayoutItem*> items_;
};

}  // namespace pellmarsh
