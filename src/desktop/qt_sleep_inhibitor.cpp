#include "desktop/qt_sleep_inhibitor.h"

#include <fcntl.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>

#include "platform/environment.h"

namespace pellmarsh {
namespace {

// The window waits for the answer: a stalled service must not hold it long.
constexpr int kCallTimeoutMs = 2000;

// What the hold stops: suspending, and the idle timer's suspend.
constexpr uint kPortalSuspend = 4;
constexpr uint kPortalIdle = 8;

// The first argument of the answer, when there is one.
QVariant Answer(const QDBusConnection& bus, const QDBusMessage& call) {
  const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    return {};
  }
  return reply.arguments().first();
}

}  // namespace

bool QtLogindInhibitor::Take(const std::string& why) {
  QDBusMessage inhibit =
      QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                     "org.freedesktop.login1.Manager", "Inhibit");
  inhibit << QString("sleep:idle") << QString("Pellmarsh") << QString::fromStdString(why)
          << QString("block");
  const auto lock = Answer(QDBusConnection::systemBus(), inhibit).value<QDBusUnixFileDescriptor>();
  if (!lock.isValid()) {
    return false;
  }
  // A copy of our own, kept from the programs we start (the virus checker),
  // which would otherwise hold the lock past its release.
  lock_.Reset(::fcntl(lock.fileDescriptor(), F_DUPFD_CLOEXEC, 0));
  return lock_.valid();
}

bool QtPortalInhibitor::Take(const std::string& why) {
  QDBusMessage inhibit = QDBusMessage::createMethodCall(
      "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
      "org.freedesktop.portal.Inhibit", "Inhibit");
  inhibit << QString() << (kPortalSuspend | kPortalIdle)
          << QVariantMap{{"reason", QString::fromStdString(why)}};
  request_ = Answer(QDBusConnection::sessionBus(), inhibit).value<QDBusObjectPath>().path();
  return !request_.isEmpty();
}

// Sent without waiting: Good Night lets go of the hold on its way to the
// power-off.
void QtPortalInhibitor::Release() {
  if (request_.isEmpty()) {
    return;
  }
  QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(
      "org.freedesktop.portal.Desktop", request_, "org.freedesktop.portal.Request", "Close"));
  request_.clear();
}

std::unique_ptr<SleepInhibitor> MakeSleepInhibitor() {
  if (RunsSandboxed(SystemEnvironment())) {
    return std::make_unique<QtPortalInhibitor>();
  }
  return std::make_unique<QtLogindInhibitor>();
}

}  // namespace pellmarsh
