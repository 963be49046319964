#pragma once

#include <functional>
#include <string>

#include "app/app.h"
#include "app/upgrade_check.h"
#include "desktop/qt_gui_queue.h"
#include "platform/thread_annotations.h"
#include "view/item_commands.h"

namespace pellmarsh {

// The upgrade check's two downloads, handled on the window thread: the
// page's offer and the install question. Construct it on the window thread.
class UpgradeInstaller {
 public:
  struct Desk {
    // Closes the window without the exit question.
    std::function<void()> requestClose;
    // Shows the downloaded program in the file manager, never opening it:
    // true when a folder was shown.
    std::function<bool(const std::string&)> showFile;
    // True once the window is closing: a question it closed was not answered No.
    std::function<bool()> closing;
  };
  UpgradeInstaller(App& app, ItemCommands& commands, Desk desk)
      : app_(app), commands_(commands), desk_(std::move(desk)) {}

  // From the scheduler thread with the tree lock held: hands the finished
  // item over and returns at once.
  void Finished(Item& item);
  // Queues the check page; false when no upgrade site is set.
  bool StartCheck();
  // The settings sheet's "Check Now": says so when no site is set.
  void CheckNow();

 private:
  // The installer reaches the tree lock through the App and the commands
  // through their own state, which the analysis cannot tell are one lock.
  void Handle(Item* item, UpgradeKind kind, const std::string& local) NO_THREAD_SAFETY_ANALYSIS;
  // Whether the item is still in the tree as it was handed over: the user may
  // have deleted it meanwhile.
  bool StillThere(Item* item, UpgradeKind kind, const std::string& local)
      REQUIRES(app_.tree().lock());
  void OfferNewVersion(const std::string& local);
  void AskToInstall(const std::string& local);

  App& app_;
  ItemCommands& commands_;
  Desk desk_;
  QtGuiQueue guiQueue_;
};

}  // namespace pellmarsh
