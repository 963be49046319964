#include "viruscheck/virus_checker.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/process.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "transfer/session_log.h"
#include "viruscheck/virus_check_rules.h"

namespace pellmarsh {

// What one check needs, read from the tree under its lock.
struct VirusChecker::Request {
  std::string program;
  std::string command;
  std::string local;
  std::string infected;
  std::string clean;
  std::string failed;
  bool deleteInfected = false;
  // The file as it was before the check, so that only that file is deleted.
  bool regularFile = false;
  dev_t device = 0;
  ino_t inode = 0;
};

void VirusChecker::Loop() {
  while (shared_.thread == VirusThreadState::kRunning) {
    // A queue is checked at the old half-second pace; with nothing to check
    // the thread sleeps until there is, as a wake-up of a large idle process
    // costs more than the look.
    clock_.SleepMsUnless(HasWork() ? 500 : kIdleWaitMs, shared_.work);
    shared_.work.Take();
    if (!shared_.halted && shared_.thread == VirusThreadState::kRunning) {
      CheckHead();
    }
  }
  shared_.thread = VirusThreadState::kStopped;
}

bool VirusChecker::HasWork() {
  Tree::Access tree(tree_);
  return !shared_.halted && !shared_.queue(tree_.lock()).empty();
}

bool VirusChecker::CheckHead() {
  Item* item = nullptr;
  Request request;
  {
    Tree::Access tree(tree_);
    if (shared_.queue(tree_.lock()).empty()) {
      return true;
    }
    item = shared_.queue(tree_.lock()).front();
    item->SetPropInt(key::kVirusChecking, 1);
    request.program = tree->GetProp(setting::kVirusProgram);
    request.command = tree->GetProp(setting::kVirusCommand);
    request.infected = tree->GetProp(setting::kVirusReturns);
    request.clean = tree->GetProp(setting::kVirusReturnsGood);
    request.failed = tree->GetProp(setting::kVirusReturnsFail);
    request.deleteInfected = tree->GetPropEnum(setting::kVirusAlert) == InfectedFileAction::kDelete;
    request.local = item->GetProp(key::kLocal);
  }
  if (request.program.empty()) {
    return Halt(item, "You have not set up a virus check program.");
  }
  if (request.command.empty()) {
    request.command = "%1";
  }
  if (request.command.find("%1") == std::string::npos) {
    return Halt(item,
                "You need to configure the command line for your virus checker in Pellmarsh's "
                "virus setup page.  There is no %1 to put the filename of the file to check!");
  }
  struct stat before {};
  if (::lstat(request.local.c_str(), &before) == 0 && S_ISREG(before.st_mode)) {
    request.regularFile = true;
    request.device = before.st_dev;
    request.inode = before.st_ino;
  }
  // A checker given by name runs from a folder of PATH: the log says which file.
  const std::string found = FindProgram(request.program);
  {
    Tree::Access tree(tree_);
    AppendLogLine(*item, clock_.TickCount(),
                  "Virus checking: " + (found.empty() ? request.program : found) + " " +
                      CheckerCommandLine(request.command, request.local));
  }

  const ProcessExit exit =
      RunProgram(CheckerArguments(request.program, request.command, request.local),
                 [this] { return shared_.thread != VirusThreadState::kRunning; });
  if (!exit.started) {
    {
      Tree::Access tree(tree_);
      AppendLogLine(*item, clock_.TickCount(), "Could not spawn virus checker.");
      item->SetPropInt(key::kVirusCheck, kVirusUnchecked);
    }
    return Halt(item,
                "Virus Check System Failure.  Please confirm the settings for virus check "
                "software.");
  }
  if (exit.stopped) {
    // Checked again, from the head of the queue, at the next start.
    Tree::Access tree(tree_);
    item->SetPropInt(key::kVirusChecking, 0);
    return true;
  }
  return Record(item, request, exit.exitCode);
}

bool VirusChecker::Halt(Item* item, const std::string& message) {
  messages_.Show({message, "Pellmarsh", MessageButtons::kOk, MessageIcon::kExclamation});
  Tree::Access tree(tree_);
  if (!shared_.queue(tree_.lock()).empty() && shared_.queue(tree_.lock()).front() == item) {
    item->SetPropInt(key::kVirusChecking, 0);
  }
  shared_.halted = true;
  return false;
}

bool VirusChecker::Record(Item* item, const Request& request, int exitCode) {
  VirusVerdict verdict = kVirusUnknown;
  {
    Tree::Access tree(tree_);
    // A command may have taken the item away while the checker ran.
    if (shared_.queue(tree_.lock()).empty() || shared_.queue(tree_.lock()).front() != item) {
      return true;
    }
    const struct {
      const std::string& list;
      VirusVerdict verdict;
      const char* label;
    } lists[] = {{request.infected, kVirusInfected, "File INFECTED"},
                 {request.clean, kVirusClean, "File CLEAN"},
                 {request.failed, kVirusCheckError, "Failed to check"}};
    std::string line = "Virus check returned: " + std::to_string(exitCode) +
                       " (unknown value, please update Pellmarsh settings)";
    for (const auto& [list, listVerdict, label] : lists) {
      if (CodeListHolds(list, exitCode)) {
        verdict = listVerdict;
        line = "Virus check returned: " + std::to_string(exitCode) + " (" + label + ")";
        break;
      }
    }
    item->SetPropInt(key::kVirusCheck, verdict);
    AppendLogLine(*item, clock_.TickCount(), line);
    if (listener_ != nullptr) {
      listener_->VerdictRecorded(tree_.lock(), *item, verdict, clock_.TickCount());
    }
    listDirty_ = true;
    shared_.queue(tree_.lock()).pop_front();
    // Out of the queue, the item is no longer ours to touch once unlocked.
    item->SetPropInt(key::kVirusChecking, 0);
  }
  if (verdict == kVirusInfected) {
    events_.RaiseEvent("INFECTED");
    if (request.deleteInfected) {
      DeleteIfUnchanged(request);
    }
  } else if (verdict == kVirusClean) {
    events_.RaiseEvent("CLEAN");
  }
  return true;
}

void VirusChecker::DeleteIfUnchanged(const Request& request) {
  struct stat now {};
  if (request.regularFile && ::lstat(request.local.c_str(), &now) == 0 && S_ISREG(now.st_mode) &&
      now.st_dev == request.device && now.st_ino == request.inode) {
    ::unlink(request.local.c_str());
  }
}

}  // namespace pellmarsh
