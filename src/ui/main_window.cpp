#include "ui/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QEventLoop>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTabBar>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "app/speed_control.h"
#include "app/window_settings.h"
#include "capture/url_item.h"
#include "desktop/qt_file_manager.h"
#include "desktop/qt_file_trash.h"
#include "desktop/qt_power_control.h"
#include "desktop/qt_shutdown_countdown.h"
#include "platform/files.h"
#include "store/keys.h"
#include "ui/about_box.h"
#include "ui/app_icon.h"
#include "ui/auto_shutdown_dialog.h"
#include "ui/button_icons.h"
#include "ui/clipboard_watcher.h"
#include "ui/download_list.h"
#include "ui/flow_layout.h"
#include "ui/key_action.h"
#include "ui/named_button.h"
#include "ui/settings_sheet.h"
#include "ui/upgrade_installer.h"
#include "ui/window_desk.h"
#include "ui/window_notices.h"
#include "ui/window_power.h"
#include "ui/window_tray.h"
#include "view/list_rows.h"

namespace pellmarsh {
namespace {

// A switched-on toggle in the selection colour: the style's own pressed look
// is too faint to tell at a glance.
constexpr const char* kCheckedToggleLook =
    "QPushButton:checked { background-color: palette(highlight);"
    " color: palette(highlighted-text); }";

QFrame* Separator(const char* objectName) {
  auto* line = new QFrame;
  line->setObjectName(objectName);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

QLabel* SunkenText(const char* objectName, Qt::Alignment alignment) {
  auto* text = new QLabel;
  text->setObjectName(objectName);
  text->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  text->setAlignment(alignment | Qt::AlignVCenter);
  text->setMinimumWidth(90);
  return text;
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
  BuildControls();
  BuildLayout();
  AddKeys();
  desk_ = std::make_unique<WindowDesk>(
      app_,
      WindowDesk::Window{this, list_, tabs_, [this] { RefreshList(); }, [this] { UpdateButtons(); },
                         [this](Item& item) { urlAdding_->EditUrlItem(item); }, probe_.showFile});
  commands_ =
      std::make_unique<ItemCommands>(app_.state(), app_.messages(), *probe_.trash, app_.events(),
                                     app_.localNames(), *desk_, app_.clock());
  urlAdding_ = std::make_unique<UrlAdding>(app_.state(), app_.localNames(), *commands_, *desk_,
                                           app_.messages(), app_.clock());
  notices_ = std::make_unique<WindowNotices>(
      *this, app_.clock(),
      QtDesktopNotifications::Actions{[this](const std::string& file) {
                                        return desk_->OpenDocument(file) ||
                                               desk_->OpenFolder(DirectoryOf(file));
                                      },
                                      probe_.showFile});
  linkIntake_ = std::make_unique<LinkIntake>(app_.state(), app_.localNames(), *commands_,
                                             app_.events(), notices_->desktop(), app_.clock());
  clipboard_ = std::make_unique<ClipboardWatcher>(app_, *commands_, *desk_);
  power_ = std::make_unique<WindowPower>(app_, notices_->desktop());

  tray_ = std::make_unique<WindowTray>(*this, app_.tree(), probe_.tray);
  countdown_ = std::make_unique<QtShutdownCountdown>([this](bool computerShutdown) {
    return std::make_unique<AutoShutdownDialog>(computerShutdown, probe_.countdownTickMs, this);
  });
  upgrades_ = std::make_unique<UpgradeInstaller>(
      app_, *commands_,
      UpgradeInstaller::Desk{[this] { QTimer::singleShot(0, this, &MainWindow::reject); },
                             probe_.showFile, [this] { return quitRequested_ || closing_; }});
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

QPushButton* MainWindow::AddButton(const char* objectName, const char* caption, const char* toolTip,
                                   bool enabled) {
  QPushButton* button = NamedButton(objectName, caption);
  button->setIcon(ButtonIcon(objectName, *style()));
  button->setToolTip(toolTip);
  button->setEnabled(enabled);
  return button;
}

QPushButton* MainWindow::AddToggle(const char* objectName, const char* caption,
                                   const char* toolTip) {
  QPushButton* toggle = AddButton(objectName, caption, toolTip, true);
  toggle->setCheckable(true);
  toggle->setStyleSheet(kCheckedToggleLook);
  return toggle;
}

void MainWindow::AddKeys() {
  AddKeyAction(*this, "urlBoxAction", "Go to the URL Box", {QKeySequence(Qt::CTRL | Qt::Key_L)},
               [this] {
                 urlEdit_->setFocus(Qt::ShortcutFocusReason);
                 urlEdit_->selectAll();
               });
  AddKeyAction(*this, "nextTabAction", "Next Tab",
               {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)},
               [this] { StepTab(1); });
  AddKeyAction(*this, "previousTabAction", "Previous Tab",
               {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                QKeySequence(Qt::CTRL | Qt::Key_PageUp)},
               [this] { StepTab(-1); });
  // As the close box: a question first while downloads run.
  AddKeyAction(*this, "quitAction", "Quit", {QKeySequence(Qt::CTRL | Qt::Key_Q)},
               [this] { close(); });
  AddKeyAction(*this, "renameAction", "Rename", {QKeySequence(Qt::Key_F2)},
               [this] { list_->EditCurrentName(); });
  AddKeyAction(*list_, "pauseResumeAction", "Pause or Resume", {QKeySequence(Qt::Key_Space)},
               [this] { RunItemCommand(kCommandPauseOrResume); });
  AddKeyAction(*list_, "pasteUrlsAction", "Paste URLs",
               QKeySequence::keyBindings(QKeySequence::Paste), [this] {
                 if (const QMimeData* mime = QGuiApplication::clipboard()->mimeData()) {
                   AddDroppedUrls(*mime);
                 }
               });
}

void MainWindow::StepTab(int step) {
  tabs_->setCurrentIndex((tabs_->currentIndex() + step + tabs_->count()) % tabs_->count());
}

void MainWindow::BuildControls() {
  urlEdit_ = new QLineEdit;
  urlEdit_->setObjectName("urlEdit");
  tabs_ = new QTabBar;
  tabs_->setObjectName("tabs");
  tabs_->setExpanding(false);
  list_ = new DownloadList;
  list_->setObjectName("downloadList");
  list_->setAccessibleName("Downloads");
  list_->onCommand = [this](ItemCommand command) { RunItemCommand(command); };
  list_->onRenamed = [this](Item* item, const std::string& name) { OnRenamed(item, name); };
  list_->onColumnsChanged = [this] { StoreColumnLayout(); };
  connect(list_, &QAbstractItemView::doubleClicked, this,
          [this] { RunItemCommand(DoubleClickCommand(desk_->CurrentTab())); });
  connect(list_, &QWidget::customContextMenuRequested, this, &MainWindow::ShowItemMenu);
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &MainWindow::UpdateButtons);
  connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &MainWindow::UpdateButtons);
  connect(list_->header(), &QHeaderView::sectionClicked, this, &MainWindow::OnHeaderClicked);
  list_->header()->setObjectName("downloadListHeader");
  list_->header()->setAccessibleName("Columns");
  hintText_ = new QLabel;
  hintText_->setObjectName("hintText");
  hintText_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  speedText_ = SunkenText("speedText", Qt::AlignHCenter);
  rateText_ = SunkenText("rateText", Qt::AlignRight);
  progress_ = new QProgressBar;
  progress_->setObjectName("progressBar");
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  progress_->setAccessibleName("Progress");
}

void MainWindow::BuildLayout() {
  QLayout* topRow = BuildTopRow();
  auto* tabRow = new QHBoxLayout;
  tabRow->addWidget(tabs_, 1);
  tabRow->addWidget(hintText_);
  QLayout* commandRow = BuildCommandRow();
  QLayout* statusRow = BuildStatusRow();

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(topRow);
  layout->addWidget(Separator("topSeparator"));
  layout->addLayout(tabRow);
  layout->addWidget(list_, 1);
  layout->addLayout(commandRow);
  layout->addWidget(Separator("bottomSeparator"));
  layout->addLayout(statusRow);
  resize(760, 420);
}

QLayout* MainWindow::BuildTopRow() {
  // Enter anywhere but in the list presses it, as in the URL box.
  QPushButton* download =
      AddButton("downloadButton", "&Download...", "Add the URL in the box as a new download", true);
  download->setDefault(true);
  connect(download, &QPushButton::clicked, this, &MainWindow::OnDownloadClicked);
  QPushButton* settings =
      AddButton("settingsButton", "Se&ttings...", "Change how Pellmarsh downloads", true);
  QPushButton* about = AddButton("aboutButton", "A&bout...",
                                 "Show the version and where Pellmarsh keeps its data", true);
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

QLayout* MainWindow::BuildCommandRow() {
  // A narrow window puts the buttons on two lines rather than grow wider.
  auto* commandRow = new FlowLayout;
  for (const CommandButton& entry : CommandButtons()) {
    QPushButton* button = AddButton(entry.objectName, entry.caption, entry.toolTip, false);
    const ItemCommand command = entry.command;
    connect(button, &QPushButton::clicked, this, [this, command] { RunItemCommand(command); });
    commandButtons_.emplace_back(button, entry.enablingBits);
    if (command == kCommandArchiveOrDelete) {
      archiveButton_ = button;
    }
    commandRow->addWidget(button);
  }
  return commandRow;
}

QLayout* MainWindow::BuildStatusRow() {
  goFastButton_ = AddToggle("goFastButton", "Go &Fast",
                            "Download at the full-speed limit instead of the background limit");
  pauseButton_ = AddToggle("pauseButton", "P&ause",
                           "Hold every download where it is, its connection kept open");
  offlineButton_ = AddToggle("offlineButton", "&Offline",
                             "Stop every running download and start none while this is on");
  goodNightButton_ = AddToggle("goodNightButton", "&Good Night",
                               "Once the queue has emptied, hang up the dial-up connection "
                               "(and switch the computer off when the settings say so)");
  auto* statusRow = new QHBoxLayout;
  for (QPushButton* toggle : {goFastButton_, pauseButton_, offlineButton_, goodNightButton_}) {
    statusRow->addWidget(toggle);
  }
  // Toggled, not clicked: a screen reader's toggle action or a key switches the
  // program too, not just the button's look.
  connect(goFastButton_, &QPushButton::toggled, this, &MainWindow::OnGoFastToggled);
  connect(pauseButton_, &QPushButton::toggled, this, [this](bool on) { app_.state().paused = on; });
  connect(offlineButton_, &QPushButton::toggled, this, &MainWindow::OnOfflineToggled);
  connect(goodNightButton_, &QPushButton::toggled, this,
          [this](bool on) { app_.state().goodNight = on; });
  statusRow->addWidget(speedText_);
  statusRow->addWidget(rateText_);
  statusRow->addWidget(progress_, 1);
  return statusRow;
}

bool MainWindow::Initialise() {
  const bool dialUp = probe_.dialUpAvailable && probe_.dialUpAvailable();
  setAcceptDrops(true);
  setWindowIcon(AppIcon(false));
  goodNightButton_->setEnabled(dialUp);

  const LoadOutcome loaded = app_.LoadTree();
  if (loaded.unreadable) {
    startRefused_ = true;
    app_.messages().Show(*loaded.report);
    return false;
  }
  SetUpList();
  StartTimers();
  app_.CompleteBuiltInTree();
  app_.RestoreToggles();
  {
    // The buttons only show what was restored; switching again would redo it.
    const QSignalBlocker quietGoFast(goFastButton_);
    const QSignalBlocker quietOffline(offlineButton_);
    goFastButton_->setChecked(app_.state().goFast);
    offlineButton_->setChecked(app_.state().offline);
  }
  if (!GreetFirstStart()) {
    return false;
  }

  app_.events().RaiseEvent("STARTUP");
  ConnectHandOffs();
  power_->Start();
  app_.StartWorkers();
  if (loaded.report) {
    // Shown over the window once it is up; the queue runs meanwhile.
    QTimer::singleShot(0, this, [this, report = *loaded.report] { app_.messages().Show(report); });
  }
  RestoreWindowRect();
  clipboard_->Join();
  hintText_->setText(HintText(desk_->CurrentTab()));
  UpdateButtons();

  if (app_.TakeUpgradeCheckDue()) {
    upgrades_->StartCheck();
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

void MainWindow::SetUpList() {
  {
    Tree::Access tree(app_.tree());
    for (int tab = 0; tab < kListTabs; ++tab) {
      tabs_->addTab(TabCaption(tab));
      sortHeaders_[static_cast<size_t>(tab)] = SortHeaderOf(tab, TabSortSetting(tree.root(), tab));
    }
    layoutTab_ = desk_->CurrentTab();
    list_->ApplyLayout(TabColumnLayout(tree.root(), layoutTab_));
  }
  connect(tabs_, &QTabBar::currentChanged, this, &MainWindow::OnTabChanged);
  ShowSortArrow(desk_->CurrentTab());
  RefreshList();
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
  startupTimer_ = new QTimer(this);
  startupTimer_->setSingleShot(true);
  connect(startupTimer_, &QTimer::timeout, this, &MainWindow::OnStartupTimer);
  startupTimer_->start(1);
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

void MainWindow::StoreColumnLayout() {
  const ColumnLayout layout = list_->Layout();
  Tree::Access tree(app_.tree());
  StoreTabColumnLayout(tree.root(), layoutTab_, layout);
}

void MainWindow::StoreWindowState() {
  const QRect normal = isMaximized() || isMinimized() ? normalGeometry() : geometry();
  StoreColumnLayout();
  // The settings of before keep the file name's, URL's and status's widths,
  // as a tab never laid out reads them.
  std::array<int, kListColumns> widths{};
  for (const ColumnState& state : list_->Layout()) {
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
  tray_->Remove();
  // Nothing may save or raise events while the worker threads stop.
  for (QTimer* timer : {secondTimer_, displayTimer_, startupTimer_}) {
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
  {
    // The weekly plan switches them from the scheduler.
    const QSignalBlocker quietGoFast(goFastButton_);
    const QSignalBlocker quietPause(pauseButton_);
    goFastButton_->setChecked(state.goFast);
    pauseButton_->setChecked(state.paused);
  }
  power_->Update();
  const WindowFocus focus{isActiveWindow(), isMinimized()};
  std::string speedText = app_.speed().UpdateSpeed(focus);
  // Offline and a metered connection outweigh the plan.
  if (const std::string plan = app_.PlanText(); !plan.empty() && !state.offline && !state.metered) {
    speedText = plan;
  }
  speedText_->setText(QString::fromStdString(speedText));
  const std::string rateText = app_.CurrentRateText();
  rateText_->setText(QString::fromStdString(rateText));
  progress_->setValue(ProgressPercent(state.totalReceived, state.totalSize));
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

void MainWindow::OnGoFastToggled(bool on) {
  app_.SetGoFast(on);
}

void MainWindow::OnOfflineToggled(bool on) {
  ApplyOffline(app_.state(), on);
  goodNightButton_->setChecked(app_.state().goodNight);
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
  displayTimer_->start(DisplayTimerPeriod(shownCount_));
}

void MainWindow::RefreshList() {
  RefreshOutcome outcome;
  {
    Tree::Access tree(app_.tree());
    // A selected row that goes must not ask for the buttons under the lock.
    const QSignalBlocker quiet(list_);
    const QSignalBlocker quietSelection(list_->selectionModel());
    outcome =
        RefreshRows(tree.root(), desk_->CurrentTab(), list_->rows(),
                    {app_.state().listDirty, app_.state().sortPending}, app_.clock().UnixTime());
  }
  if (outcome.typeListMissing) {
    app_.messages().Show({kTypeListDied});
    return;
  }
  shownCount_ = outcome.shownCount;
  progress_->setValue(ProgressPercent(app_.state().totalReceived, app_.state().totalSize));
}

unsigned MainWindow::SelectionState() {
  const std::vector<Item*> items = list_->SelectedItems();
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

void MainWindow::UpdateButtons() {
  const unsigned bits = SelectionState();
  for (const auto& [button, enabling] : commandButtons_) {
    button->setEnabled((bits & enabling) != 0);
  }
  hintText_->setEnabled(bits != 0);
}

void MainWindow::RunItemCommand(ItemCommand command) {
  commands_->RunItemCommand(command, list_->SelectedItems());
}

void MainWindow::OnTabChanged(int tab) {
  archiveButton_->setText(ArchiveButtonCaption(tab));
  archiveButton_->setToolTip(ArchiveButtonToolTip(tab));
  StoreColumnLayout();
  layoutTab_ = tab;
  {
    Tree::Access tree(app_.tree());
    list_->ApplyLayout(TabColumnLayout(tree.root(), tab));
  }
  ShowSortArrow(tab);
  list_->ClearRows();
  RefreshList();
  UpdateButtons();
  hintText_->setText(HintText(tab));
}

void MainWindow::OnHeaderClicked(int column) {
  const int tab = desk_->CurrentTab();
  int& sortHeader = sortHeaders_[static_cast<size_t>(tab)];
  {
    Tree::Access tree(app_.tree());
    const PropKey sort = setting::TabSort(tab);
    tree->SetPropInt(sort, SortSettingAfterClick(tab, column, TabSortSetting(tree.root(), tab),
                                                 sortHeader == column));
  }
  sortHeader = column;
  ShowSortArrow(tab);
  app_.state().sortPending = true;
  RefreshList();
}

// The header flips its own arrow on a click; this puts it where the order is.
void MainWindow::ShowSortArrow(int tab) {
  bool reversed = false;
  {
    Tree::Access tree(app_.tree());
    reversed = SortIsReversed(TabSortSetting(tree.root(), tab));
  }
  list_->ShowSortArrow(sortHeaders_[static_cast<size_t>(tab)], reversed);
}

void MainWindow::OnRenamed(Item* item, const std::string& name) {
  {
    Tree::Access tree(app_.tree());
    if (!name.empty()) {
      item->SetProp(key::kName, name);
      item->SetPropInt64(key::kModified, app_.clock().UnixTime());
    } else {
      item->SetProp(key::kName, item->GetProp(key::kName));  // shows the old name again
    }
  }
  RefreshList();
}

void MainWindow::ShowItemMenu(const QPoint& position) {
  const unsigned bits = SelectionState();
  QMenu menu(this);
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
    connect(action, &QAction::triggered, this, [this, command] { RunItemCommand(command); });
  }
  menu.exec(list_->viewport()->mapToGlobal(position));
}

void MainWindow::OnDownloadClicked() {
  if (!urlAdding_->DownloadTypedUrl(urlEdit_->text().toStdString())) {
    return;  // cancelled: the URL box keeps its text
  }
  urlEdit_->clear();
  if (desk_->CurrentTab() != kTabPending) {
    desk_->SelectTab(kTabPending);
  }
  RefreshList();
}

void MainWindow::AddLinks(const std::vector<std::string>& links) {
  linkIntake_->AddLinks(links);
  ShowPendingTab();
}

void MainWindow::AddDownloads(const std::vector<HandedDownload>& downloads) {
  linkIntake_->AddDownloads(downloads);
  ShowPendingTab();
}

std::string MainWindow::DownloadState(const std::string& url, int64_t size) {
  return linkIntake_->FirstAnswerOf(url, size);
}

void MainWindow::ShowPendingTab() {
  if (desk_->CurrentTab() != kTabPending) {
    desk_->SelectTab(kTabPending);
  }
  RefreshList();
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
  AddDroppedUrls(*event->mimeData());
  // Nothing was taken: a file manager must not delete what it dragged here.
  event->setDropAction(Qt::IgnoreAction);
  event->accept();
}

void MainWindow::AddDroppedUrls(const QMimeData& mime) {
  DroppedData drop;
  const QList<QUrl> urls = mime.urls();
  drop.onlyLocalFiles = !urls.isEmpty();
  for (const QUrl& url : urls) {
    drop.onlyLocalFiles = drop.onlyLocalFiles && url.isLocalFile();
    drop.localPaths.push_back(url.toLocalFile().toStdString());
  }
  drop.uriList = mime.data("text/uri-list").toStdString();
  drop.text = mime.text().toStdString();
  if (urlAdding_->AddDroppedTexts(DroppedTexts(drop)) > 0 || drop.onlyLocalFiles) {
    RefreshList();
  }
}

void MainWindow::OnStartupTimer() {
  if (isMinimized() && tray_->MinimiseToTrayOn()) {
    tray_->MinimiseToTray();
  }
}

// Minimise, restore and maximise come here once the window has changed. A
// hidden window's state may change with the window manager's bookkeeping:
// only what the user can see moves the window into or out of the tray.
void MainWindow::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || closing_ || !isVisible()) {
    return;
  }
  if (!isMinimized()) {
    tray_->Remove();
  } else if (tray_->MinimiseToTrayOn()) {
    // Hiding inside the state change would confuse the window manager.
    QTimer::singleShot(0, this, [this] {
      if (isMinimized() && isVisible() && !closing_) {
        tray_->MinimiseToTray();
      }
    });
  }
}

void MainWindow::ConnectHandOffs() {
  PowerControl* power = probe_.power;
  if (!power) {
    ownPower_ = std::make_unique<QtPowerControl>();
    power = ownPower_.get();
  }
  app_.handOffs().Connect(
      {countdown_.get(), &power_->ForGoodNight(*power),
       [this](Item& item) { upgrades_->Finished(item); },
       [this](EndedDownload ended) { notices_->DownloadEnded(std::move(ended)); }});
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
  list_->ClearRows();
  RefreshList();
  app_.ResumeVirusChecks();
}

void MainWindow::CheckUpgradeNow() {
  upgrades_->CheckNow();
}

}  // namespace pellmarsh
