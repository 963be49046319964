#pragma once

#include <QWidget>
#include <atomic>
#include <mutex>

#include "notify/events.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/qt_sound_player.h"
#include "platform/qt_user_messages.h"
#include "store/data_file.h"
#include "store/item.h"

namespace pellmarsh {

// The program's one window: it owns the item tree, loads it at start and saves it on close.
class MainWindow final : public QWidget {
 public:
  explicit MainWindow(std::string programDir);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::string programDir_;
  Item rootItem_;
  std::recursive_mutex treeLock_;
  std::atomic<bool> commandBusy_{false};
  std::atomic<bool> saving_{false};
  SystemClock clock_;
  AtomicFileReplacer replacer_{DataFile::kFileMode};
  QtUserMessages messages_{this};
  QtSoundPlayer sounds_;
  DataFile dataFile_;
  EventRaiser events_;
};

}  // namespace pellmarsh
