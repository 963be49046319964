#include "ui/window_notices.h"

#include <QWidget>
#include <utility>

namespace pellmarsh {

WindowNotices::WindowNotices(const QWidget& window, const Clock& clock,
                             QtDesktopNotifications::Actions actions)
    : window_(window), desktop_(std::move(actions)), notices_(clock, desktop_) {
  dueTimer_.setSingleShot(true);
  QObject::connect(&dueTimer_, &QTimer::timeout, [this] { ShowIfDue(); });
}

void WindowNotices::DownloadEnded(EndedDownload ended) {
  guiQueue_.Post([this, ended = std::move(ended)]() mutable {
    notices_.Add(std::move(ended));
    ShowIfDue();
  });
}

void WindowNotices::ShowIfDue() {
  notices_.ShowIfDue(window_.isVisible() && window_.isActiveWindow() && !window_.isMinimized());
  if (const std::optional<uint32_t> wait = notices_.MsUntilDue()) {
    dueTimer_.start(static_cast<int>(*wait));
  }
}

}  // namespace pellmarsh
