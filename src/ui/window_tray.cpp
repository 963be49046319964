#include "ui/window_tray.h"

#include <QEvent>
#include <QWidget>

#include "store/keys.h"

namespace pellmarsh {

WindowTray::WindowTray(QWidget& window, Tree& tree, TrayEntry* entry)
    : window_(window),
      tree_(tree),
      ownEntry_(entry ? nullptr : std::make_unique<QtTrayEntry>()),
      entry_(entry ? *entry : *ownEntry_),
      state_(entry_) {
  entry_.onActivated = [this](QSystemTrayIcon::ActivationReason reason) { OnActivated(reason); };
  startCheck_.setSingleShot(true);
  connect(&startCheck_, &QTimer::timeout, this, [this] {
    if (window_.isMinimized() && MinimiseToTrayOn()) {
      MinimiseToTray();
    }
  });
  window_.installEventFilter(this);
}

void WindowTray::CheckStartMinimised() {
  startCheck_.start(1);
}

void WindowTray::Close() {
  closed_ = true;
  startCheck_.stop();
  state_.Remove();
}

// Minimise, restore and maximise come here once the window has changed. A
// hidden window's state may change with the window manager's bookkeeping:
// only what the user can see moves the window into or out of the tray.
bool WindowTray::eventFilter(QObject* watched, QEvent* event) {
  if (watched != &window_ || event->type() != QEvent::WindowStateChange || closed_ ||
      !window_.isVisible()) {
    return false;
  }
  if (!window_.isMinimized()) {
    state_.Remove();
  } else if (MinimiseToTrayOn()) {
    // Hiding inside the state change would confuse the window manager.
    QTimer::singleShot(0, this, [this] {
      if (window_.isMinimized() && window_.isVisible() && !closed_) {
        MinimiseToTray();
      }
    });
  }
  return false;
}

bool WindowTray::MinimiseToTrayOn() {
  Tree::Access tree(tree_);
  return tree->GetPropInt(setting::kMinTray) != 0;
}

void WindowTray::MinimiseToTray() {
  if (state_.Add()) {
    window_.hide();
  }
}

void WindowTray::OnActivated(QSystemTrayIcon::ActivationReason reason) {
  if (reason == QSystemTrayIcon::Trigger) {
    BringBack();
  }
}

void WindowTray::BringBack() {
  window_.showNormal();
  state_.Remove();
  window_.raise();
  window_.activateWindow();
}

}  // namespace pellmarsh
