#pragma once

#include <QWidget>

#include "app/week_plan.h"
#include "ui/settings_pages.h"

class QButtonGroup;
class QTableWidget;

namespace pellmarsh {

// The weekly plan: a grid of the days by their hours, each full speed,
// background or paused. The hours selected, by dragging or by keys, take the
// state chosen above the grid.
class SchedulePage final : public QWidget {
 public:
  explicit SchedulePage(SettingsContext& context);

 private:
  QTableWidget* BuildGrid();
  // The chosen state onto every selected hour.
  void PaintSelection();
  void ShowHour(int hourOfWeek);

  SettingsContext& context_;
  WeekPlan plan_;
  QTableWidget* grid_ = nullptr;
  QButtonGroup* brush_ = nullptr;
};

}  // namespace pellmarsh
