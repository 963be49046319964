#include "ui/clipboard_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "capture/clipboard_monitor.h"
#include "store/keys.h"
#include "ui/named_button.h"
#include "ui/settings_controls.h"

namespace pellmarsh {
namespace {

struct WatchChoice {
  ClipboardWatch watch;
  const char* objectName;
  const char* caption;
};

constexpr WatchChoice kChoices[] = {
    {ClipboardWatch::kOff, "clipOffRadio", "Off: copied links are not recorded."},
    {ClipboardWatch::kFileLinks, "clipFileLinksRadio",
     "Record links to files of these types (their last part ends in one):"},
    {ClipboardWatch::kEveryLink, "clipEveryLinkRadio", "Record every link."},
    {ClipboardWatch::kAsk, "clipAndGoRadio",
     "When a URL is put on the clipboard, prompt for immediate download."},
};

}  // namespace

ClipboardPage::ClipboardPage(SettingsContext& context) : context_(context) {
  setObjectName("clipboardPage");
  SettingsValues& v = context_.values;
  if (v.clipAndGo) {
    v.clipWatch = static_cast<int>(ClipboardWatch::kAsk);  // the question records every link
  }
  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(2);
  layout->addWidget(Label("clipWatchLabel", "Copied links:"));

  QWidget* types = BuildTypes();
  auto* clipStart = new QCheckBox("Don't prompt, just start downloading.");
  clipStart->setObjectName("clipStartCheck");
  clipStart->setChecked(v.clipStart);
  connect(clipStart, &QCheckBox::toggled, this, [&v](bool on) { v.clipStart = on; });

  auto* group = new QButtonGroup(this);
  for (const WatchChoice& choice : kChoices) {
    auto* radio = new QRadioButton(choice.caption);
    radio->setObjectName(choice.objectName);
    radio->setChecked(v.clipWatch == static_cast<int>(choice.watch));
    group->addButton(radio, static_cast<int>(choice.watch));
    layout->addWidget(radio);
    auto* indented = new QHBoxLayout;
    indented->addSpacing(22);
    if (choice.watch == ClipboardWatch::kFileLinks) {
      indented->addWidget(types, 1);
    } else if (choice.watch == ClipboardWatch::kAsk) {
      indented->addWidget(clipStart);
    } else {
      delete indented;
      continue;
    }
    layout->addLayout(indented);
  }
  layout->addWidget(
      Note("clipAndGoNote", "(Only offers when a single, well-formed URL is clipped)"));

  const auto follow = [&v, types, clipStart](int id) {
    v.clipWatch = id;
    v.clipAndGo = id == static_cast<int>(ClipboardWatch::kAsk);
    types->setEnabled(id == static_cast<int>(ClipboardWatch::kFileLinks));
    clipStart->setEnabled(v.clipAndGo);
  };
  follow(v.clipWatch);
  connect(group, &QButtonGroup::idToggled, this, [follow](int id, bool on) {
    if (on) {
      follow(id);
    }
  });
}

QWidget* ClipboardPage::BuildTypes() {
  auto* column = new QWidget;
  column->setObjectName("clipFileTypesColumn");
  typeEdit_ = Edit("clipFileTypeEdit");
  typeEdit_->setAccessibleName("File type");
  typeList_ = ListBox("clipFileTypesList", "File types");
  QPushButton* add = NamedButton("clipFileTypeAddButton", "&Add");
  QPushButton* remove = NamedButton("clipFileTypeDeleteButton", "&Delete");
  auto* addRow = new QHBoxLayout;
  addRow->addWidget(typeEdit_, 1);
  addRow->addWidget(add);
  auto* listRow = new QHBoxLayout;
  listRow->addWidget(typeList_, 1);
  listRow->addWidget(remove, 0, Qt::AlignTop);
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(addRow);
  layout->addLayout(listRow, 1);
  connect(add, &QPushButton::clicked, this, [this] { AddType(); });
  connect(typeEdit_, &QLineEdit::returnPressed, this, [this] { AddType(); });
  connect(remove, &QPushButton::clicked, this, [this] { DeleteType(); });
  ShowTypes();
  return column;
}

void ClipboardPage::AddType() {
  const TextTypeAdd outcome = AddFileType(context_.values.clipFileTypes, Std(typeEdit_->text()));
  if (outcome == TextTypeAdd::kAlreadyListed) {
    context_.messages.Show({std::string(AlreadyListedText(TextTypeKind::kExtension))});
    return;
  }
  if (outcome == TextTypeAdd::kAdded) {
    typeEdit_->clear();
    ShowTypes();
    typeList_->setCurrentRow(typeList_->count() - 1);
  }
}

void ClipboardPage::DeleteType() {
  const QListWidgetItem* selected = typeList_->currentItem();
  if (!selected) {
    return;
  }
  const int row = typeList_->currentRow();
  RemoveFileType(context_.values.clipFileTypes, Std(selected->text()));
  ShowTypes();
  typeList_->setCurrentRow(std::min(row, typeList_->count() - 1));
}

void ClipboardPage::ShowTypes() {
  typeList_->clear();
  for (const std::string& type : FileTypesOf(context_.values.clipFileTypes)) {
    typeList_->addItem(QString::fromStdString(type));
  }
}

}  // namespace pellmarsh
