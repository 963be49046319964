#include "ui/clipboard_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "store/keys.h"
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

  QLineEdit* types = BoundEdit(this, "clipFileTypesEdit", v.clipFileTypes);
  types->setAccessibleName("File types");
  types->setCursorPosition(0);  // the list from its start
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
      indented->addWidget(types);
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
  layout->addStretch(1);

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

}  // namespace pellmarsh
