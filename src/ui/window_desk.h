#pragma once

#include <functional>
#include <string>

#include "app/app.h"
#include "capture/url_form.h"
#include "view/item_commands.h"
#include "view/url_adding.h"

class QTabBar;
class QWidget;

namespace pellmarsh {

class DownloadList;

// The main window as the item commands and the URL adding see it: the
// questions and dialogs they ask over it, and its list and tabs.
class WindowDesk final : public CommandDesk, public UrlDialogPort {
 public:
  // What the desk reaches of the window; the window outlives the desk.
  struct Window {
    QWidget* widget;  // the parent of every dialog
    DownloadList* list;
    QTabBar* tabs;
    std::function<void()> refreshList;
    std::function<void()> updateButtons;
    std::function<void(Item&)> editUrlItem;
    std::function<bool(const std::string&)> showInFolder;
  };
  WindowDesk(App& app, Window window);

  // CommandDesk
  FileExistsAnswer AskFileExists(const std::string& text, const std::string& path,
                                 bool noAllButtons, bool noResumeButtons) override;
  bool ShowTransferLog(const std::string& log) override;
  bool OpenDocument(const std::string& path) override;
  bool OpenFolder(const std::string& path) override;
  bool ShowInFolder(const std::string& path) override { return window_.showInFolder(path); }
  void ForgetRow(const Item* item) override;
  int CurrentTab() override;
  void SelectTab(int tab) override;
  void RefreshList() override { window_.refreshList(); }
  void UpdateButtons() override { window_.updateButtons(); }
  void EditUrlItem(Item& item) override { window_.editUrlItem(item); }
  bool ExtractUrlsFromFile(Item& item) override;
  std::optional<std::string> AskNewAddress(const std::string& current) override;
  std::optional<std::string> AskSumsFile() override;
  std::optional<std::string> FetchText(const std::string& url, std::string& error) override;

  // UrlDialogPort
  UrlDialogEnd RunUrlDialog(UrlForm& form, bool newItem, bool complete) override;

 private:
  App& app_;
  Window window_;
  UrlFormRules urlRules_;
};

}  // namespace pellmarsh
