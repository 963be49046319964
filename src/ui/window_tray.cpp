#include "ui/window_tray.h"

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
