#include "ui/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QEventLoop>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <array>

#include "app/window_settings.h"
#include "desktop/qt_file_manager.h"
#include "desktop/qt_file_trash.h"
#include "ui/about_box.h"
#include "ui/app_icon.h"
#include "ui/button_icons.h"
#include "ui/clipboard_watcher.h"
#include "ui/command_row.h"
#include "ui/download_list.h"
#include "ui/key_action.h"
#include "ui/settings_sheet.h"
#include "ui/status_row.h"
#include "ui/tabbed_list.h"
#include "ui/window_desk.h"
#include "ui/window_hand_offs.h"
#include "ui/window_links.h"
#include "view/list_rows.h"

namespace pellmarsh {
namespace {

QFrame* Separator(const char* objectName) {
  auto* line = new QFrame;
  line->setObjectName(objectName);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

}  // namespace

MainWindow::MainWindow(App& app, DesktopProbe probe) : app_(app), probe_(std::move(probe)) {
  if (!probe_.showFile) {
    probe_.showFile = ShowFileInFolder;
  }
  if (!probe_.trash) {
    ownTrash_ = std::make_unique<QtFileTrash>();
    probe_.trash = ownTrash_.get();
  }
  setWindowTitle("Pellmarsh");
  setObjectName("mainWindow");
  setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  urlEdit_ = new QLineEdit;
  urlEdit_->setObjectName("urlEdit");
  tabbedList_ = std::make_unique<TabbedList>(app_);
  DownloadList* list = tabbedList_->list();
  desk_ = std::make_unique<WindowDesk>(
      app_, WindowDesk::Window{this, list, tabbedList_->tabs(), [this] { RefreshList(); },
                               [this] { UpdateButtons(); },
                               [this](Item& item) { links_->EditUrlItem(item); }, probe_.showFile});
  commands_ =
      std::make_unique<ItemCommands>(app_.state(), app_.messages(), *probe_.trash, app_.events(),
                                     app_.localNames(), *desk_, app_.clock());
  commandRow_ = std::make_unique<CommandRow>(
      *this, app_, *list, [this](ItemCommand command) { RunItemCommand(command); });
  statusRow_ = std::make_unique<StatusRow>(app_, *this);
  ConnectList();
  BuildLayout();
  AddKeys();
  handOffs_ = std::make_unique<WindowHandOffs>(
      app_, *this, *commands_, *desk_, probe_,
      UpgradeInstaller::Desk{[this] { QTimer::singleShot(0, this, &MainWindow::reject); },
                             probe_.showFile, [this] { return quitRequested_ || closing_; }});
  links_ = std::make_unique<WindowLinks>(app_, *commands_, *desk_, handOffs_->desktop());
  clipboard_ = std::make_unique<ClipboardWatcher>(app_, *commands_, *desk_);
  tray_ = std::make_unique<WindowTray>(*this, app_.tree(), probe_.tray);
}

MainWindow::~MainWindow() {
  // The hand-offs point into this window: no worker may outlive it.
  if (app_.workersRunning()) {
    app_.StopWorkers([] {
      QApplication::processEvents();
      QThread::msleep(100);
    });
  }
  tray_->Remove();
}

void MainWindow::AddKeys() {
  AddKeyAction(*this, "urlBoxAction", "Go to the URL Box", {QKeySequence(Qt::CTRL | Qt::Key_L)},
               [this] {
                 urlEdit_->setFocus(Qt::ShortcutFocusReason);
                 urlEdit_->selectAll();
               });
  AddKeyAction(*this, "nextTabAction", "Next Tab",
               {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)},
               [this] { tabbedList_->Step(1); });
  AddKeyAction(*this, "previousTabAction", "Previous Tab",
               {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                QKeySequence(Qt::CTRL | Qt::Key_PageUp)},
               [this] { tabbedList_->Step(-1); });
  // As the close box: a question first while downloads run.
  AddKeyAction(*this, "quitAction", "Quit", {QKeySequence(Qt::CTRL | Qt::Key_Q)},
               [this] { close(); });
  DownloadList* list = tabbedList_->list();
  AddKeyAction(*this, "renameAction", "Rename", {QKeySequence(Qt::Key_F2)},
               [list] { list->EditCurrentName(); });
  AddKeyAction(*list, "pauseResumeAction", "Pause or Resume", {QKeySequence(Qt::Key_Space)},
               [this] { RunItemCommand(kCommandPauseOrResume); });
  AddKeyAction(*list, "pasteUrlsAction", "Paste URLs",
               QKeySequence::keyBindings(QKeySequence::Paste), [this] {
                 if (const QMimeData* mime = QGuiApplication::clipboard()->mimeData()) {
                   links_->AddDropped(*mime);
                 }
               });
}

void MainWindow::ConnectList() {
  DownloadList* list = tabbedList_->list();
  list->onCommand = [this](ItemCommand command) { RunItemCommand(command); };
  list->onRenamed = [this](Item* item, const std::string& name) {
    tabbedList_->Rename(*item, name);
    RefreshList();
  };
  connect(list, &QAbstractItemView::doubleClicked, this,
          [this] { RunItemCommand(DoubleClickCommand(desk_->CurrentTab())); });
  connect(list, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& position) { commandRow_->ShowMenu(position); });
  connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &MainWindow::UpdateButtons);
  connect(list->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &MainWindow::UpdateButtons);
  connect(list->header(), &QHeaderView::sectionClicked, this, [this](int column) {
    tabbedList_->SortBy(desk_->CurrentTab(), column);
    RefreshList();
  });
}

void MainWindow::BuildLayout() {
  QLayout* topRow = BuildTopRow();
  auto* tabRow = new QHBoxLayout;
  tabRow->addWidget(tabbedList_->tabs(), 1);
  tabRow->addWidget(commandRow_->hint());

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(topRow);
  layout->addWidget(Separator("topSeparator"));
  layout->addLayout(tabRow);
  layout->addWidget(tabbedList_->list(), 1);
  layout->addLayout(commandRow_->layout());
  layout->addWidget(Separator("bottomSeparator"));
  layout->addLayout(statusRow_->layout());
  resize(760, 420);
}

QLayout* MainWindow::BuildTopRow() {
  // Enter anywhere but in the list presses it, as in the URL box.
  QPushButton* download = IconButton("downloadButton", "&Download...",
                                     "Add the URL in the box as a new download", true, *style());
  download->setDefault(true);
  connect(download, &QPushButton::clicked, this, [this] { links_->DownloadTyped(*urlEdit_); });
  QPushButton* settings = IconButton("settingsButton", "Se&ttings...",
                                     "Change how Pellmarsh downloads", true, *style());
  QPushButton* about =
      IconButton("aboutButton", "A&bout...", "Show the version and where Pellmarsh keeps its data",
                 true, *style());
  connect(settings, &QPushButton::clicked, this, &MainWindow::OpenSettingsSheet);
  connect(about, &QPushButton::clicked, this, &MainWindow::ShowAboutBox);

  auto* urlLabel = new QLabel("&URL:");
  urlLabel->setObjectName("urlLabel");
  urlLabel->setBuddy(urlEdit_);
  auto* topRow = new QHBoxLayout;
  topRow->addWidget(urlLabel);
  topRow->addWidget(urlEdit_, 1);
  topRow->addWidget(download);
  topRow->addWidget(settings);
  topRow->addWidget(about);
  return topRow;
}

bool MainWindow::Initialise() {
  const bool dialUp = probe_.dialUpAvailable && probe_.dialUpAvailable();
  setAcceptDrops(true);
  setWindowIcon(AppIcon(false));
  statusRow_->AllowGoodNight(dialUp);

  const LoadOutcome loaded = app_.LoadTree();
  if (loaded.unreadable) {
    startRefused_ = true;
    app_.messages().Show(*loaded.report);
    return false;
  }
  // The list's columns and tabs as the data file left them.
  tabbedList_->SetUp();
  connect(tabbedList_->tabs(), &QTabBar::currentChanged, this, &MainWindow::OnTabChanged);
  RefreshList();
  StartTimers();
  app_.CompleteBuiltInTree();
  app_.RestoreToggles();
  statusRow_->ShowRestoredToggles();
  if (!GreetFirstStart()) {
    return false;
  }

  app_.events().RaiseEvent("STARTUP");
  handOffs_->Connect();
  handOffs_->power().Start();
  app_.StartWorkers();
  if (loaded.report) {
    // Shown over the window once it is up; the queue runs meanwhile.
    QTimer::singleShot(0, this, [this, report = *loaded.report] { app_.messages().Show(report); });
  }
  RestoreWindowRect();
  clipboard_->Join();
  commandRow_->ShowTab(desk_->CurrentTab());
  UpdateButtons();

  if (app_.TakeUpgradeCheckDue()) {
    handOffs_->upgrades().StartCheck();
  }
  return !quitRequested_;
}

// Not exec(): that would mark the window modal to the window manager, as if
// it were a passing question over some other window.
void MainWindow::RunUntilClosed() {
  if (closing_) {
    return;
  }
  QEventLoop untilClosed;
  connect(this, &QDialog::finished, &untilClosed, &QEventLoop::quit);
  show();
  untilClosed.exec();
}

void MainWindow::StartTimers() {
  secondTimer_ = new QTimer(this);
  secondTimer_->setSingleShot(true);
  connect(secondTimer_, &QTimer::timeout, this, &MainWindow::OnSecondTimer);
  secondTimer_->start(1000);
  displayTimer_ = new QTimer(this);
  displayTimer_->setSingleShot(true);
  connect(displayTimer_, &QTimer::timeout, this, &MainWindow::OnDisplayTimer);
  displayTimer_->start(5000);
  tray_->CheckStartMinimised();
}

// A close asked for while a start-up message was open ends the start-up here.
bool MainWindow::GreetFirstStart() {
  const bool firstStart = app_.MarkFirstStart();
  if (firstStart && !quitRequested_) {
    ShowAboutBox();
    if (!quitRequested_) {
      OpenSettingsSheet();
    }
  }
  return !quitRequested_;
}

void MainWindow::RestoreWindowRect() {
  const QScreen* screen = QApplication::primaryScreen();
  const QSize screenSize = screen ? screen->size() : QSize(0, 0);
  if (const std::optional<WindowRect> rect =
          app_.SavedWindowRect(screenSize.width(), screenSize.height())) {
    setGeometry(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
  }
}

void MainWindow::StoreWindowState() {
  const QRect normal = isMaximized() || isMinimized() ? normalGeometry() : geometry();
  tabbedList_->StoreColumnLayout();
  // The settings of before keep the file name's, URL's and status's widths,
  // as a tab never laid out reads them.
  std::array<int, kListColumns> widths{};
  for (const ColumnState& state : tabbedList_->list()->Layout()) {
    if (state.column < kListColumns) {
      widths[static_cast<size_t>(state.column)] = state.width;
    }
  }
  app_.StoreWindowState(
      {normal.left(), normal.top(), normal.left() + normal.width(), normal.top() + normal.height()},
      widths);
}

void MainWindow::ShowAboutBox() {
  AboutBox about(app_.folders(), this);
  about.exec();
}

void MainWindow::RequestQuit() {
  if (quitRequested_) {
    return;
  }
  quitRequested_ = true;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(widget);
    if (dialog && dialog != this && dialog->isVisible()) {
      dialog->reject();
    }
  }
  reject();
}

void MainWindow::accept() {}

// Esc is what one presses to drop a typed URL, not to end the program.
void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (!event->matches(QKeySequence::Cancel)) {
    QDialog::keyPressEvent(event);
    return;
  }
  if (urlEdit_->hasFocus()) {
    urlEdit_->clear();
  }
}

void MainWindow::reject() {
  if (closing_) {
    return;
  }
  if (!quitRequested_) {
    if (std::optional<UserMessage> question =
            ExitQuestion(app_.state().activeCount, app_.state().noExitPrompt)) {
      const bool confirmed = app_.messages().Show(*question) == MessageAnswer::kYes;
      // A signal may have closed the window while the question was open.
      if (closing_ || (!confirmed && !quitRequested_)) {
        return;
      }
    }
  }
  closing_ = true;
  tray_->Close();
  // Nothing may save or raise events while the worker threads stop.
  for (QTimer* timer : {secondTimer_, displayTimer_}) {
    if (timer) {
      timer->stop();
    }
  }
  StoreWindowState();
  QDialog::done(QDialog::Rejected);
}

void MainWindow::OnSecondTimer() {
  AppState& state = app_.state();
  if (state.commandBusy) {
    secondTimer_->start(100);
    return;
  }
  statusRow_->ShowPlannedToggles();
  handOffs_->power().Update();
  const WindowFocus focus{isActiveWindow(), isMinimized()};
  std::string speedText = app_.speed().UpdateSpeed(focus);
  // Offline and a metered connection outweigh the plan.
  if (const std::string plan = app_.PlanText(); !plan.empty() && !state.offline && !state.metered) {
    speedText = plan;
  }
  const std::string rateText = app_.CurrentRateText();
  statusRow_->ShowRates(speedText, rateText);
  statusRow_->ShowProgress(ProgressPercent(state.totalReceived, state.totalSize));
  tray_->Update(state.activeCount, rateText);
  // The rows' rates change in the same second as the total: a long list's
  // display tick would show them seconds later.
  if (state.listDirty) {
    RefreshList();
  }
  secondTimer_->start(1000);
  clipboard_->AskClipAndGo();
  app_.SaveIfRequested();
}

void MainWindow::OnDisplayTimer() {
  if (app_.state().commandBusy) {
    displayTimer_->start(100);
    return;
  }
  UpdateButtons();
  if (app_.state().listDirty) {
    RefreshList();
  }
  displayTimer_->start(DisplayTimerPeriod(tabbedList_->shownCount()));
}

void MainWindow::RefreshList() {
  if (!tabbedList_->Refresh(desk_->CurrentTab())) {
    app_.messages().Show({kTypeListDied});
    return;
  }
  statusRow_->ShowProgress(ProgressPercent(app_.state().totalReceived, app_.state().totalSize));
}

void MainWindow::UpdateButtons() {
  commandRow_->Update();
}

void MainWindow::RunItemCommand(ItemCommand command) {
  commands_->RunItemCommand(command, tabbedList_->list()->SelectedItems());
}

void MainWindow::OnTabChanged(int tab) {
  commandRow_->ShowTab(tab);
  tabbedList_->ShowTab(tab);
  RefreshList();
  UpdateButtons();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  event->setDropAction(Qt::LinkAction);
  event->accept();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
  event->setDropAction(Qt::LinkAction);
  event->accept();
}

void MainWindow::dropEvent(QDropEvent* event) {
  links_->AddDropped(*event->mimeData());
  // Nothing was taken: a file manager must not delete what it dragged here.
  event->setDropAction(Qt::IgnoreAction);
  event->accept();
}

void MainWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!shownOnce_) {
    shownOnce_ = true;
    setMinimumSize(size());
  }
}

void MainWindow::OpenSettingsSheet() {
  CSettingsSheet sheet(app_.tree(), app_.messages(), app_.sounds(), DesktopFileDialogs(), this);
  sheet.setCheckNow([this] { CheckUpgradeNow(); });
  if (sheet.exec() != QDialog::Accepted) {
    return;
  }
  // The rows are made again in the units and with the settings just confirmed.
  tabbedList_->list()->ClearRows();
  RefreshList();
  app_.ResumeVirusChecks();
}

void MainWindow::CheckUpgradeNow() {
  handOffs_->upgrades().CheckNow();
}

}  // namespace pellmarsh
