#pragma once

#include <string>

#include "app/app.h"

class QHBoxLayout;
class QLabel;
class QLayout;
class QProgressBar;
class QPushButton;
class QWidget;

namespace pellmarsh {

// The row under the list: Go Fast, Pause, Offline and Good Night, which switch
// the program as they are toggled, then the speed, the total rate and the
// progress of the running downloads.
class StatusRow final {
 public:
  // `window` holds the row's widgets and parents their connections.
  StatusRow(App& app, QWidget& window);

  QLayout* layout() const;
  // Good Night only where a dial-up link can be hung up.
  void AllowGoodNight(bool dialUp);
  // Go Fast and Offline as restored at the start.
  void ShowRestoredToggles();
  // Go Fast and Pause as the weekly plan switched them from the scheduler.
  void ShowPlannedToggles();
  void ShowRates(const std::string& speedText, const std::string& rateText);
  void ShowProgress(int percent);

 private:
  App& app_;
  QPushButton* goFast_;
  QPushButton* pause_;
  QPushButton* offline_;
  QPushButton* goodNight_;
  QLabel* speedText_;
  QLabel* rateText_;
  QProgressBar* progress_;
  QHBoxLayout* layout_;
};

}  // namespace pellmarsh
