#include "ui/schedule_page.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/settings_controls.h"

namespace pellmarsh {
namespace {

struct HourLook {
  PlanHour hour;
  const char* objectName;
  const char* caption;
  const char* letter;
  QColor colour;
};

const HourLook kLooks[] = {
    {PlanHour::kFull, "planFullRadio", "Full speed", "F", QColor(0x9c, 0xd6, 0x8f)},
    {PlanHour::kBackground, "planBackgroundRadio", "Background", "B", QColor(0xf2, 0xd0, 0x7e)},
    {PlanHour::kPaused, "planPausedRadio", "Paused", "P", QColor(0xc8, 0xc8, 0xc8)},
};

const HourLook& LookOf(PlanHour hour) {
  for (const HourLook& look : kLooks) {
    if (look.hour == hour) {
      return look;
    }
  }
  return kLooks[0];
}

constexpr const char* kDayNames[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                     "Friday", "Saturday", "Sunday"};

}  // namespace

SchedulePage::SchedulePage(SettingsContext& context)
    : context_(context), plan_(WeekPlan::Parse(context.values.weekPlan)) {
  setObjectName("schedulePage");
  SettingsValues& v = context_.values;
  auto* follow = new QCheckBox("Follow the weekly plan");
  follow->setObjectName("weekPlanCheck");
  follow->setChecked(v.weekPlanOn);
  connect(follow, &QCheckBox::toggled, this, [&v](bool on) { v.weekPlanOn = on; });

  auto* brushRow = new QHBoxLayout;
  brushRow->addWidget(Label("planBrushLabel", "Selected hours:"));
  brush_ = new QButtonGroup(this);
  for (const HourLook& look : kLooks) {
    auto* radio = new QRadioButton(look.caption);
    radio->setObjectName(look.objectName);
    radio->setChecked(look.hour == PlanHour::kBackground);
    brush_->addButton(radio, static_cast<int>(look.hour));
    brushRow->addWidget(radio);
  }
  brushRow->addStretch(1);
  // Hours painted before stay as they are: only the next selection takes
  // the new state.
  connect(brush_, &QButtonGroup::idToggled, this, [this](int, bool on) {
    if (on) {
      grid_->clearSelection();
    }
  });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(follow);
  layout->addWidget(Note("weekPlanNote",
                         "At each hour's start the plan sets Go Fast and Pause; a button "
                         "pressed holds until the next hour."));
  layout->addLayout(brushRow);
  layout->addWidget(BuildGrid());
  layout->addWidget(Label("weekPlanLegend", "F: full speed   B: background   P: paused"));
  layout->addStretch(1);
}

QTableWidget* SchedulePage::BuildGrid() {
  grid_ = new QTableWidget(7, 24);
  grid_->setObjectName("weekPlanGrid");
  grid_->setAccessibleName("Weekly plan");
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid_->horizontalHeader()->setDefaultSectionSize(22);
  grid_->horizontalHeader()->setMinimumSectionSize(22);
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid_->verticalHeader()->setDefaultSectionSize(24);
  grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
  QStringList hours;
  for (int hour = 0; hour < 24; ++hour) {
    hours << QString::number(hour);
  }
  grid_->setHorizontalHeaderLabels(hours);
  QStringList days;
  for (const char* day : kDayNames) {
    days << QString(day).left(3);
  }
  grid_->setVerticalHeaderLabels(days);
  for (int hour = 0; hour < WeekPlan::kHours; ++hour) {
    auto* cell = new QTableWidgetItem;
    cell->setTextAlignment(Qt::AlignCenter);
    grid_->setItem(hour / 24, hour % 24, cell);
    ShowHour(hour);
  }
  // The corner selects the whole week.
  for (QAbstractButton* corner : grid_->findChildren<QAbstractButton*>()) {
    corner->setObjectName("weekPlanAllButton");
    corner->setAccessibleName("Every hour");
  }
  connect(grid_, &QTableWidget::itemSelectionChanged, this, &SchedulePage::PaintSelection);
  return grid_;
}

void SchedulePage::PaintSelection() {
  const auto hour = static_cast<PlanHour>(brush_->checkedId());
  for (const QTableWidgetItem* cell : grid_->selectedItems()) {
    const int hourOfWeek = cell->row() * 24 + cell->column();
    if (plan_.at(hourOfWeek) != hour) {
      plan_.set(hourOfWeek, hour);
      ShowHour(hourOfWeek);
    }
  }
  context_.values.weekPlan = plan_.Format();
}

void SchedulePage::ShowHour(int hourOfWeek) {
  const HourLook& look = LookOf(plan_.at(hourOfWeek));
  QTableWidgetItem* cell = grid_->item(hourOfWeek / 24, hourOfWeek % 24);
  cell->setText(look.letter);
  cell->setBackground(look.colour);
  // A screen reader reads the hour and its state, not a letter.
  cell->setData(Qt::AccessibleTextRole, QString("%1 %2:00, %3")
                                            .arg(kDayNames[hourOfWeek / 24])
                                            .arg(hourOfWeek % 24)
                                            .arg(look.caption));
}

}  // namespace pellmarsh
