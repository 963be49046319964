#pragma once

#include <QPoint>
#include <functional>
#include <utility>
#include <vector>

#include "app/app.h"
#include "view/list_rows.h"

class QLabel;
class QLayout;
class QPushButton;
class QWidget;

namespace pellmarsh {

class DownloadList;

// The item commands as the buttons under the list and as the list's popup
// menu, each enabled by what the selection allows, and the hint over the list
// that says what they act on.
class CommandRow final {
 public:
  // `window` holds the row and parents the menu; `run` runs a command on the
  // selection of `list`.
  CommandRow(QWidget& window, App& app, DownloadList& list, std::function<void(ItemCommand)> run);

  QLayout* layout() const { return layout_; }
  QLabel* hint() const { return hint_; }
  // Enables the buttons and the hint from the selection.
  void Update();
  // The archive button's caption and the hint follow the tab in front.
  void ShowTab(int tab);
  // At a position of the list; returns once the menu has closed.
  void ShowMenu(const QPoint& position);

 private:
  // What the selection allows, as the enabling bits of the commands.
  unsigned SelectionState();

  QWidget& window_;
  App& app_;
  DownloadList& list_;
  std::function<void(ItemCommand)> run_;
  QLabel* hint_;
  QPushButton* archive_ = nullptr;
  std::vector<std::pair<QPushButton*, unsigned>> buttons_;
  QLayout* layout_;
};

}  // namespace pellmarsh
