#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>

#include "store/tree.h"
#include "ui/tray_icon.h"

class QWidget;

namespace pellmarsh {

// The window in and out of the desktop's notification area: minimised while
// the setting asks for it, the window hides behind an entry there, and a click
// on the entry brings it back.
class WindowTray final : public QObject {
 public:
  // `entry` stands in for the desktop's own when given. Follows the window's
  // minimising from now on.
  WindowTray(QWidget& window, Tree& tree, TrayEntry* entry);

  // A window started minimised goes to the tray as soon as events run.
  void CheckStartMinimised();
  // The window closes: the entry goes and the window is no longer followed.
  void Close();
  void Remove() { state_.Remove(); }
  // The window shown, in front and active, out of the tray if it was there.
  void BringBack();
  // The once-a-second follow-up of the running downloads.
  void Update(int activeCount, const std::string& rateText) {
    state_.Update(activeCount, rateText);
  }
  int current() const { return state_.current(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Whether a minimised window goes to the tray.
  bool MinimiseToTrayOn();
  // Without a notification area a hidden window could never come back: the
  // window stays where it is then.
  void MinimiseToTray();
  void OnActivated(QSystemTrayIcon::ActivationReason reason);

  QWidget& window_;
  Tree& tree_;
  std::unique_ptr<QtTrayEntry> ownEntry_;
  TrayEntry& entry_;
  TrayState state_;
  QTimer startCheck_;
  bool closed_ = false;
};

}  // namespace pellmarsh
