#pragma once

#include <QIcon>

namespace pellmarsh {

// The program's icon, drawn rather than loaded: idle, or with the active mark
// the notification area shows while downloads run.
QIcon AppIcon(bool active);

}  // namespace pellmarsh
