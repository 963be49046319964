#include "desktop/qt_network_manager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace pellmarsh {

bool NetworkManagerAnswers() {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected() || !bus.interface()) {
    return false;
  }
  return bus.interface()->isServiceRegistered("org.freedesktop.NetworkManager");
}

}  // namespace pellmarsh
