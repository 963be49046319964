#pragma once

#include "desktop/qt_gui_queue.h"
#include "platform/user_messages.h"

class QWidget;

namespace pellmarsh {

// Message boxes on the window thread; a worker thread's call waits there for
// the answer. Construct it on the window thread.
class QtUserMessages final : public UserMessages {
 public:
  explicit QtUserMessages(QWidget* parent = nullptr) : parent_(parent) {}
  MessageAnswer Show(const UserMessage& message) override;

 private:
  MessageAnswer ShowHere(const UserMessage& message);

  QWidget* parent_;
  QtGuiQueue guiQueue_;
};

}  // namespace pellmarsh
