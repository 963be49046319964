#include "desktop/qt_power_control.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStringList>

namespace pellmarsh {
namespace {

constexpr int kCallTimeoutMs = 4000;

const QString kNetworkManager = "org.freedesktop.NetworkManager";
const QString kNetworkManagerPath = "/org/freedesktop/NetworkManager";

// Today's dial-up: modems on mobile networks, DSL and phones over Bluetooth.
bool IsDialUpKind(const QString& type) {
  static const QStringList kinds = {"gsm", "cdma", "pppoe", "adsl", "bluetooth"};
  return kinds.contains(type);
}

QDBusMessage Call(const QDBusMessage& message) {
  return QDBusConnection::systemBus().call(message, QDBus::Block, kCallTimeoutMs);
}

// A property of a NetworkManager object; invalid when there is no answer.
QVariant Property(const QString& path, const QString& interface, const QString& name) {
  QDBusMessage get = QDBusMessage::createMethodCall(kNetworkManager, path,
                                                    "org.freedesktop.DBus.Properties", "Get");
  get << interface << name;
  const QDBusMessage reply = Call(get);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    return {};
  }
  return reply.arguments().first().value<QDBusVariant>().variant();
}

QList<QDBusObjectPath> ActiveConnections() {
  const QVariant value =
      Property(kNetworkManagerPath, "org.freedesktop.NetworkManager", "ActiveConnections");
  QList<QDBusObjectPath> paths;
  if (value.canConvert<QDBusArgument>()) {
    value.value<QDBusArgument>() >> paths;
  } else {
    paths = value.value<QList<QDBusObjectPath>>();
  }
  return paths;
}

}  // namespace

void QtPowerControl::HangUpDialUp() {
  const QList<QDBusObjectPath> active = ActiveConnections();
  for (qsizetype index = active.size() - 1; index >= 0; --index) {
    const QString path = active[index].path();
    const QString type =
        Property(path, "org.freedesktop.NetworkManager.Connection.Active", "Type").toString();
    if (!IsDialUpKind(type)) {
      continue;
    }
    QDBusMessage hangUp =
        QDBusMessage::createMethodCall(kNetworkManager, kNetworkManagerPath,
                                       "org.freedesktop.NetworkManager", "DeactivateConnection");
    hangUp << QVariant::fromValue(active[index]);
    Call(hangUp);
  }
}

void QtPowerControl::PowerOff() {
  QDBusMessage powerOff =
      QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                     "org.freedesktop.login1.Manager", "PowerOff");
  // Interactive: logind asks for authorisation and honours inhibitors.
  powerOff << true;
  Call(powerOff);
}

}  // namespace pellmarsh
