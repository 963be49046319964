#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "ui/settings_pages.h"

class QTabWidget;

namespace pellmarsh {

// The settings sheet. The "parm-" settings reach the tree only on OK, but for
// the upgrade site, which "Check Now" stores as it checks; the Defaults,
// Binary/Text and Sound pages change it at every edit, and Cancel leaves those
// changes in place.
class CSettingsSheet final : public QDialog {
 public:
  CSettingsSheet(Tree& tree, UserMessages& messages, SoundPlayer& sounds,
                 SettingsFileDialogs dialogs, QWidget* parent);
  ~CSettingsSheet() override;

  // Writes every setting back, unless a speed box holds no integer.
  void accept() override;
  // "Check Now": starts the upgrade check with the sheet left open.
  void setCheckNow(std::function<void()> checkNow);

 private:
  // False when the page being left holds something that cannot be kept.
  bool LeavePage(int page);
  void OnPageChanged(int page);

  std::unique_ptr<SettingsContext> context_;
  QTabWidget* tabs_ = nullptr;
  BandwidthPage* bandwidth_ = nullptr;
  MiscellaneousPage* miscellaneous_ = nullptr;
  int currentPage_ = 0;
};

}  // namespace pellmarsh
