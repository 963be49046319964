#include "desktop/qt_metered_watch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace pellmarsh {
namespace {

const QString kNetworkManager = "org.freedesktop.NetworkManager";
const QString kNetworkManagerPath = "/org/freedesktop/NetworkManager";
const QString kProperties = "org.freedesktop.DBus.Properties";
const QString kMetered = "Metered";

}  // namespace

// Subscribed before the first read: a change between the two still arrives,
// after the read's answer, as the bus keeps one sender's messages in order.
void QtMeteredWatch::Start(std::function<void(bool metered)> changed) {
  changed_ = std::move(changed);
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) {
    return;
  }
  bus.connect(kNetworkManager, kNetworkManagerPath, kProperties, "PropertiesChanged", this,
              SLOT(OnPropertiesChanged(QString, QVariantMap, QStringList)));
  AskMetered();
}

void QtMeteredWatch::AskMetered() {
  QDBusMessage get =
      QDBusMessage::createMethodCall(kNetworkManager, kNetworkManagerPath, kProperties, "Get");
  get << kNetworkManager << kMetered;
  auto* pending = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(get), this);
  connect(pending, &QDBusPendingCallWatcher::finished, this,
          [this](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            const QDBusPendingReply<QDBusVariant> reply = *finished;
            if (!reply.isError()) {
              changed_(CountsAsMetered(reply.value().variant().toUInt()));
            }
          });
}

void QtMeteredWatch::OnPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                         const QStringList& invalidated) {
  if (interface != kNetworkManager) {
    return;
  }
  if (const auto value = changed.constFind(kMetered); value != changed.constEnd()) {
    changed_(CountsAsMetered(value->toUInt()));
  } else if (invalidated.contains(kMetered)) {
    AskMetered();
  }
}

}  // namespace pellmarsh
