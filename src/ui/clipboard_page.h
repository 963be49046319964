#pragma once

#include <QWidget>

class QLineEdit;
class QListWidget;

#include "ui/settings_pages.h"

namespace pellmarsh {

// Which copied links the clipboard list records, and Clip-and-Go.
class ClipboardPage final : public QWidget {
 public:
  explicit ClipboardPage(SettingsContext& context);

 private:
  // The file types' list with its edit, Add and Delete.
  QWidget* BuildTypes();
  void AddType();
  void DeleteType();
  void ShowTypes();

  SettingsContext& context_;
  QLineEdit* typeEdit_ = nullptr;
  QListWidget* typeList_ = nullptr;
};

}  // namespace pellmarsh
