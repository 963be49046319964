#include "ui/settings_sheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/clipboard_page.h"
#include "ui/schedule_page.h"

namespace pellmarsh {

CSettingsSheet::CSettingsSheet(Tree& tree, UserMessages& messages, SoundPlayer& sounds,
                               SettingsFileDialogs dialogs, QWidget* parent)
    : QDialog(parent),
      context_(std::make_unique<SettingsContext>(
          SettingsContext{tree, messages, sounds, std::move(dialogs), {}})) {
  setObjectName("settingsSheet");
  setWindowTitle("Pellmarsh: Pellmarsh Settings");
  {
    Tree::Access locked(tree);
    context_->values = ReadSettings(locked.root());
  }

  tabs_ = new QTabWidget;
  tabs_->setObjectName("settingsTabs");
  // Every page's tab in sight: the sheet is as wide as they need.
  tabs_->tabBar()->setUsesScrollButtons(false);
  bandwidth_ = new BandwidthPage(*context_);
  miscellaneous_ = new MiscellaneousPage(*context_);
  tabs_->addTab(bandwidth_, "Bandwidth");
  tabs_->addTab(new SchedulePage(*context_), "Schedule");
  tabs_->addTab(new DefaultsPage(*context_), "Defaults");
  tabs_->addTab(new TextTypesPage(*context_), "Binary/Text");
  tabs_->addTab(new VirusCheckPage(*context_), "Virus Check");
  tabs_->addTab(new SoundPage(*context_), "Sound");
  tabs_->addTab(new ClipboardPage(*context_), "Clipboard");
  tabs_->addTab(miscellaneous_, "Miscellaneous");
  connect(tabs_, &QTabWidget::currentChanged, this, &CSettingsSheet::OnPageChanged);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->setObjectName("sheetButtons");
  buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
  connect(buttons, &QDialogButtonBox::accepted, this, &CSettingsSheet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CSettingsSheet::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_, 1);
  layout->addWidget(buttons);
}

// The pages hold references into the context: they go first.
CSettingsSheet::~CSettingsSheet() {
  delete tabs_;
}

void CSettingsSheet::setCheckNow(std::function<void()> checkNow) {
  miscellaneous_->onCheckNow = std::move(checkNow);
}

bool CSettingsSheet::LeavePage(int page) {
  if (page == tabs_->indexOf(bandwidth_)) {
    return bandwidth_->Leave();
  }
  return true;
}

void CSettingsSheet::OnPageChanged(int page) {
  if (!LeavePage(currentPage_)) {
    const QSignalBlocker quiet(tabs_);
    tabs_->setCurrentIndex(currentPage_);
    return;
  }
  currentPage_ = page;
  if (page == tabs_->indexOf(bandwidth_)) {
    bandwidth_->Activate();
  }
}

void CSettingsSheet::accept() {
  if (!LeavePage(currentPage_)) {
    return;
  }
  {
    Tree::Access locked(context_->tree);
    WriteSettings(locked.root(), context_->values);
  }
  QDialog::accept();
}

}  // namespace pellmarsh
