#pragma once

#include <string>

namespace pellmarsh {

// Shows a file in the desktop's file manager: its folder opened with the file
// selected where the file manager offers that on the session bus, else the
// folder alone. Never opens the file itself. True when a folder was shown.
bool ShowFileInFolder(const std::string& path);

}  // namespace pellmarsh
