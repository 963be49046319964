#include "ui/window_desk.h"

#include <QDesktopServices>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTabBar>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <thread>

#include "capture/url_extraction.h"
#include "desktop/qt_gui_queue.h"
#include "transfer/session/text_fetch.h"
#include "ui/download_list.h"
#include "ui/item_dialogs.h"
#include "ui/url_properties_dialog.h"

namespace pellmarsh {

WindowDesk::WindowDesk(App& app, Window window)
    : app_(app), window_(std::move(window)), urlRules_(app.tree(), app.localNames()) {}

FileExistsAnswer WindowDesk::AskFileExists(const std::string& text, const std::string& path,
                                           bool noAllButtons, bool noResumeButtons) {
  FileExistsDialog dialog(text, path, noAllButtons, noResumeButtons, app_.messages(),
                          window_.widget);
  return dialog.Ask();
}

std::optional<std::string> WindowDesk::AskNewAddress(const std::string& current) {
  AddressDialog dialog(AddressDialog::RefreshAddress(current), window_.widget);
  if (dialog.exec() != QDialog::Accepted) {
    return std::nullopt;
  }
  return dialog.address();
}

std::optional<std::string> WindowDesk::AskSumsFile() {
  AddressDialog dialog(AddressDialog::SumsFile(), window_.widget);
  if (dialog.exec() != QDialog::Accepted || dialog.address().empty()) {
    return std::nullopt;
  }
  return dialog.address();
}

std::optional<std::string> WindowDesk::FetchText(const std::string& url, std::string& error) {
  SystemResolver resolver;
  TextFetch fetch(app_.tree(), resolver, app_.clock(), url);
  QProgressDialog waiting("Fetching " + QString::fromStdString(url) + "...", "Cancel", 0, 0,
                          window_.widget);
  waiting.setObjectName("fetchingDialog");
  waiting.setWindowTitle("Pellmarsh");
  waiting.setMinimumDuration(500);
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (fetch.done()) {
      loop.quit();
    }
  });
  QObject::connect(&waiting, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
  poll.start(50);
  loop.exec();
  if (!fetch.done()) {
    error = "Given up.";
    return std::nullopt;
  }
  error = fetch.error();
  return fetch.text();
}

bool WindowDesk::ShowTransferLog(const std::string& log) {
  TransferLogDialog dialog(log, window_.widget);
  dialog.exec();
  return dialog.clearRequested();
}

bool WindowDesk::OpenDocument(const std::string& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

// The desktop shows a folder in its file manager.
bool WindowDesk::OpenFolder(const std::string& path) {
  return OpenDocument(path);
}

void WindowDesk::ForgetRow(const Item* item) {
  window_.list->ForgetRow(item);
}

int WindowDesk::CurrentTab() {
  return std::max(window_.tabs->currentIndex(), 0);
}

void WindowDesk::SelectTab(int tab) {
  window_.tabs->setCurrentIndex(tab);
}

// The command's run: the file is read and scanned without the tree lock, the
// question (if any) asked without it, and the items added in one locked step.
namespace {

// A large page takes a while to scan: the scan runs on a thread of its own
// while the window goes on painting and timing. Input waits for the end, as
// it would behind the command's own questions.
std::optional<ExtractionPlan> ScanBesideTheWindow(const ExtractionSource& source) {
  std::optional<ExtractionPlan> plan;
  QEventLoop wait;
  // Through a queue whose lock the thread sanitizer can see, unlike Qt's own.
  QtGuiQueue done;
  std::thread scan([&] {
    plan = PlanExtraction(source);
    done.Post([&wait] { wait.quit(); });
  });
  wait.exec(QEventLoop::ExcludeUserInputEvents);
  scan.join();
  return plan;
}

}  // namespace

bool WindowDesk::ExtractUrlsFromFile(Item& item) {
  const ExtractionSource source =
      app_.tree().With([&item](Item&) { return ExtractionSourceOf(item); });
  const std::optional<ExtractionPlan> plan = ScanBesideTheWindow(source);
  if (!plan) {
    return false;
  }
  if (plan->candidateCount > kExtractionAskAbove) {
    const MessageAnswer answer = app_.messages().Show(
        {ExtractionQuestion(source.value, plan->candidateCount), "Pellmarsh: Continue Extraction?",
         MessageButtons::kOkCancel, MessageIcon::kNone});
    if (answer != MessageAnswer::kOk) {
      return false;
    }
  }
  const int64_t now = app_.clock().UnixTime();
  return app_.tree().With([&](Item& root) {
    return AddExtractedUrls(root, app_.localNames(), plan->urls, now);
  }) > 0;
}

UrlDialogEnd WindowDesk::RunUrlDialog(UrlForm& form, bool newItem, bool complete) {
  UrlPropertiesDialog dialog(form, newItem, complete, urlRules_, app_.messages(), window_.widget);
  const UrlDialogEnd end = dialog.Run();
  form = dialog.form();
  return end;
}

}  // namespace pellmarsh
