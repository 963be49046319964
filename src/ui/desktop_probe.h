#pragma once

#include <functional>
#include <string>

#include "platform/file_trash.h"
#include "platform/power.h"
#include "ui/tray_icon.h"

namespace pellmarsh {

// Probes of the desktop that the window asks at start; tests answer them.
struct DesktopProbe {
  // Whether hanging up the dial-up link is possible at all this run.
  std::function<bool()> dialUpAvailable;
  // Stand-ins for the desktop's notification area and power services; the
  // real ones when null.
  TrayEntry* tray = nullptr;
  PowerControl* power = nullptr;
  // The Auto Shutdown countdown's second, in milliseconds.
  int countdownTickMs = 1000;
  // Shows a file in the file manager; the desktop's when null.
  std::function<bool(const std::string&)> showFile{};
  // Where deleted files go; the desktop's Trash when null.
  FileTrash* trash = nullptr;
};

}  // namespace pellmarsh
