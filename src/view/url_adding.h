#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "capture/url_form.h"
#include "platform/clock.h"
#include "platform/user_messages.h"
#include "url/local_name_registry.h"
#include "view/item_commands.h"

namespace pellmarsh {

// How the URL Properties dialog ended: a save button's result, or Cancel.
enum class UrlDialogEnd : int { kCancel = 2, kQueue = 10, kFetch = 11, kHold = 12 };

// A save button of the dialog, top to bottom. For a complete item the first
// and last are relabelled and swap their results.
struct SaveButton {
  const char* objectName;
  const char* caption;
  UrlDialogEnd end;
};
std::array<SaveButton, 3> SaveButtons(bool complete);

// Runs the URL Properties dialog on a form; the program shows the dialog,
// tests answer from a script. Called without the tree lock.
class UrlDialogPort {
 public:
  virtual ~UrlDialogPort() = default;
  virtual UrlDialogEnd RunUrlDialog(UrlForm& form, bool newItem, bool complete) = 0;
};

// Every way the window adds or edits a URL item: the URL box, the Properties
// command and drops. Runs on the window thread; holds the tree lock only
// between dialogs.
class UrlAdding {
 public:
  UrlAdding(AppState& state, LocalNameRegistry& names, ItemCommands& commands,
            UrlDialogPort& dialog, UserMessages& messages, Clock& clock)
      : state_(state),
        names_(names),
        commands_(commands),
        dialog_(dialog),
        messages_(messages),
        clock_(clock) {}

  // The dialog on an item of the tree; on a save, the fields go back into it
  // and it is queued, started or held.
  UrlDialogEnd EditUrlItem(Item& item);
  // The "&Download..." button: a new item from the URL box's text, added to
  // "_filelist" when the dialog is saved; ranges and sets in the saved URL
  // make one item per address, asking first when they make many. True when
  // any was added.
  bool DownloadTypedUrl(const std::string& urlBoxText);
  // A dropped text as one queued item; false when it is not a URL.
  bool AddDroppedUrl(const std::string& text);
  // The texts of one drop; how many became items.
  int AddDroppedTexts(const std::vector<std::string>& texts);

 private:
  void RunSaveCommand(Item& item, UrlDialogEnd end);

  AppState& state_;
  LocalNameRegistry& names_;
  ItemCommands& commands_;
  UrlDialogPort& dialog_;
  UserMessages& messages_;
  Clock& clock_;
};

}  // namespace pellmarsh
