#include "desktop/qt_file_manager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

namespace pellmarsh {
namespace {

// Long enough for the bus to start a file manager that is not running yet.
constexpr int kCallTimeoutMs = 5000;

bool ShowItems(const QString& file) {
  QDBusMessage show = QDBusMessage::createMethodCall("org.freedesktop.FileManager1",
                                                     "/org/freedesktop/FileManager1",
                                                     "org.freedesktop.FileManager1", "ShowItems");
  // URIs, so a blank or a "%" in the path reaches the file manager intact.
  show << QStringList{QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded)} << QString();
  const QDBusMessage reply = QDBusConnection::sessionBus().call(show, QDBus::Block, kCallTimeoutMs);
  return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace

bool ShowFileInFolder(const std::string& path) {
  const QString file = QString::fromStdString(path);
  return ShowItems(file) ||
         QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
}

}  // namespace pellmarsh
