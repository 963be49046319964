#include "view/item_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "capture/url_item.h"
#include "checksum/sums_file.h"
#include "platform/files.h"
#include "store/data_file.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/number_text.h"
#include "transfer/resume_servers.h"
#include "transfer/unfinished_file.h"
#include "url/local_naming.h"
#include "url/url_parser.h"
#include "view/sums_filling.h"

namespace pellmarsh {
namespace {

constexpr const char* kBeingChecked =
    "File currently being checked for viruses.  Please wait until this completes before "
    "deleting it!";
// A hurried Enter must not delete anything.
MessageAnswer AskToDelete(UserMessages& messages, std::string text, std::string caption) {
  return messages.Show({std::move(text), std::move(caption), MessageButtons::kYesNoCancel,
                        MessageIcon::kQuestion, MessageAnswer::kNo});
}

// Asked before URLs leave their tab: the download tabs archive them, the
// Archive and the clipboard list delete them. A hurried Enter keeps them.
UserMessage LeaveListQuestion(bool archiving, size_t count, const std::string& firstUrl) {
  const std::string what = count == 1 ? firstUrl : "these " + FormatInteger(count) + " URLs";
  const std::string caption = archiving ? "Pellmarsh: Archive URL" : "Pellmarsh: Delete URL";
  return {archiving ? "Move " + what + " to the Archive?" : "Delete " + what + " from the list?",
          caption + (count == 1 ? "?" : "s?"), MessageButtons::kYesNo, MessageIcon::kQuestion,
          MessageAnswer::kNo};
}

// Never a directory, never what a symbolic link points at.
bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool HasTransfer(AppState& state, const Item& item) REQUIRES(state.tree.lock()) {
  return std::ranges::any_of(state.activeTransfers,
                             [&item](const auto& transfer) { return transfer->item() == &item; });
}

}  // namespace

bool DeleteItemFile(const std::string& path) {
  return IsRegularFile(path) && ::unlink(path.c_str()) == 0;
}

bool TrashItemFile(const std::string& path, FileTrash& trash) {
  return IsRegularFile(path) && trash.MoveToTrash(path);
}

void ItemCommands::RunItemCommand(ItemCommand command, const std::vector<Item*>& selection) {
  pendingEvent_.clear();
  while (state_.saving) {
    clock_.SleepMs(100);
  }
  state_.commandBusy = true;
  if (command == kCommandPauseOrResume) {
    Tree::Access tree(state_.tree);
    const bool anyPaused = std::ranges::any_of(selection, [](const Item* item) {
      return item->GetPropInt(key::kStatus) == kStatusPaused;
    });
    command = anyPaused ? kCommandResume : kCommandPause;
  }
  if (command == kCommandCheckSums) {
    CheckAgainstSums(selection);
  } else if (command != kCommandArchiveOrDelete || ConfirmArchiveOrDelete(selection)) {
    // The Delete key runs this as the button does: a slip of either asks first.
    RunOverSelection(command, selection);
  }
  state_.commandBusy = false;
}

void ItemCommands::RunOverSelection(ItemCommand command, const std::vector<Item*>& selection) {
  const bool single = selection.size() == 1;
  deletePrompt_ = single ? kPromptAsk : kPromptSeveral;
  int carry = kCarryNone;
  for (Item* item : selection) {
    carry = ApplyItemCommand(*item, command, carry, single);
    if (carry == kCarryStop) {
      break;
    }
  }
  if (!pendingEvent_.empty()) {
    events_.RaiseEvent(pendingEvent_);
  }
  desk_.RefreshList();
  desk_.UpdateButtons();
  // Keep what the command changed even if the program does not end cleanly.
  RequestSave(state_.saveRequested);
}

bool ItemCommands::ConfirmArchiveOrDelete(const std::vector<Item*>& selection) {
  size_t leaving = 0;
  bool archiving = true;
  std::string firstUrl;
  {
    Tree::Access tree(state_.tree);
    for (const Item* item : selection) {
      const int status = item->GetPropInt(key::kStatus);
      if (status >= kStatusTransferring || item->GetPropInt(key::kVirusChecking) != 0) {
        continue;
      }
      if (leaving++ == 0) {
        firstUrl = item->GetProp(key::kValue);
      }
      archiving = archiving && status != kStatusClipped && item->GetPropInt(key::kArchived) == 0;
    }
  }
  return leaving == 0 ||
         messages_.Show(LeaveListQuestion(archiving, leaving, firstUrl)) == MessageAnswer::kYes;
}

int ItemCommands::ApplyItemCommand(Item& item, ItemCommand command, int carry, bool single) {
  switch (command) {
    case kCommandArchiveOrDelete:
      return ArchiveOrDelete(item, single) == kCarryStop ? kCarryStop : carry;
    case kCommandEditProperties:
      EditProperties(item);
      return kCarryStop;
    case kCommandStartNow:
    case kCommandQueue:
      return Queue(item, command, carry, single);
    case kCommandStop:
      Stop(item);
      return carry;
    case kCommandPause:
    case kCommandPauseOrResume:
      Pause(item);
      return carry;
    case kCommandResume:
      return ReadFacts(item).status == kStatusPaused ? Queue(item, kCommandQueue, carry, single)
                                                     : carry;
    case kCommandLaunch:
      Launch(item);
      return kCarryStop;
    case kCommandViewLog:
      ViewLog(item);
      return carry;
    case kCommandDeleteFile:
      return DeleteFile(item) == kPromptCancelled ? kCarryStop : carry;
    case kCommandNuke:
      return Nuke(item) == kPromptCancelled ? kCarryStop : carry;
    case kCommandVirusCheck:
      VirusCheck(item);
      return carry;
    case kCommandExtractUrls:
      ExtractUrls(item);
      return carry;
    case kCommandShowInFolder:
      ShowInFolder(item);
      return kCarryStop;
    case kCommandRefreshAddress:
      RefreshAddress(item);
      return kCarryStop;
    case kCommandCheckSums:
      return kCarryStop;
  }
  return carry;
}

void ItemCommands::ApplyDirectly(Item& item, ItemCommand command, bool single) {
  const std::string outerEvent = pendingEvent_;
  ApplyItemCommand(item, command, kCarryNone, single);
  pendingEvent_ = outerEvent;
}

ItemCommands::Facts ItemCommands::ReadFacts(const Item& item) {
  Tree::Access tree(state_.tree);
  Facts facts;
  facts.status = item.GetPropInt(key::kStatus);
  facts.verdict = item.GetPropInt(key::kVirusCheck);
  facts.checking = item.GetPropInt(key::kVirusChecking) != 0;
  facts.archived = item.GetPropInt(key::kArchived) != 0;
  facts.resume = item.GetPropInt(key::kResume) != 0;
  facts.finished = item.GetPropInt64(key::kFinish) > 0;
  facts.noResumeServer = IsBuggyResumeServer(item);
  facts.local = item.GetProp(key::kLocal);
  facts.file = ItemFileOf(item);
  facts.ownsFiles = tree->GetPropInt(setting::kOwnsFiles) != 0;
  facts.virusCheckOn = tree->GetPropEnum(setting::kVirusCheck) != VirusCheckMode::kOff;
  return facts;
}

void ItemCommands::Say(const std::string& text) {
  messages_.Show({text, "Pellmarsh", MessageButtons::kOk, MessageIcon::kExclamation});
}

void ItemCommands::SetStatus(Item& item, int status) {
  item.SetPropInt(key::kStatus, status);
  state_.listDirty = true;
  if (status == kStatusQueued || status == kStatusStartNow) {
    state_.startWalkDue.Raise();  // started at the scheduler's next pass
  }
}

int ItemCommands::ArchiveOrDelete(Item& item, bool single) {
  const Facts facts = ReadFacts(item);
  if (facts.checking) {
    Say(kBeingChecked);
    return kCarryNone;
  }
  if (facts.status >= kStatusTransferring) {
    if (single) {
      Say("That item is busy and cannot be deleted.  To delete it, you must first STOP its "
          "transfer.");
    }
    return kCarryNone;
  }
  const auto deleteUrl = [this, &item]() REQUIRES(state_.tree.lock()) {
    DeleteUrl(item);
    pendingEvent_ = "DELETE";
  };
  if (facts.status != kStatusClipped) {
    if (!facts.archived) {
      ChangeUnlessChecking(item, [this, &item]() REQUIRES(state_.tree.lock()) {
        Archive(item);
        pendingEvent_ = "ARCHIVE";
      });
      return kCarryNone;
    }
    if (facts.ownsFiles) {
      deletePrompt_ = OfferFileDelete(item, deletePrompt_, deleteUrl);
      return deletePrompt_ == kPromptCancelled ? kCarryStop : kCarryNone;
    }
  }
  ChangeUnlessChecking(item, deleteUrl);
  return kCarryNone;
}

bool ItemCommands::ChangeUnlessChecking(Item& item, const std::function<void()>& change) {
  {
    Tree::Access tree(state_.tree);
    if (item.GetPropInt(key::kVirusChecking) == 0) {
      change();
      return true;
    }
  }
  Say(kBeingChecked);
  return false;
}

void ItemCommands::Archive(Item& item) {
  Item* parent = item.Parent();
  if (parent == nullptr) {
    return;
  }
  desk_.ForgetRow(&item);
  const int status = item.GetPropInt(key::kStatus);
  std::unique_ptr<Item> moved = parent->DetachChild(&item);
  state_.tree.root().FindOrCreateChild(folder::kFileArchive).AddChild(std::move(moved));
  item.SetPropInt(key::kArchived, 1);
  item.SetProp(key::kLog, "");
  if (status != kStatusComplete && status != kStatusFailed) {
    SetStatus(item, kStatusOnHold);
  }
}

bool ItemCommands::DeleteUrl(Item& item) {
  Item* parent = item.Parent();
  // The virus thread holds on to the item it checks.
  if (parent == nullptr || item.GetPropInt(key::kVirusChecking) != 0) {
    return false;
  }
  desk_.ForgetRow(&item);
  // Nothing may keep pointing at the item once it is gone.
  if (state_.clipAndGoItem == &item) {
    state_.clipAndGoItem = nullptr;
  }
  std::erase(state_.virusCheck.queue(state_.tree.lock()), &item);
  state_.afterDownload.Forget(state_.tree.lock(), item);
  for (const std::unique_ptr<Transfer>& transfer : state_.activeTransfers) {
    if (transfer->item() == &item) {
      transfer->DetachItem();
    }
  }
  const std::string local = item.GetProp(key::kLocal);
  if (!local.empty() && localNames_.IsTaken(local)) {
    localNames_.Release(local);
  }
  parent->DetachChild(&item);
  state_.listDirty = true;
  return true;
}

void ItemCommands::RefreshAddress(Item& item) {
  const std::string current = [&] {
    Tree::Access tree(state_.tree);
    return item.GetProp(key::kValue);
  }();
  const std::optional<std::string> typed = desk_.AskNewAddress(current);
  if (!typed) {
    return;
  }
  const std::string text = ExpandTypedUrl(*typed);
  if (const std::string problem = UrlProblem(text); !problem.empty()) {
    Say(problem + ": " + *typed);
    return;
  }
  Tree::Access tree(state_.tree);
  // Stopped or started meanwhile: only an idle item takes a new address.
  if (item.GetPropInt(key::kStatus) < kStatusTransferring) {
    TakeNewAddress(item, FormatUrl(*ParseUrlCopy(text)));
    state_.listDirty = true;
  }
}

void ItemCommands::CheckAgainstSums(const std::vector<Item*>& selection) {
  const std::optional<std::string> source = desk_.AskSumsFile();
  if (!source) {
    return;
  }
  std::string error;
  const std::optional<std::string> text = ReadSumsSource(
      *source,
      [this](const std::string& url, std::string& why) { return desk_.FetchText(url, why); },
      error);
  if (!text) {
    Say("Couldn't read the sums file " + *source + ": " + error);
    return;
  }
  const std::map<std::string, Checksum> sums = ReadSumsFile(*text);
  int filled = 0;
  {
    Tree::Access tree(state_.tree);
    filled = FillChecksums(sums, selection);
  }
  if (filled == 0) {
    Say(sums.empty() ? "The sums file " + *source + " lists no checksums."
                     : "The sums file lists none of the selected downloads.");
    return;
  }
  RequestSave(state_.saveRequested);
  messages_.Show({"Checksums set for " + std::to_string(filled) + " of the " +
                      std::to_string(selection.size()) + " selected downloads.",
                  "Pellmarsh", MessageButtons::kOk, MessageIcon::kInformation});
}

bool ItemCommands::ConfirmStartOver(Item& item) {
  std::string question;
  {
    Tree::Access tree(state_.tree);
    if (item.GetPropInt(key::kOtherFile) != 0) {
      question =
          "The new address of this download serves another file than the one it holds parts "
          "of.\n\nStart over from the new address?  The parts held so far will be deleted.";
    } else if (item.GetPropInt(key::kChecksumMismatch) != 0) {
      question =
          "The bytes of this download do not match its checksum.\n\n"
          "Start over?  The bytes held so far will be deleted.";
    } else {
      return true;
    }
  }
  const MessageAnswer answer =
      messages_.Show({question, "Pellmarsh: Start Over?", MessageButtons::kYesNo,
                      MessageIcon::kQuestion, MessageAnswer::kNo});
  if (answer != MessageAnswer::kYes) {
    return false;
  }
  Tree::Access tree(state_.tree);
  ForgetHeldBytes(item);
  return true;
}

void ItemCommands::EditProperties(Item& item) {
  if (ReadFacts(item).status >= kStatusTransferring) {
    Say("That item is busy and cannot be edited.  To modify it, you must STOP its transfer.");
  } else {
    desk_.EditUrlItem(item);
  }
}

int ItemCommands::Queue(Item& item, ItemCommand command, int carry, bool single) {
  if (!ConfirmStartOver(item)) {
    return carry;
  }
  const Facts facts = ReadFacts(item);
  const int status = facts.status;
  if (status >= kStatusTransferring) {
    if (single) {
      Say("That item is already being transferred!");
    }
    return carry;
  }
  if (status != kStatusQueued && !facts.resume && FileExists(facts.local)) {
    if (!ClearTheWay(item, facts, carry, single)) {
      return carry;
    }
  }
  Tree::Access tree(state_.tree);
  // Its own unfinished file is no one else's: the download goes on from it.
  if (facts.file != facts.local && status != kStatusComplete) {
    item.SetPropInt(key::kResume, 1);
  }
  // A clipboard record held no name; the download takes one now.
  if (Item* parent = item.Parent(); parent && parent == tree->FindChild(folder::kFileClip)) {
    MoveItemToLocalPath(item, localNames_.MakeUniqueLocalPath(item.GetProp(key::kLocal)));
  }
  if (item.GetPropInt(key::kArchived) != 0 || status == kStatusClipped) {
    if (Item* parent = item.Parent()) {
      desk_.ForgetRow(&item);
      std::unique_ptr<Item> moved = parent->DetachChild(&item);
      tree->FindOrCreateChild(folder::kFileList).AddChild(std::move(moved));
    }
  }
  for (PropKey zeroed : {key::kRetryCount, key::kRetryTimeout, key::kRetryDelay, key::kArchived}) {
    item.SetPropInt(zeroed, 0);
  }
  item.SetProp(key::kError, "");
  item.SetProp(key::kProcess, "Starting!");
  pendingEvent_ = "QUEUE";
  SetStatus(item, command == kCommandStartNow ? kStatusStartNow : kStatusQueued);
  return carry;
}

// The item's file is on disk already: overwrite it, resume it, or leave the
// item unqueued (false). Updates the carry for the next item.
bool ItemCommands::ClearTheWay(Item& item, const Facts& facts, int& carry, bool single) {
  bool askAgain = carry == kCarryNone;
  const std::string& local = facts.local;
  const bool noResumeServer = facts.noResumeServer;
  if (carry == kCarryNone) {
    const std::string text = "File Overwrite Alert\n\n" + local +
                             " exists on your system already.\n\nDo you want to overwrite it, "
                             "or resume a failed transfer?";
    switch (
        desk_.AskFileExists(text, local, single, single && (facts.finished || noResumeServer))) {
      case FileExistsAnswer::kResume:
        carry = kCarryResume;
        break;
      case FileExistsAnswer::kResumeAll:
        carry = kCarryResume;
        askAgain = false;
        break;
      case FileExistsAnswer::kOverwrite:
        carry = kCarryOverwrite;
        break;
      case FileExistsAnswer::kOverwriteAll:
        carry = kCarryOverwrite;
        askAgain = false;
        break;
      case FileExistsAnswer::kCancel:
        carry = kCarryStop;
        break;
    }
  }
  if (carry == kCarryStop || carry == kCarryNone) {
    return false;
  }
  // A server that cannot resume makes this item start over; the others of a
  // "Resume All" keep their partial files.
  if (carry == kCarryOverwrite || noResumeServer) {
    DeleteItemFile(local);
  } else {
    Tree::Access tree(state_.tree);
    item.SetPropInt(key::kResume, 1);
    MoveBytesAside(item);
  }
  if (askAgain) {
    carry = kCarryNone;
  }
  return true;
}

void ItemCommands::Stop(Item& item) {
  Tree::Access tree(state_.tree);
  // Only a transfer turns a stop request into "On hold": an item started
  // with Start Now but not taken up yet has none to do it.
  const bool transferring =
      item.GetPropInt(key::kStatus) >= kStatusTransferring && HasTransfer(state_, item);
  item.SetPropInt(key::kResume, 0);
  SetStatus(item, transferring ? kStatusStopRequested : kStatusOnHold);
}

// Keeps its unfinished file, its parts' map and its place in the list.
void ItemCommands::Pause(Item& item) {
  Tree::Access tree(state_.tree);
  const int status = item.GetPropInt(key::kStatus);
  if (!CanBePaused(status)) {
    return;
  }
  const bool transferring = status >= kStatusTransferring && HasTransfer(state_, item);
  SetStatus(item, transferring ? kStatusPauseRequested : kStatusPaused);
}

void ItemCommands::Launch(Item& item) {
  const Facts facts = ReadFacts(item);
  if (facts.status != kStatusComplete) {
    Say("That item has not been successfully downloaded and cannot be launched.");
  } else if (!FileExists(facts.local)) {
    Say("I wish I could launch it, but the file's gone away.  Did you delete it or something?");
  } else if (facts.verdict == kVirusInfected) {
    Say("You're crazy!  That item is infected by a virus!");
  } else if (facts.verdict != kVirusClean && facts.virusCheckOn) {
    const MessageAnswer answer = messages_.Show(
        {"That item has not been checked for viruses.  Are you sure you want to launch it?",
         "Pellmarsh: File Safety Unknown", MessageButtons::kOkCancel, MessageIcon::kExclamation});
    if (answer == MessageAnswer::kOk) {
      LaunchItemFile(item);
    }
  } else {
    LaunchItemFile(item);
  }
}

bool ItemCommands::LaunchItemFile(Item& item) {
  const std::string file = ReadFacts(item).local;
  if (desk_.OpenDocument(file) || desk_.OpenFolder(DirectoryOf(file))) {
    events_.RaiseEvent("LAUNCH");
    return true;
  }
  // The desktop gives no reason; what is on disk tells the two cases apart.
  Say(ProbeFile(file) == FileProbe::kAbsent ? "File not found: " + file
                                            : "Error launching parent application of " + file);
  return false;
}

// A file gone since the menu opened still has its folder to show.
void ItemCommands::ShowInFolder(Item& item) {
  const std::string file = ReadFacts(item).local;
  const std::string folder = DirectoryOf(file);
  if (!(FileExists(file) ? desk_.ShowInFolder(file) : desk_.OpenFolder(folder))) {
    Say("No file manager could show the folder " + folder);
  }
}

void ItemCommands::ViewLog(Item& item) {
  std::string log;
  {
    Tree::Access tree(state_.tree);
    log = item.GetProp(key::kLog);
  }
  if (desk_.ShowTransferLog(log)) {
    Tree::Access tree(state_.tree);
    item.SetProp(key::kLog, "");
    state_.listDirty = true;
  }
}

int ItemCommands::DeleteFile(Item& item) {
  const Facts facts = ReadFacts(item);
  if (facts.status >= kStatusTransferring) {
    Say("Please stop the download before trying to delete the file.  The operating system likes "
        "it better that way.");
    return kPromptAsk;
  }
  if (facts.checking) {
    Say(kBeingChecked);
    return kPromptAsk;
  }
  deletePrompt_ = OfferFileDelete(item, deletePrompt_);
  return deletePrompt_;
}

int ItemCommands::Nuke(Item& item) {
  const Facts facts = ReadFacts(item);
  // A running or checked item keeps its file and its place.
  if (facts.status >= kStatusTransferring || facts.checking) {
    return DeleteFile(item);
  }
  deletePrompt_ =
      OfferFileDelete(item, deletePrompt_, [this, &item]() REQUIRES(state_.tree.lock()) {
        if (item.GetPropInt(key::kArchived) != 0) {
          DeleteUrl(item);
        } else {
          Archive(item);
        }
      });
  return deletePrompt_;
}

int ItemCommands::OfferFileDelete(Item& item, int prompt, const std::function<void()>& then) {
  const std::string local = ReadFacts(item).file;
  FileAnswer answer{prompt, false};
  bool toTrash = false;
  if (FileExists(local)) {
    toTrash = trash_.CanTrash(local);
    answer = AskFileDelete(local, prompt, toTrash);
    if (answer.prompt == kPromptCancelled) {
      return answer.prompt;
    }
  }
  if (!answer.remove && !then) {
    return answer.prompt;
  }
  bool removed = false;
  // The virus thread may have taken the item while the question was open.
  const bool changed = ChangeUnlessChecking(item, [&] {
    if (answer.remove) {
      removed = toTrash ? TrashItemFile(local, trash_) : DeleteItemFile(local);
    }
    if (removed && localNames_.IsTaken(local)) {
      localNames_.Release(local);
    }
    if (then) {
      then();
    }
  });
  if (removed) {
    events_.RaiseEvent("NUKE");
  } else if (changed && answer.remove && toTrash) {
    Say("Could not move " + local + " to the Trash.  It is still where it was.");
  }
  return answer.prompt;
}

ItemCommands::FileAnswer ItemCommands::AskFileDelete(const std::string& local, int prompt,
                                                     bool toTrash) {
  using enum MessageAnswer;
  if (prompt == kPromptSeveral) {
    const MessageAnswer all =
        AskToDelete(messages_, "Move all files attached to these URLs to the Trash?",
                    "Pellmarsh: Delete Files?");
    prompt = all == kYes ? kPromptDeleteAll : all == kNo ? kPromptAsk : kPromptCancelled;
  }
  // "Yes" for all was a yes to the Trash: a file lost for good is asked about alone.
  if (prompt == kPromptCancelled || (prompt == kPromptDeleteAll && toTrash)) {
    return {prompt, prompt == kPromptDeleteAll};
  }
  const std::string text = toTrash
                               ? "Move " + local + " to the Trash?"
                               : "Delete " + local + " for good?  It cannot be moved to the Trash.";
  const MessageAnswer answer = AskToDelete(messages_, text, "Pellmarsh: Delete File?");
  return answer == kCancel ? FileAnswer{kPromptCancelled, false}
                           : FileAnswer{prompt, answer == kYes};
}

void ItemCommands::VirusCheck(Item& item) {
  if (!FileExists(ReadFacts(item).local)) {
    Say("There is no file on your hard drive for that URL.  Cannot check nothing for viruses.");
    return;
  }
  Tree::Access tree(state_.tree);
  state_.virusCheck.queue(state_.tree.lock()).push_back(&item);
  state_.virusCheck.work.Raise();
}

void ItemCommands::ExtractUrls(Item& item) {
  if (desk_.ExtractUrlsFromFile(item) && desk_.CurrentTab() != kTabClipboard) {
    events_.RaiseEvent("COPY");
    desk_.SelectTab(kTabClipboard);
  }
}

}  // namespace pellmarsh
