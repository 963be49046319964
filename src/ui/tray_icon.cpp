#include "ui/tray_icon.h"

#include "ui/app_icon.h"

namespace pellmarsh {
namespace {

constexpr const char* kIdleToolTip = "Pellmarsh";

}  // namespace

QtTrayEntry::QtTrayEntry() : icon_(new QSystemTrayIcon(this)) {
  connect(icon_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (onActivated) {
              onActivated(reason);
            }
          });
}

bool QtTrayEntry::Available() {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayEntry::Show(int icon) {
  icon_->setIcon(AppIcon(icon == kTrayIconActive));
  icon_->show();
}

void QtTrayEntry::SetToolTip(const std::string& text) {
  icon_->setToolTip(QString::fromStdString(text));
}

void QtTrayEntry::Remove() {
  icon_->hide();
}

bool TrayState::Add() {
  if (!entry_.Available()) {
    return false;
  }
  entry_.Show(kTrayIconIdle);
  current_ = kTrayIconIdle;
  toolTip_ = kIdleToolTip;
  entry_.SetToolTip(toolTip_);
  return true;
}

void TrayState::Remove() {
  entry_.Remove();
  current_ = -1;
}

void TrayState::Update(int activeCount, const std::string& rateText) {
  if (current_ == -1) {
    return;
  }
  const int wanted = activeCount > 0 ? kTrayIconActive : kTrayIconIdle;
  if (wanted != current_) {
    entry_.Show(wanted);
    current_ = wanted;
  }
  const std::string toolTip = rateText.empty() ? kIdleToolTip : "Pellmarsh: " + rateText;
  if (toolTip != toolTip_) {
    entry_.SetToolTip(toolTip);
    toolTip_ = toolTip;
  }
}

}  // namespace pellmarsh
