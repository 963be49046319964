#pragma once

#include <optional>
#include <string>

namespace pellmarsh {

enum class MessageButtons { kOk, kOkCancel, kYesNo, kYesNoCancel };
enum class MessageIcon { kNone, kInformation, kExclamation, kQuestion, kStop };
enum class MessageAnswer { kOk, kCancel, kYes, kNo };

struct UserMessage {
  std::string text;
  std::string caption = "Pellmarsh";
  MessageButtons buttons = MessageButtons::kOk;
  MessageIcon icon = MessageIcon::kNone;
  // The answer Enter gives; without one the box picks its first accepting button.
  std::optional<MessageAnswer> defaultAnswer = std::nullopt;
};

// A message box. Callable from any thread: the front end shows it on the window
// thread and the caller waits for the answer. Never call it holding the tree
// lock: the program stops when a caller does.
class UserMessages {
 public:
  virtual ~UserMessages() = default;
  virtual MessageAnswer Show(const UserMessage& message) = 0;
};

}  // namespace pellmarsh
