#pragma once

#include <QDialog>
#include <memory>

#include "app/app.h"
#include "ui/desktop_probe.h"
#include "ui/window_tray.h"
#include "view/item_commands.h"

class QLayout;
class QLineEdit;
class QTimer;

namespace pellmarsh {

class ClipboardWatcher;
class CommandRow;
class StatusRow;
class TabbedList;
class WindowDesk;
class WindowHandOffs;
class WindowLinks;

// The program's one window: a dialog for its Enter key and default button,
// shown as an ordinary top-level window for the program's whole life.
class MainWindow final : public QDialog {
 public:
  MainWindow(App& app, DesktopProbe probe);
  ~MainWindow() override;

  // Runs the start-up steps in their order. Returns false when a close was
  // requested while they ran (a signal during the first-start About box).
  bool Initialise();
  // Shows the window and returns once it has closed.
  void RunUntilClosed();

  // A confirmed close without a question, from any state: closes every open
  // dialog, then the window.
  void RequestQuit();
  bool quitRequested() const { return quitRequested_; }
  // True when the data file could not be read: the program ends without saving.
  bool startRefused() const { return startRefused_; }

  void accept() override;  // Enter: nothing
  void reject() override;  // the close box: ask, then close

  // Brings the rows of the current tab up to date.
  void RefreshList();
  // Enables the command buttons and the hint from the selection.
  void UpdateButtons();
  void RunItemCommand(ItemCommand command);
  ItemCommands& commands() { return *commands_; }
  // The settings sheet's "Check Now" of the upgrade check.
  void CheckUpgradeNow();
  int trayIcon() const { return tray_->current(); }
  // What other programs and the browser hand over.
  WindowLinks& links() { return *links_; }
  // Other programs' wish to see the window.
  void Raise() { tray_->BringBack(); }

 protected:
  void showEvent(QShowEvent* event) override;
  // Links and text dropped on the window become URL items.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ConnectList();
  void BuildLayout();
  QLayout* BuildTopRow();
  // The keys no button shows: the URL box, the tabs, quitting, renaming, pasting.
  void AddKeys();
  void ShowAboutBox();
  void StartTimers();
  // Runs the first start's About box and settings; false when a close was
  // requested meanwhile.
  bool GreetFirstStart();
  void RestoreWindowRect();
  void StoreWindowState();
  void OnSecondTimer();
  void OnDisplayTimer();
  void OnTabChanged(int tab);
  void OpenSettingsSheet();

  App& app_;
  DesktopProbe probe_;
  bool quitRequested_ = false;
  bool startRefused_ = false;
  bool closing_ = false;
  bool shownOnce_ = false;

  QLineEdit* urlEdit_ = nullptr;
  std::unique_ptr<TabbedList> tabbedList_;
  std::unique_ptr<CommandRow> commandRow_;
  std::unique_ptr<StatusRow> statusRow_;
  std::unique_ptr<FileTrash> ownTrash_;
  std::unique_ptr<WindowDesk> desk_;
  std::unique_ptr<ItemCommands> commands_;
  std::unique_ptr<WindowHandOffs> handOffs_;
  std::unique_ptr<WindowLinks> links_;
  std::unique_ptr<ClipboardWatcher> clipboard_;
  std::unique_ptr<WindowTray> tray_;
  QTimer* secondTimer_ = nullptr;
  QTimer* displayTimer_ = nullptr;
};

}  // namespace pellmarsh
