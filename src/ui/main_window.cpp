#include "ui/main_window.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/speed_control.h"
#include "app/window_settings.h"
#include "store/keys.h"
#include "ui/about_box.h"
#include "ui/app_icon.h"

namespace pellmarsh {
namespace {

const char* const kTabCaptions[] = {"Pending Downloads", "Completed Downloads", "Archive",
                                    "Clipboard/Extraction"};
const char* const kColumnHeaders[] = {"Filename", "URL", "Status"};

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
  setWindowTitle("Pellmarsh");
  setObjectName("mainWindow");
  setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  BuildControls();
  BuildLayout();
}

MainWindow::~MainWindow() = default;

QPushButton* MainWindow::AddButton(const char* objectName, const char* caption, bool enabled) {
  auto* button = new QPushButton(caption);
  button->setObjectName(objectName);
  button->setAutoDefault(false);
  button->setEnabled(enabled);
  return button;
}

QPushButton* MainWindow::AddToggle(const char* objectName, const char* caption) {
  QPushButton* toggle = AddButton(objectName, caption, true);
  toggle->setCheckable(true);
  return toggle;
}

void MainWindow::BuildControls() {
  urlEdit_ = new QLineEdit;
  urlEdit_->setObjectName("urlEdit");
  tabs_ = new QTabBar;
  tabs_->setObjectName("tabs");
  tabs_->setExpanding(false);
  list_ = new QTreeWidget;
  list_->setObjectName("downloadList");
  list_->setRootIsDecorated(false);
  list_->header()->setStretchLastSection(false);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setEditTriggers(QAbstractItemView::EditKeyPressed);
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
}

void MainWindow::BuildLayout() {
  // The commands of these buttons come with later work; until then they stay disabled.
  QPushButton* download = AddButton("downloadButton", "&Download...", false);
  download->setDefault(true);
  QPushButton* settings = AddButton("settingsButton", "Se&ttings...", false);
  QPushButton* about = AddButton("aboutButton", "A&bout...", true);
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

  auto* tabRow = new QHBoxLayout;
  tabRow->addWidget(tabs_, 1);
  tabRow->addWidget(hintText_);

  auto* commandRow = new QHBoxLayout;
  for (auto [name, caption] : {std::pair{"propertiesButton", "&Properties..."},
                               {"startNowButton", "&Start Now"},
                               {"queueButton", "Add to &Queue"},
                               {"stopButton", "Sto&p"},
                               {"launchButton", "&Launch File"}}) {
    commandRow->addWidget(AddButton(name, caption, false));
  }
  commandRow->addStretch(1);
  archiveButton_ = AddButton("archiveButton", "Archive &URL", false);
  commandRow->addWidget(archiveButton_);
  commandRow->addWidget(AddButton("deleteFileButton", "Delete &File", false));

  goFastButton_ = AddToggle("goFastButton", "Go &Fast");
  pauseButton_ = AddToggle("pauseButton", "&Pause");
  offlineButton_ = AddToggle("offlineButton", "&Offline");
  goodNightButton_ = AddToggle("goodNightButton", "&Good Night");
  auto* statusRow = new QHBoxLayout;
  for (QPushButton* toggle : {goFastButton_, pauseButton_, offlineButton_, goodNightButton_}) {
    statusRow->addWidget(toggle);
  }
  connect(goFastButton_, &QPushButton::clicked, this, &MainWindow::OnGoFastClicked);
  connect(pauseButton_, &QPushButton::clicked, this, [this](bool on) { app_.state().paused = on; });
  connect(offlineButton_, &QPushButton::clicked, this, &MainWindow::OnOfflineClicked);
  connect(goodNightButton_, &QPushButton::clicked, this,
          [this](bool on) { app_.state().goodNight = on; });
  statusRow->addWidget(speedText_);
  statusRow->addWidget(rateText_);
  statusRow->addWidget(progress_, 1);

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

  list_->setColumnCount(kListColumns);
  list_->setHeaderLabels({kColumnHeaders[0], kColumnHeaders[1], kColumnHeaders[2]});
  const std::array<int, kListColumns> widths = app_.ColumnWidths();
  for (int column = 0; column < kListColumns; ++column) {
    list_->setColumnWidth(column, widths[static_cast<size_t>(column)]);
  }
  for (const char* caption : kTabCaptions) {
    tabs_->addTab(caption);
  }

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

  app_.CompleteBuiltInTree();
  app_.RestoreToggles();
  goFastButton_->setChecked(app_.state().goFast);
  offlineButton_->setChecked(app_.state().offline);

  // A close asked for while a start-up message was open ends the start-up here.
  const bool firstStart = app_.MarkFirstStart();
  if (firstStart && !quitRequested_) {
    ShowAboutBox();
    if (!quitRequested_) {
      OpenSettingsSheet();
    }
  }
  if (quitRequested_) {
    return false;
  }

  app_.events().RaiseEvent("STARTUP");
  app_.StartWorkers();
  if (loaded.report) {
    // Shown over the window once it is up; the queue runs meanwhile.
    QTimer::singleShot(0, this, [this, report = *loaded.report] { app_.messages().Show(report); });
  }
  RestoreWindowRect();
  JoinClipboardChain();
  hintText_->setText("Double Click for Properties");

  if (app_.TakeUpgradeCheckDue()) {
    StartUpgradeCheck();
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
  std::array<int, kListColumns> widths{};
  for (int column = 0; column < kListColumns; ++column) {
    widths[static_cast<size_t>(column)] = list_->columnWidth(column);
  }
  app_.StoreWindowState(
      {normal.left(), normal.top(), normal.left() + normal.width(), normal.top() + normal.height()},
      widths);
}

void MainWindow::ShowAboutBox() {
  AboutBox about(app_.state().programDir, app_.messages(), this);
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
  const WindowFocus focus{isActiveWindow(), isMinimized()};
  speedText_->setText(QString::fromStdString(app_.speed().UpdateSpeed(focus)));
  rateText_->setText(QString::fromStdString(app_.CurrentRateText()));
  const int64_t total = state.totalSize;
  // In floating point: a hundred times a huge total would overflow.
  const double share =
      total > 0 ? static_cast<double>(state.totalReceived) / static_cast<double>(total) : 0.0;
  progress_->setValue(static_cast<int>(std::clamp(share, 0.0, 1.0) * 100));
  secondTimer_->start(1000);
  app_.SaveIfRequested();
}

void MainWindow::OnGoFastClicked(bool on) {
  app_.SetGoFast(on);
}

void MainWindow::OnOfflineClicked(bool on) {
  ApplyOffline(app_.state(), on);
  goodNightButton_->setChecked(app_.state().goodNight);
}

void MainWindow::OnDisplayTimer() {
  displayTimer_->start(app_.state().commandBusy ? 100 : 5000);
}

void MainWindow::OnStartupTimer() {
  MinimiseToTray();
}

void MainWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!shownOnce_) {
    shownOnce_ = true;
    setMinimumSize(size());
  }
}

void MainWindow::MinimiseToTray() {}

void MainWindow::OpenSettingsSheet() {}

void MainWindow::JoinClipboardChain() {}

void MainWindow::StartUpgradeCheck() {}

}  // namespace pellmarsh
