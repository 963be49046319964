#include "desktop/qt_link_service.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QThread>
#include <QTimer>

#include "capture/url_item.h"

namespace pellmarsh {
namespace {

// A running instance answers at once; a hung one must not hang the caller.
constexpr int kCallTimeoutMs = 5000;

bool WaitForOwner(const QDBusConnection& bus, std::chrono::milliseconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (!bus.interface()->isServiceRegistered(kLinkServiceName).value()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    QThread::msleep(50);
  }
  return true;
}

QDBusMessage Call(const char* method, const QVariantList& arguments) {
  QDBusMessage call =
      QDBusMessage::createMethodCall(kLinkServiceName, kLinkServicePath, kLinkServiceName, method);
  call.setArguments(arguments);
  return QDBusConnection::sessionBus().call(call, QDBus::Block, kCallTimeoutMs);
}

// Calls `method` with `argument` and raises the window; the problems it
// answered, or nothing when no instance answered.
std::optional<std::vector<std::string>> HandOver(const char* method, const QVariant& argument,
                                                 std::chrono::milliseconds patience) {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !WaitForOwner(bus, patience)) {
    return std::nullopt;
  }
  const QDBusReply<QStringList> reply = Call(method, {argument});
  if (!reply.isValid()) {
    return std::nullopt;
  }
  Call("Raise", {});
  std::vector<std::string> problems;
  for (const QString& problem : reply.value()) {
    problems.push_back(problem.toStdString());
  }
  return problems;
}

}  // namespace

bool QtLinkService::Publish() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() ||
      !bus.registerObject(kLinkServicePath, this, QDBusConnection::ExportScriptableSlots)) {
    return false;
  }
  if (!bus.registerService(kLinkServiceName)) {
    bus.unregisterObject(kLinkServicePath);
    return false;
  }
  return true;
}

QStringList QtLinkService::AddUrls(const QStringList& urls) {
  QStringList problems;
  std::vector<std::string> links;
  for (const QString& url : urls) {
    const std::string link = url.toStdString();
    const std::string problem = UrlProblem(link);
    problems << QString::fromStdString(problem);
    if (problem.empty()) {
      links.push_back(link);
    }
  }
  // Added after the answer: a question the adding may ask (a file in the
  // way) must not keep the caller waiting.
  if (!links.empty()) {
    QTimer::singleShot(0, this, [this, links] { window_.addLinks(links); });
  }
  return problems;
}

QStringList QtLinkService::AddDownloads(const QString& message) {
  // Any program on the bus may call: the message is read as strictly as the
  // browser's host read it.
  BrowserMessage read = ParseBrowserMessage(message.toStdString());
  if (!read.error.empty()) {
    return {QString::fromStdString(read.error)};
  }
  QStringList problems;
  for (size_t i = 0; i < read.downloads.size(); ++i) {
    problems << QString();
  }
  QTimer::singleShot(
      0, this, [this, downloads = std::move(read.downloads)] { window_.addDownloads(downloads); });
  return problems;
}

QString QtLinkService::DownloadState(const QString& url, qlonglong size) {
  return QString::fromStdString(window_.downloadState(url.toStdString(), size));
}

void QtLinkService::Raise() {
  QTimer::singleShot(0, this, [this] { window_.raise(); });
}

std::optional<std::vector<std::string>> HandLinksToRunningInstance(
    const std::vector<std::string>& links, std::chrono::milliseconds patience) {
  QStringList urls;
  for (const std::string& link : links) {
    urls << QString::fromStdString(link);
  }
  return HandOver("AddUrls", urls, patience);
}

std::optional<std::vector<std::string>> HandDownloadsToRunningInstance(
    const std::string& message, std::chrono::milliseconds patience) {
  return HandOver("AddDownloads", QString::fromStdString(message), patience);
}

std::optional<std::string> AskDownloadState(const std::string& url, int64_t size) {
  const QDBusReply<QString> reply =
      Call("DownloadState", {QString::fromStdString(url), static_cast<qlonglong>(size)});
  if (!reply.isValid()) {
    return std::nullopt;
  }
  return reply.value().toStdString();
}

bool RaiseRunningInstance(std::chrono::milliseconds patience) {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  return bus.isConnected() && WaitForOwner(bus, patience) &&
         Call("Raise", {}).type() == QDBusMessage::ReplyMessage;
}

}  // namespace pellmarsh
