#include "desktop/qt_desktop_notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>
#include <algorithm>

namespace pellmarsh {
namespace {

const QString kService = "org.freedesktop.Notifications";
const QString kPath = "/org/freedesktop/Notifications";
const QString kInterface = "org.freedesktop.Notifications";
const QString kOpenAction = "open";
const QString kShowAction = "show";
// A service that never says a notification closed must not make the list grow.
constexpr size_t kFilesKept = 32;
// The service's own choice of how long a notification stays.
constexpr int kServerExpiry = -1;

QDBusMessage Call(const QString& method) {
  return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

// Calls the service without waiting; `answered` gets the reply, never an error.
template <typename Reply, typename Answered>
void CallAsync(QObject* owner, const QDBusMessage& call, Answered answered) {
  auto* pending = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), owner);
  QObject::connect(pending, &QDBusPendingCallWatcher::finished, owner,
                   [answered](QDBusPendingCallWatcher* finished) {
                     finished->deleteLater();
                     const QDBusPendingReply<Reply> reply = *finished;
                     if (!reply.isError()) {
                       answered(reply.value());
                     }
                   });
}

}  // namespace

QtDesktopNotifications::QtDesktopNotifications(Actions actions) : actions_(std::move(actions)) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.connect(kService, kPath, kInterface, "ActionInvoked", this,
              SLOT(OnActionInvoked(uint, QString)));
  bus.connect(kService, kPath, kInterface, "NotificationClosed", this, SLOT(OnClosed(uint, uint)));
}

// The capabilities are asked each time: the service may have been replaced
// since the last notification, and notifications are rare.
void QtDesktopNotifications::Show(const Notification& notification) {
  if (!QDBusConnection::sessionBus().isConnected()) {
    return;
  }
  CallAsync<QStringList>(
      this, Call("GetCapabilities"),
      [this, notification](const QStringList& capabilities) { Send(notification, capabilities); });
}

void QtDesktopNotifications::Send(const Notification& notification,
                                  const QStringList& capabilities) {
  QStringList actions;
  if (!notification.file.empty() && capabilities.contains("actions")) {
    if (notification.mayOpen) {
      actions << kOpenAction << "Open";
    }
    actions << kShowAction << "Show in Folder";
  }
  QString body = QString::fromStdString(notification.body);
  if (capabilities.contains("body-markup")) {
    body = body.toHtmlEscaped();  // a file name is no markup
  }
  QDBusMessage notify = Call("Notify");
  notify << QString("Pellmarsh") << 0u << QString("pellmarsh")
         << QString::fromStdString(notification.summary) << body << actions
         << QVariantMap{{"desktop-entry", QString("pellmarsh")}} << kServerExpiry;
  CallAsync<uint>(this, notify, [this, actions, file = notification.file](uint id) {
    if (actions.isEmpty()) {
      return;
    }
    if (files_.size() == kFilesKept) {
      files_.pop_front();
    }
    files_.emplace_back(id, file);
  });
}

void QtDesktopNotifications::OnActionInvoked(uint id, const QString& action) {
  const auto shown = std::find_if(files_.begin(), files_.end(),
                                  [id](const auto& entry) { return entry.first == id; });
  if (shown == files_.end()) {
    return;  // another program's notification
  }
  if (action == kOpenAction && actions_.open) {
    actions_.open(shown->second);
  } else if (action == kShowAction && actions_.showInFolder) {
    actions_.showInFolder(shown->second);
  }
}

void QtDesktopNotifications::OnClosed(uint id, uint) {
  std::erase_if(files_, [id](const auto& entry) { return entry.first == id; });
}

}  // namespace pellmarsh
