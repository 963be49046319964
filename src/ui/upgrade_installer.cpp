#include "ui/upgrade_installer.h"

#include <sys/stat.h>

#include <QTimer>
#include <fstream>

#include "platform/files.h"
#include "platform/program_version.h"
#include "store/keys.h"

namespace pellmarsh {
namespace {

constexpr const char* kUpgradeLaterCaption = "Pellmarsh: Upgrade Later";

// A file fetched over the network must never become runnable by our doing:
// whatever its bits were (a resumed file keeps its own), execute goes.
void DropExecutePermission(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    ::chmod(path.c_str(), info.st_mode & ~static_cast<mode_t>(S_IXUSR | S_IXGRP | S_IXOTH));
  }
}

}  // namespace

void UpgradeInstaller::Finished(Item& item) {
  const auto kind = static_cast<UpgradeKind>(item.GetPropInt(key::kAutoUpdate));
  if (kind != UpgradeKind::kCheckPage && kind != UpgradeKind::kProgram) {
    return;
  }
  // The questions wait for the user, which the scheduler holding the tree
  // lock must not: the window thread takes it from here.
  guiQueue_.Post(
      [this, item = &item, kind, local = item.GetProp(key::kLocal)] { Handle(item, kind, local); });
}

bool UpgradeInstaller::StartCheck() {
  Tree::Access tree(app_.tree());
  return StartUpgradeDownload(tree.root(), app_.localNames(), app_.clock().UnixTime(),
                              UpgradeKind::kCheckPage) != nullptr;
}

void UpgradeInstaller::CheckNow() {
  if (StartCheck()) {
    app_.state().startWalkDue.Raise();
  } else {
    app_.messages().Show({"No upgrade site is set."});
  }
}

bool UpgradeInstaller::StillThere(Item* item, UpgradeKind kind, const std::string& local) {
  bool found = false;
  app_.tree().root().ForEach([&found, item](Item& candidate) { found |= &candidate == item; });
  return found && item->GetPropInt(key::kAutoUpdate) == static_cast<int>(kind) &&
         item->GetProp(key::kLocal) == local;
}

void UpgradeInstaller::Handle(Item* item, UpgradeKind kind, const std::string& local) {
  // A command waiting on a question holds items this would delete: after it.
  if (app_.state().commandBusy) {
    QTimer::singleShot(100, &guiQueue_, [this, item, kind, local] { Handle(item, kind, local); });
    return;
  }
  {
    Tree::Access tree(app_.tree());
    if (!StillThere(item, kind, local)) {
      return;
    }
  }
  if (kind == UpgradeKind::kProgram) {
    AskToInstall(local);
    return;
  }
  OfferNewVersion(local);
  DeleteItemFile(local);
  Tree::Access tree(app_.tree());
  if (StillThere(item, kind, local)) {
    commands_.DeleteUrl(*item);
  }
}

void UpgradeInstaller::OfferNewVersion(const std::string& local) {
  std::ifstream page(local);
  const std::optional<std::string> offered = NewestVersionOffered(page);
  if (!offered) {
    return;
  }
  const UserMessage question{
      "Version " + *offered + " of Pellmarsh is available.\r\nYou are running version " +
          std::string(kProgramVersion) + ".\r\n\r\nWould you like to download the new version now?",
      "Pellmarsh: Upgrade Available!", MessageButtons::kYesNo};
  const MessageAnswer answer = app_.messages().Show(question);
  if (desk_.closing()) {
    return;
  }
  if (answer == MessageAnswer::kYes) {
    Tree::Access tree(app_.tree());
    StartUpgradeDownload(tree.root(), app_.localNames(), app_.clock().UnixTime(),
                         UpgradeKind::kProgram);
    app_.state().startWalkDue.Raise();
  } else {
    app_.messages().Show(
        {"To upgrade later, click the \"Check Upgrade\" button\r\nin the "
         "Settings dialog, under Miscellaneous.",
         kUpgradeLaterCaption});
  }
}

void UpgradeInstaller::AskToInstall(const std::string& local) {
  if (!FileExists(local)) {
    return;
  }
  DropExecutePermission(local);
  const UserMessage question{"Would you like to install the new Pellmarsh now?",
                             "Pellmarsh: Upgrade Now?", MessageButtons::kYesNo};
  if (app_.messages().Show(question) != MessageAnswer::kYes) {
    if (desk_.closing()) {
      return;
    }
    app_.messages().Show(
        {"You can launch the upgrade manually whenever you want.", kUpgradeLaterCaption});
    return;
  }
  // Whatever a redirect named it (a desktop entry, a script), the file is
  // only shown: the user installs it knowing what it is.
  const bool shown = desk_.showFile(local);
  app_.messages().Show({"The new Pellmarsh is saved as\r\n" + local + "\r\n\r\n" +
                            (shown ? "Its folder is open in your file manager: install it from "
                                     "there once Pellmarsh has closed."
                                   : "Install it from there once Pellmarsh has closed."),
                        "Pellmarsh: Upgrade Now"});
  app_.state().noExitPrompt = true;
  desk_.requestClose();
}

}  // namespace pellmarsh
