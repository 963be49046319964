#pragma once

#include <QObject>
#include <QStringList>
#include <deque>
#include <functional>
#include <string>
#include <utility>

#include "platform/desktop_notifications.h"

namespace pellmarsh {

// Notifications through the desktop's notification service on the session
// bus, with "Open" and "Show in Folder" where the service offers actions.
// Without a service nothing is shown and nothing reported. Use it on the
// window thread: it never waits for the bus.
class QtDesktopNotifications final : public QObject, public DesktopNotifications {
  Q_OBJECT

 public:
  // What the actions do with a notification's file.
  struct Actions {
    std::function<bool(const std::string&)> open;
    std::function<bool(const std::string&)> showInFolder;
  };

  explicit QtDesktopNotifications(Actions actions);

  void Show(const Notification& notification) override;

 private Q_SLOTS:
  void OnActionInvoked(uint id, const QString& action);
  void OnClosed(uint id, uint reason);

 private:
  void Send(const Notification& notification, const QStringList& capabilities);

  Actions actions_;
  // The file of each notification shown with actions, by the service's id.
  std::deque<std::pair<uint, std::string>> files_;
};

}  // namespace pellmarsh
