#pragma once

#include "platform/user_messages.h"

class QWidget;

namespace pellmarsh {

// Message boxes on the window thread; a worker thread's call waits there for the answer.
class QtUserMessages final : public UserMessages {
 public:
  explicit QtUserMessages(QWidget* parent = nullptr) : parent_(parent) {}
  MessageAnswer Show(const UserMessage& message) override;

 private:
  MessageAnswer ShowHere(const UserMessage& message);

  QWidget* parent_;
};

}  // namespace pellmarsh
