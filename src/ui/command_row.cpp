#include "ui/command_row.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "platform/files.h"
#include "store/keys.h"
#include "ui/button_icons.h"
#include "ui/download_list.h"
#include "ui/flow_layout.h"

namespace pellmarsh {

CommandRow::CommandRow(QWidget& window, App& app, DownloadList& list,
                       std::function<void(ItemCommand)> run)
    : window_(window),
      app_(app),
      list_(list),
      run_(std::move(run)),
      hint_(new QLabel),
      layout_(new FlowLayout) {
  hint_->setObjectName("hintText");
  hint_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // A narrow window puts the buttons on two lines rather than grow wider.
  for (const CommandButton& entry : CommandButtons()) {
    QPushButton* button =
        IconButton(entry.objectName, entry.caption, entry.toolTip, false, *window.style());
    const ItemCommand command = entry.command;
    QObject::connect(button, &QPushButton::clicked, &window, [this, command] { run_(command); });
    buttons_.emplace_back(button, entry.enablingBits);
    if (command == kCommandArchiveOrDelete) {
      archive_ = button;
    }
    layout_->addWidget(button);
  }
}

unsigned CommandRow::SelectionState() {
  const std::vector<Item*> items = list_.SelectedItems();
  std::vector<SelectedItem> selection;
  SelectionContext context;
  {
    Tree::Access tree(app_.tree());
    selection.reserve(items.size());
    for (const Item* item : items) {
      selection.push_back(SnapshotForSelection(*item));
    }
    context.virusCheckOn = tree->GetPropEnum(setting::kVirusCheck) != VirusCheckMode::kOff;
  }
  context.virusHalted = app_.state().virusCheck.halted;
  context.fileExists = [](const std::string& path) { return FileExists(path); };
  return pellmarsh::SelectionState(selection, context);
}

void CommandRow::Update() {
  const unsigned bits = SelectionState();
  for (const auto& [button, enabling] : buttons_) {
    button->setEnabled((bits & enabling) != 0);
  }
  hint_->setEnabled(bits != 0);
}

void CommandRow::ShowTab(int tab) {
  archive_->setText(ArchiveButtonCaption(tab));
  archive_->setToolTip(ArchiveButtonToolTip(tab));
  hint_->setText(HintText(tab));
}

void CommandRow::ShowMenu(const QPoint& position) {
  const unsigned bits = SelectionState();
  QMenu menu(&window_);
  menu.setObjectName("itemMenu");
  for (const MenuEntry& entry : PopupMenuEntries()) {
    if (entry.caption == nullptr) {
      menu.addSeparator();
      continue;
    }
    QAction* action = menu.addAction(entry.caption);
    action->setObjectName(entry.objectName);
    action->setEnabled((bits & entry.enablingBits) != 0);
    const ItemCommand command = entry.command;
    QObject::connect(action, &QAction::triggered, &window_, [this, command] { run_(command); });
  }
  menu.exec(list_.viewport()->mapToGlobal(position));
}

}  // namespace pellmarsh
