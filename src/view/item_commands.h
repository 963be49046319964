#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "notify/events.h"
#include "platform/clock.h"
#include "platform/file_trash.h"
#include "platform/thread_annotations.h"
#include "platform/user_messages.h"
#include "store/item.h"
#include "url/local_name_registry.h"
#include "view/list_rows.h"

namespace pellmarsh {

// The answers of the file-exists dialog, by the ids of its buttons.
enum class FileExistsAnswer : int {
  kOverwrite = 1,
  kCancel = 2,
  kOverwriteAll = 998,
  kResume = 1057,
  kResumeAll = 1058,
};

// What the item commands need of the desktop and of the rest of the window.
// The program answers with dialogs and the shell; tests answer with scripts.
// None of these is called with the tree lock held.
class CommandDesk {
 public:
  virtual ~CommandDesk() = default;
  virtual FileExistsAnswer AskFileExists(const std::string& text, const std::string& path,
                                         bool noAllButtons, bool noResumeButtons) = 0;
  // Shows an item's log; true when the user asked to clear it.
  virtual bool ShowTransferLog(const std::string& log) = 0;
  // Open a document with its program, or a folder in the file manager.
  virtual bool OpenDocument(const std::string& path) = 0;
  virtual bool OpenFolder(const std::string& path) = 0;
  // Shows a file selected in the file manager, or else its folder.
  virtual bool ShowInFolder(const std::string& path) = 0;
  // The item is about to leave the list: its row must not outlive it.
  virtual void ForgetRow(const Item* item) = 0;
  virtual int CurrentTab() = 0;
  virtual void SelectTab(int tab) = 0;
  virtual void RefreshList() = 0;
  virtual void UpdateButtons() = 0;

  // Runs the URL Properties dialog on an item of the list and saves it.
  virtual void EditUrlItem(Item& item) = 0;
  // Asks for a new address of a download, showing its current one; nothing
  // when cancelled.
  virtual std::optional<std::string> AskNewAddress(const std::string& current) = 0;
  // Asks for a sums file, a URL or a local path; nothing when cancelled.
  virtual std::optional<std::string> AskSumsFile() = 0;
  // Fetches a small text file while the user waits; nothing, with `error`,
  // when it could not be had or the user gave up.
  virtual std::optional<std::string> FetchText(const std::string& url, std::string& error) = 0;
  // The URL extraction comes with later work.
  // True when URLs were added to "_fileclip".
  virtual bool ExtractUrlsFromFile(Item& item) = 0;
};

// Deletes the file an item names, when it is a regular file: never a
// directory, never what a symbolic link points at. True when it was deleted.
bool DeleteItemFile(const std::string& path);
// The same file moved to the desktop's Trash instead. True when it went.
bool TrashItemFile(const std::string& path, FileTrash& trash);

// The item commands over the list's selection. Runs on the window
// thread; takes the tree lock only between questions.
class ItemCommands {
 public:
  ItemCommands(AppState& state, UserMessages& messages, FileTrash& trash, EventSink& events,
               LocalNameRegistry& localNames, CommandDesk& desk, Clock& clock)
      : state_(state),
        messages_(messages),
        trash_(trash),
        events_(events),
        localNames_(localNames),
        desk_(desk),
        clock_(clock) {}

  // The items of the selected rows in list order (or the focused row's item).
  // Archiving or deleting URLs asks first, No being the default answer.
  void RunItemCommand(ItemCommand command, const std::vector<Item*>& selection);

  // One item; returns the carry for the next. The URL Properties dialog and
  // URL capture call it directly and sound nothing.
  enum Carry : int { kCarryStop = -1, kCarryNone = 0, kCarryOverwrite = 1, kCarryResume = 2 };
  int ApplyItemCommand(Item& item, ItemCommand command, int carry, bool single);
  // A command on one item outside any selection run (a saved URL dialog, a
  // drop): it sounds nothing, now or at the end of a run it happens inside.
  void ApplyDirectly(Item& item, ItemCommand command, bool single);

  // "Delete all files" state, carried across the selection.
  enum DeletePrompt : int {
    kPromptSeveral = 1,
    kPromptDeleteAll = 2,
    kPromptAsk = 3,
    kPromptCancelled = 5,
  };
  // Asks about the item's file by the prompt state and returns the new state.
  // Unless cancelled, it then moves the file to the Trash if so answered (or
  // deletes it for good where its filesystem has none, which the question
  // says) and makes `then`'s change to the item, both under the tree lock and
  // neither when the virus checker has taken the item meanwhile (the user is
  // told).
  int OfferFileDelete(Item& item, int prompt, const std::function<void()>& then = {});
  bool LaunchItemFile(Item& item);

  // Removes a URL item and every reference to it; its file stays. False, and
  // the item kept, while the virus checker holds it.
  bool DeleteUrl(Item& item) REQUIRES(state_.tree.lock());

  const std::string& pendingEvent() const { return pendingEvent_; }
  void set_deletePrompt(int prompt) { deletePrompt_ = prompt; }

 private:
  void RunOverSelection(ItemCommand command, const std::vector<Item*>& selection);
  // Asks whether the selection's URLs leave their tab; true to go on. Asks
  // nothing when none of them can (running, or being checked): each then
  // says why on its own.
  bool ConfirmArchiveOrDelete(const std::vector<Item*>& selection);
  int ArchiveOrDelete(Item& item, bool single);
  void EditProperties(Item& item);
  void RefreshAddress(Item& item);
  // Fills the selected downloads' checksums from a sums file the user names.
  void CheckAgainstSums(const std::vector<Item*>& selection);
  // An item whose new address served another file starts over only if the
  // user says so; false when not.
  bool ConfirmStartOver(Item& item);
  // What the commands decide on, read under the tree lock in one go.
  struct Facts {
    int status = 0;
    int verdict = 0;
    bool checking = false;
    bool archived = false;
    bool resume = false;
    bool finished = false;
    bool noResumeServer = false;
    std::string local;
    std::string file;  // where its bytes are: the unfinished file until complete
    bool ownsFiles = false;
    bool virusCheckOn = false;
  };
  Facts ReadFacts(const Item& item);

  int Queue(Item& item, ItemCommand command, int carry, bool single);
  bool ClearTheWay(Item& item, const Facts& facts, int& carry, bool single);
  void Stop(Item& item);
  void Pause(Item& item);
  void Launch(Item& item);
  void ShowInFolder(Item& item);
  void ViewLog(Item& item);
  int DeleteFile(Item& item);
  int Nuke(Item& item);
  // The prompt state after asking about one file, and whether it goes.
  struct FileAnswer {
    int prompt;
    bool remove;
  };
  FileAnswer AskFileDelete(const std::string& local, int prompt, bool toTrash);
  // Makes the change under the tree lock unless the virus checker holds the
  // item, which it may have taken while a question was open; then says so.
  bool ChangeUnlessChecking(Item& item, const std::function<void()>& change);
  void VirusCheck(Item& item);
  void ExtractUrls(Item& item);

  void Archive(Item& item) REQUIRES(state_.tree.lock());
  void SetStatus(Item& item, int status) REQUIRES(state_.tree.lock());

  void Say(const std::string& text) EXCLUDES(state_.tree.lock());

  AppState& state_;
  UserMessages& messages_;
  FileTrash& trash_;
  EventSink& events_;
  LocalNameRegistry& localNames_;
  CommandDesk& desk_;
  Clock& clock_;
  std::string pendingEvent_;
  int deletePrompt_ = kPromptAsk;
};

}  // namespace pellmarsh
