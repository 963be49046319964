#pragma once

#include <QWidget>

#include "ui/settings_pages.h"

namespace pellmarsh {

// Which copied links the clipboard list records, and Clip-and-Go.
class ClipboardPage final : public QWidget {
 public:
  explicit ClipboardPage(SettingsContext& context);

 private:
  SettingsContext& context_;
};

}  // namespace pellmarsh
