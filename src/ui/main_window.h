#pragma once

#include <QDialog>
#include <array>

#include "app/app.h"
#include "desktop/qt_gui_queue.h"
#include "platform/file_trash.h"
#include "platform/power.h"
#include "ui/tray_icon.h"
#include "ui/window_tray.h"
#include "view/link_intake.h"
#include "view/list_rows.h"
#include "view/url_adding.h"

class QLabel;
class QLayout;
class QLineEdit;
class QMimeData;
class QProgressBar;
class QPushButton;
class QTabBar;
class QTimer;

namespace pellmarsh {

class DownloadList;

// Probes of the desktop that the window asks at start; tests answer them.
struct DesktopProbe {
  // Whether hanging up the dial-up link is possible at all this run.
  std::function<bool()> dialUpAvailable;
  // Stand-ins for the desktop's notification area and power services; the
  // real ones when null.
  TrayEntry* tray = nullptr;
  PowerControl* power = nullptr;
  // The Auto Shutdown countdown's second, in milliseconds.
  int countdownTickMs = 1000;
  // Shows a file in the file manager; the desktop's when null.
  std::function<bool(const std::string&)> showFile{};
  // Where deleted files go; the desktop's Trash when null.
  FileTrash* trash = nullptr;
};

class AutoShutdownDialog;
class ClipboardWatcher;
class QtShutdownCountdown;
class UpgradeInstaller;
class WindowDesk;
class WindowNotices;
class WindowPower;

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
  unsigned SelectionState();
  void RunItemCommand(ItemCommand command);
  ItemCommands& commands() { return *commands_; }
  // The settings sheet's "Check Now" of the upgrade check.
  void CheckUpgradeNow();
  int trayIcon() const { return tray_->current(); }
  // Links from other programs, and their wish to see the window.
  void AddLinks(const std::vector<std::string>& links);
  // What a browser handed over, with its cookies, referrer and file name.
  void AddDownloads(const std::vector<HandedDownload>& downloads);
  std::string DownloadState(const std::string& url, int64_t size);
  void Raise() { tray_->BringBack(); }

 protected:
  void showEvent(QShowEvent* event) override;
  // Links and text dropped on the window become URL items.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // The Pending tab in front, after links came in.
  void ShowPendingTab();
  void BuildControls();
  void BuildLayout();
  QLayout* BuildTopRow();
  QLayout* BuildCommandRow();
  QLayout* BuildStatusRow();
  QPushButton* AddButton(const char* objectName, const char* caption, const char* toolTip,
                         bool enabled);
  QPushButton* AddToggle(const char* objectName, const char* caption, const char* toolTip);
  // The keys no button shows: the URL box, the tabs, quitting, renaming, pasting.
  void AddKeys();
  void StepTab(int step);
  void ShowAboutBox();
  // The list's columns and tabs as the data file left them.
  void SetUpList();
  void StartTimers();
  // Runs the first start's About box and settings; false when a close was
  // requested meanwhile.
  bool GreetFirstStart();
  void RestoreWindowRect();
  void StoreWindowState();
  // The current tab's columns into its setting.
  void StoreColumnLayout();
  void OnSecondTimer();
  void OnGoFastToggled(bool on);
  void OnOfflineToggled(bool on);
  void OnDisplayTimer();
  void OnStartupTimer();
  void ConnectHandOffs();
  void OnTabChanged(int tab);
  void OnHeaderClicked(int column);
  void ShowSortArrow(int tab);
  void OnRenamed(Item* item, const std::string& name);
  void ShowItemMenu(const QPoint& position);
  void OnDownloadClicked();
  // A drop's or the clipboard's links and text, as new items.
  void AddDroppedUrls(const QMimeData& mime);
  void OpenSettingsSheet();

  App& app_;
  DesktopProbe probe_;
  bool quitRequested_ = false;
  bool startRefused_ = false;
  bool closing_ = false;
  bool shownOnce_ = false;

  QLineEdit* urlEdit_ = nullptr;
  QTabBar* tabs_ = nullptr;
  DownloadList* list_ = nullptr;
  // The tab whose columns the list shows.
  int layoutTab_ = 0;
  std::vector<std::pair<QPushButton*, unsigned>> commandButtons_;
  // The header each tab was last sorted by, for its arrow; -1 for none.
  std::array<int, kListTabs> sortHeaders_{};
  std::unique_ptr<WindowDesk> desk_;
  std::unique_ptr<ItemCommands> commands_;
  std::unique_ptr<UrlAdding> urlAdding_;
  std::unique_ptr<LinkIntake> linkIntake_;
  std::unique_ptr<ClipboardWatcher> clipboard_;
  int shownCount_ = 0;
  QLabel* hintText_ = nullptr;
  QPushButton* archiveButton_ = nullptr;
  QPushButton* goFastButton_ = nullptr;
  QPushButton* pauseButton_ = nullptr;
  QPushButton* offlineButton_ = nullptr;
  QPushButton* goodNightButton_ = nullptr;
  QLabel* speedText_ = nullptr;
  QLabel* rateText_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QTimer* secondTimer_ = nullptr;
  QTimer* displayTimer_ = nullptr;
  QTimer* startupTimer_ = nullptr;

  std::unique_ptr<WindowTray> tray_;
  std::unique_ptr<PowerControl> ownPower_;
  std::unique_ptr<FileTrash> ownTrash_;
  std::unique_ptr<QtShutdownCountdown> countdown_;
  std::unique_ptr<UpgradeInstaller> upgrades_;
  std::unique_ptr<WindowNotices> notices_;
  std::unique_ptr<WindowPower> power_;
};

}  // namespace pellmarsh
