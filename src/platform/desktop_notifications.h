#pragma once

#include <string>

namespace pellmarsh {

// A message for the desktop's notification area.
struct Notification {
  std::string summary;
  std::string body;  // plain text, lines separated by "\n"
  // The file that "Show in Folder" shows; no actions when empty.
  std::string file;
  // Whether "Open" is offered beside "Show in Folder".
  bool mayOpen = false;

  friend bool operator==(const Notification&, const Notification&) = default;
};

// Shows notifications and returns at once. Without a notification service
// nothing is shown and nothing is reported.
class DesktopNotifications {
 public:
  virtual ~DesktopNotifications() = default;
  virtual void Show(const Notification& notification) = 0;
};

}  // namespace pellmarsh
