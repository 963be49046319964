#include "view/item_commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <functional>
#include <utility>

#include "store/item_status.h"
#include "store/keys.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "url/local_name_registry.h"

namespace pellmarsh {
namespace {

using testing::FileExistsOnDisk;
using testing::WriteFile;

// Answers message boxes from a script, in order, and records them; stops the
// program under the tree lock, as the program's own messages do.
class ScriptedMessages final : public UserMessages {
 public:
  MessageAnswer Show(const UserMessage& message) override {
    AbortIfTreeLockHeld();
    shown.push_back(message);
    if (whileShown) {
      std::exchange(whileShown, nullptr)();
    }
    if (answers.empty()) {
      return MessageAnswer::kOk;
    }
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::deque<MessageAnswer> answers;
  std::vector<UserMessage> shown;
  std::function<void()> whileShown;  // what another thread does during the next one
};

class ScriptedDesk final : public CommandDesk {
 public:
  FileExistsAnswer AskFileExists(const std::string& text, const std::string&, bool noAll,
                                 bool noResume) override {
    asked.push_back(text);
    lastNoAll = noAll;
    lastNoResume = noResume;
    return fileExistsAnswer;
  }
  bool ShowTransferLog(const std::string&) override { return clearLog; }
  bool OpenDocument(const std::string&) override { return documentOpens; }
  bool OpenFolder(const std::string& path) override {
    openedFolders.push_back(path);
    return folderOpens;
  }
  bool ShowInFolder(const std::string& path) override {
    shownFiles.push_back(path);
    return folderOpens;
  }
  void ForgetRow(const Item* item) override { forgotten.push_back(item); }
  int CurrentTab() override { return tab; }
  void SelectTab(int newTab) override { tab = newTab; }
  void RefreshList() override { ++refreshes; }
  void UpdateButtons() override {}
  void EditUrlItem(Item&) override {}
  bool ExtractUrlsFromFile(Item&) override { return false; }
  std::optional<std::string> AskNewAddress(const std::string&) override { return newAddress; }
  std::optional<std::string> AskSumsFile() override { return sumsFile; }
  std::optional<std::string> FetchText(const std::string&, std::string& error) override {
    error = "no network here";
    return std::nullopt;
  }

  FileExistsAnswer fileExistsAnswer = FileExistsAnswer::kCancel;
  std::optional<std::string> newAddress;
  std::optional<std::string> sumsFile;
  std::vector<std::string> asked;
  bool lastNoAll = false;
  bool lastNoResume = false;
  bool clearLog = false;
  bool documentOpens = true;
  bool folderOpens = true;
  std::vector<std::string> openedFolders;
  std::vector<std::string> shownFiles;
  std::vector<const Item*> forgotten;
  int tab = 0;
  int refreshes = 0;
};

// A running transfer, as far as the commands can see one.
class IdleTransfer final : public Transfer {
 public:
  explicit IdleTransfer(Item& item) : item_(&item) {}
  bool Step(size_t) override { return true; }
  int64_t stepBytes() const override { return 0; }
  Item* item() const override { return item_; }
  void DetachItem() override { item_ = nullptr; }
  Wait NextWait() const override { return {}; }

 private:
  Item* item_;
};

class ItemCommandsTest : public ::testing::Test {
 protected:
  ItemCommandsTest() {
    Tree::Access tree(state.tree);
    tree->FindOrCreateChild(folder::kFileList);
  }

  Item& AddItem(std::string_view folderName, const std::string& name, int status,
                bool withFile = false) {
    Tree::Access tree(state.tree);
    auto item = std::make_unique<Item>();
    item->SetProp(key::kName, name);
    item->SetProp(key::kValue, "http://host/" + name);
    item->SetPropInt(key::kStatus, status);
    item->SetProp(key::kLocal, dir.File(name));
    if (folderName != folder::kFileList) {
      item->SetPropInt(key::kArchived, 1);
    }
    if (withFile) {
      WriteFile(dir.File(name), "bytes");
    }
    return tree->FindOrCreateChild(folderName).AddChild(std::move(item));
  }

  int ChildCount(std::string_view folderName) {
    Tree::Access tree(state.tree);
    const Item* found = tree->FindChild(folderName);
    return found ? found->ChildCount() : 0;
  }

  void EmptyFolder(std::string_view folderName) {
    Tree::Access tree(state.tree);
    Item& found = tree->FindOrCreateChild(folderName);
    while (found.ChildCount() > 0) {
      found.DetachChildAt(0);
    }
  }

  void Run(ItemCommand command, const std::vector<Item*>& selection) {
    commands.RunItemCommand(command, selection);
  }

  testing::TempDir dir;
  AppState state{dir.path()};
  ScriptedMessages messages;
  testing::RecordingEvents events;
  LocalNameRegistry localNames{state.tree};
  ScriptedDesk desk;
  testing::FakeClock clock;
  testing::FakeTrash trash;
  ItemCommands commands{state, messages, trash, events, localNames, desk, clock};
};

TEST_F(ItemCommandsTest, ArchivingSeveralSkipsTheRunningOneQuietlyAndSoundsOnce) {
  Item& done = AddItem(folder::kFileList, "a", kStatusComplete);
  Item& running = AddItem(folder::kFileList, "b", kStatusTransferring);
  Item& failed = AddItem(folder::kFileList, "c", kStatusWaitingToRetry);
  messages.answers = {MessageAnswer::kYes};
  Run(kCommandArchiveOrDelete, {&done, &running, &failed});
  EXPECT_EQ(ChildCount(folder::kFileArchive), 2);
  EXPECT_EQ(ChildCount(folder::kFileList), 1);
  ASSERT_EQ(messages.shown.size(), 1u);  // one question for the two that can go
  EXPECT_EQ(messages.shown[0].text, "Move these 2 URLs to the Archive?");
  EXPECT_EQ(messages.shown[0].caption, "Pellmarsh: Archive URLs?");
  EXPECT_EQ(events.raised, std::vector<std::string>{"ARCHIVE"});
  EXPECT_EQ(failed.GetPropInt(key::kStatus), kStatusOnHold);
  EXPECT_EQ(done.GetPropInt(key::kStatus), kStatusComplete);
  EXPECT_FALSE(state.commandBusy);

  messages.shown.clear();
  Run(kCommandArchiveOrDelete, {&running});  // nothing to ask: only why not
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text,
            "That item is busy and cannot be deleted.  To delete it, you must first STOP its "
            "transfer.");
}

// The Delete key and the Archive/Delete URL button run this one command.
TEST_F(ItemCommandsTest, ArchivingOrDeletingUrlsAsksFirstWithNoForEnter) {
  using enum MessageAnswer;
  const std::string url = "http://host/a.zip";
  const std::string toArchive = "Move " + url + " to the Archive?";
  const std::string fromList = "Delete " + url + " from the list?";
  struct Row {
    const char* what;
    std::string_view from;
    int status;
    MessageAnswer answer;
    std::string question;
    const char* caption;
    std::string_view endsIn;
  } rows[] = {
      {"pending, no", folder::kFileList, kStatusOnHold, kNo, toArchive, "Pellmarsh: Archive URL?",
       folder::kFileList},
      {"pending, yes", folder::kFileList, kStatusOnHold, kYes, toArchive, "Pellmarsh: Archive URL?",
       folder::kFileArchive},
      {"completed, no", folder::kFileList, kStatusComplete, kNo, toArchive,
       "Pellmarsh: Archive URL?", folder::kFileList},
      {"archived, no", folder::kFileArchive, kStatusComplete, kNo, fromList,
       "Pellmarsh: Delete URL?", folder::kFileArchive},
      {"archived, yes", folder::kFileArchive, kStatusComplete, kYes, fromList,
       "Pellmarsh: Delete URL?", ""},
      {"clipped, no", folder::kFileClip, kStatusClipped, kNo, fromList, "Pellmarsh: Delete URL?",
       folder::kFileClip},
      {"clipped, yes", folder::kFileClip, kStatusClipped, kYes, fromList, "Pellmarsh: Delete URL?",
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    messages.shown.clear();
    Item& item = AddItem(row.from, "a.zip", row.status);
    messages.answers = {row.answer};
    Run(kCommandArchiveOrDelete, {&item});
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, row.question);
    EXPECT_EQ(messages.shown[0].caption, row.caption);
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::kYesNo);
    EXPECT_EQ(messages.shown[0].defaultAnswer, kNo);
    for (std::string_view folderName :
         {folder::kFileList, folder::kFileArchive, folder::kFileClip}) {
      EXPECT_EQ(ChildCount(folderName), folderName == row.endsIn ? 1 : 0) << folderName;
      EmptyFolder(folderName);
    }
  }
}

TEST_F(ItemCommandsTest, DeletingAnArchivedUrlOffersItsFile) {
  struct Row {
    MessageAnswer answer;
    bool fileKept;
    bool urlKept;
    const char* event;
  } rows[] = {
      {MessageAnswer::kCancel, true, true, nullptr},
      {MessageAnswer::kNo, true, false, "DELETE"},
      {MessageAnswer::kYes, false, false, "DELETE"},
  };
  {
    Tree::Access tree(state.tree);
    tree->SetPropInt(setting::kOwnsFiles, 1);
  }
  for (const Row& row : rows) {
    messages.shown.clear();
    events.raised.clear();
    Item& item = AddItem(folder::kFileArchive, "old.zip", kStatusComplete, true);
    messages.answers = {MessageAnswer::kYes, row.answer};
    Run(kCommandArchiveOrDelete, {&item});
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, "Delete http://host/old.zip from the list?");
    EXPECT_EQ(messages.shown[1].text, "Move " + dir.File("old.zip") + " to the Trash?");
    EXPECT_EQ(messages.shown[1].caption, "Pellmarsh: Delete File?");
    EXPECT_EQ(FileExistsOnDisk(dir.File("old.zip")), row.fileKept);
    EXPECT_EQ(ChildCount(folder::kFileArchive), row.urlKept ? 1 : 0);
    if (row.event) {
      EXPECT_EQ(events.raised.back(), row.event);
    }
    EmptyFolder(folder::kFileArchive);
  }
}

TEST_F(ItemCommandsTest, DeleteFileOverSeveralAsksOnceForAll) {
  using enum MessageAnswer;
  struct Row {
    std::deque<MessageAnswer> answers;
    size_t questions;
    int filesLeft;
    bool bHasTrash = true;
  } rows[] = {
      {{kYes}, 1, 0},
      {{kNo, kNo, kYes}, 3, 1},  // No for all, then asked for each file
      {{kNo, kCancel}, 2, 2},
      {{kCancel}, 1, 2},
      // Yes for all promised the Trash: a file it cannot take is asked about alone.
      {{kYes, kYes}, 2, 0, false},
      {{kYes, kNo}, 2, 1, false},
      {{kYes, kCancel}, 2, 1, false},
  };
  for (const Row& row : rows) {
    messages.shown.clear();
    events.raised.clear();
    trash.noTrashFor = row.bHasTrash ? std::vector<std::string>{} : std::vector{dir.File("b.bin")};
    Item& a = AddItem(folder::kFileArchive, "a.bin", kStatusComplete, true);
    Item& b = AddItem(folder::kFileArchive, "b.bin", kStatusComplete, true);
    messages.answers = row.answers;
    Run(kCommandDeleteFile, {&a, &b});
    ASSERT_EQ(messages.shown.size(), row.questions);
    EXPECT_EQ(messages.shown[0].text, "Move all files attached to these URLs to the Trash?");
    EXPECT_EQ(messages.shown[0].caption, "Pellmarsh: Delete Files?");
    if (!row.bHasTrash) {
      EXPECT_EQ(messages.shown[1].text,
                "Delete " + dir.File("b.bin") + " for good?  It cannot be moved to the Trash.");
    }
    for (const UserMessage& question : messages.shown) {
      EXPECT_EQ(question.defaultAnswer, kNo) << question.text;  // Enter deletes nothing
    }
    EXPECT_EQ(FileExistsOnDisk(dir.File("a.bin")) + FileExistsOnDisk(dir.File("b.bin")),
              row.filesLeft);
    EXPECT_EQ(std::count(events.raised.begin(), events.raised.end(), "NUKE"), 2 - row.filesLeft);
    EXPECT_EQ(ChildCount(folder::kFileArchive), 2);
    EmptyFolder(folder::kFileArchive);
  }
}

TEST_F(ItemCommandsTest, OverwriteAllAsksOnceWhereOverwriteAsksForEach) {
  struct Row {
    FileExistsAnswer answer;
    size_t dialogs;
    int filesLeft;
    int queued;
  } rows[] = {
      {FileExistsAnswer::kOverwriteAll, 1, 0, 2},
      {FileExistsAnswer::kOverwrite, 2, 0, 2},
      {FileExistsAnswer::kResumeAll, 1, 2, 2},
      {FileExistsAnswer::kCancel, 1, 2, 0},
  };
  for (const Row& row : rows) {
    desk.asked.clear();
    desk.fileExistsAnswer = row.answer;
    Item& a = AddItem(folder::kFileArchive, "a.iso", kStatusFailed, true);
    Item& b = AddItem(folder::kFileArchive, "b.iso", kStatusOnHold, true);
    Run(kCommandQueue, {&a, &b});
    EXPECT_EQ(desk.asked.size(), row.dialogs);
    EXPECT_FALSE(desk.lastNoAll);
    // A resumed file goes on from the unfinished name.
    EXPECT_EQ(FileExistsOnDisk(UnfinishedPathOf(dir.File("a.iso"))) +
                  FileExistsOnDisk(UnfinishedPathOf(dir.File("b.iso"))),
              row.filesLeft);
    EXPECT_EQ(FileExistsOnDisk(dir.File("a.iso")) + FileExistsOnDisk(dir.File("b.iso")),
              row.answer == FileExistsAnswer::kCancel ? 2 : 0);
    EXPECT_EQ(ChildCount(folder::kFileList), row.queued);
    EmptyFolder(folder::kFileList);
    EmptyFolder(folder::kFileArchive);
  }
  EXPECT_EQ(desk.asked[0].substr(0, 22), "File Overwrite Alert\n\n");
}

TEST_F(ItemCommandsTest, ResumeAllStartsOverOnlyTheItemWhoseServerCannotResume) {
  desk.fileExistsAnswer = FileExistsAnswer::kResumeAll;
  Item& a = AddItem(folder::kFileList, "a.iso", kStatusFailed, true);
  Item& b = AddItem(folder::kFileList, "b.iso", kStatusFailed, true);
  b.SetProp(key::kLog, "Recv Line: Server: Microsoft-PWS-95/2.0\r\n");
  Item& c = AddItem(folder::kFileList, "c.iso", kStatusFailed, true);
  Run(kCommandQueue, {&a, &b, &c});
  EXPECT_EQ(desk.asked.size(), 1u);
  EXPECT_TRUE(FileExistsOnDisk(UnfinishedPathOf(dir.File("a.iso"))));
  EXPECT_FALSE(FileExistsOnDisk(dir.File("b.iso")));
  EXPECT_FALSE(FileExistsOnDisk(UnfinishedPathOf(dir.File("b.iso"))));
  EXPECT_TRUE(FileExistsOnDisk(UnfinishedPathOf(dir.File("c.iso"))));
  EXPECT_EQ(c.GetPropInt(key::kResume), 1);
  EXPECT_EQ(b.GetPropInt(key::kResume), 0);
}

TEST_F(ItemCommandsTest, QueueStartAndStopSetTheirStatus) {
  Item& queued = AddItem(folder::kFileList, "q", kStatusQueued, true);
  Run(kCommandStartNow, {&queued});
  EXPECT_EQ(queued.GetPropInt(key::kStatus), kStatusStartNow);
  EXPECT_TRUE(state.startWalkDue.raised());  // the scheduler starts it at its next pass
  EXPECT_TRUE(desk.asked.empty());           // a queued item's file is not in the way
  EXPECT_EQ(queued.GetProp(key::kProcess), "Starting!");

  Item& clipped = AddItem(folder::kFileClip, "c", kStatusClipped);
  Run(kCommandQueue, {&clipped});
  EXPECT_EQ(clipped.Parent()->GetProp(key::kName), "_filelist");
  EXPECT_EQ(clipped.GetPropInt(key::kArchived), 0);

  Item& complete = AddItem(folder::kFileList, "d", kStatusComplete);
  Item& running = AddItem(folder::kFileList, "r", kStatusTransferring);
  {
    Tree::Access tree(state.tree);
    state.activeTransfers.push_back(std::make_unique<IdleTransfer>(running));
  }
  Run(kCommandStop, {&complete, &running, &queued});
  EXPECT_EQ(complete.GetPropInt(key::kStatus), kStatusOnHold);
  EXPECT_EQ(running.GetPropInt(key::kStatus), kStatusStopRequested);
  // Started now but not taken up by the scheduler: nothing would end a stop request.
  EXPECT_EQ(queued.GetPropInt(key::kStatus), kStatusOnHold);
}

// Pause holds what may run; Resume, or the toggle on a selection holding a
// paused download, goes on from the download's own bytes without a question.
TEST_F(ItemCommandsTest, PauseHoldsADownloadAndResumeGoesOnUnasked) {
  const struct {
    const char* name;
    int status;
    int paused;
  } rows[] = {
      {"queued", kStatusQueued, kStatusPaused},
      {"retrying", kStatusWaitingToRetry, kStatusPaused},
      {"running", kStatusTransferring, kStatusPauseRequested},
      {"held", kStatusOnHold, kStatusOnHold},
      {"complete", kStatusComplete, kStatusComplete},
  };
  std::vector<Item*> items;
  for (const auto& row : rows) {
    items.push_back(&AddItem(folder::kFileList, row.name, row.status));
  }
  {
    Tree::Access tree(state.tree);
    state.activeTransfers.push_back(std::make_unique<IdleTransfer>(*items[2]));
  }
  Run(kCommandPauseOrResume, items);
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i]->GetPropInt(key::kStatus), rows[i].paused) << rows[i].name;
  }

  WriteFile(UnfinishedPathOf(dir.File("queued")), "bytes");
  Run(kCommandPauseOrResume, {items[0], items[3]});
  EXPECT_TRUE(desk.asked.empty());
  EXPECT_EQ(items[0]->GetPropInt(key::kStatus), kStatusQueued);
  EXPECT_EQ(items[0]->GetPropInt(key::kResume), 1);
  EXPECT_EQ(items[3]->GetPropInt(key::kStatus), kStatusOnHold);  // Resume starts nothing held
}

// The unfinished file is the item's own: no question about it, and it goes
// when the user deletes the item's file.
TEST_F(ItemCommandsTest, AnItemsUnfinishedFileResumesUnaskedAndGoesWithItsDelete) {
  Item& held = AddItem(folder::kFileList, "held.iso", kStatusOnHold);
  WriteFile(UnfinishedPathOf(dir.File("held.iso")), "bytes");
  Run(kCommandQueue, {&held});
  EXPECT_TRUE(desk.asked.empty());
  EXPECT_EQ(held.GetPropInt(key::kStatus), kStatusQueued);
  EXPECT_EQ(held.GetPropInt(key::kResume), 1);

  Item& failed = AddItem(folder::kFileList, "failed.iso", kStatusFailed);
  WriteFile(UnfinishedPathOf(dir.File("failed.iso")), "bytes");
  messages.answers = {MessageAnswer::kYes};
  Run(kCommandDeleteFile, {&failed});
  EXPECT_FALSE(FileExistsOnDisk(UnfinishedPathOf(dir.File("failed.iso"))));
}

// A clipboard record holds no name; queued, it takes its own unless a
// download took it meanwhile.
TEST_F(ItemCommandsTest, AClipboardRecordTakesItsNameOnlyWhenQueued) {
  Item& free = AddItem(folder::kFileClip, "free.zip", kStatusClipped);
  Item& taken = AddItem(folder::kFileClip, "taken.zip", kStatusClipped);
  localNames.MakeUniqueLocalPath(dir.File("taken.zip"));
  Run(kCommandQueue, {&free, &taken});
  EXPECT_EQ(free.GetProp(key::kLocal), dir.File("free.zip"));
  EXPECT_EQ(taken.GetProp(key::kLocal), dir.File("taken(1).zip"));
  EXPECT_EQ(taken.GetProp(key::kName), "taken(1).zip");
  EXPECT_TRUE(localNames.IsTaken(dir.File("free.zip")));
}

// A new address keeps the bytes until an answer shows another file; then
// only the user's yes throws them away.
TEST_F(ItemCommandsTest, ANewAddressKeepsTheBytesAndAnotherFileStartsOverOnlyOnYes) {
  Item& item = AddItem(folder::kFileList, "f.iso", kStatusFailed);
  WriteFile(UnfinishedPathOf(dir.File("f.iso")), "bytes");
  item.SetProp(key::kValue, "http://old.example/f.iso");
  item.SetPropInt64(key::kFileTotal, 10);
  desk.newAddress = std::nullopt;
  Run(kCommandRefreshAddress, {&item});
  EXPECT_EQ(item.GetProp(key::kValue), "http://old.example/f.iso");
  desk.newAddress = "ftp://old.example:99999/f.iso";
  Run(kCommandRefreshAddress, {&item});
  EXPECT_EQ(item.GetProp(key::kValue), "http://old.example/f.iso");
  ASSERT_EQ(messages.shown.size(), 1u);
  desk.newAddress = "new.example/f.iso?sig=2";
  Run(kCommandRefreshAddress, {&item});
  EXPECT_EQ(item.GetProp(key::kValue), "http://new.example/f.iso?sig=2");
  EXPECT_EQ(item.GetPropInt64(key::kRefreshedTotal), 10);
  EXPECT_EQ(item.GetPropInt(key::kResume), 1);

  item.SetPropInt(key::kOtherFile, 1);
  for (MessageAnswer answer : {MessageAnswer::kNo, MessageAnswer::kYes}) {
    messages.answers = {answer};
    Run(kCommandQueue, {&item});
    const bool yes = answer == MessageAnswer::kYes;
    EXPECT_EQ(messages.shown.back().caption, "Pellmarsh: Start Over?");
    EXPECT_EQ(item.GetPropInt(key::kStatus), yes ? kStatusQueued : kStatusFailed);
    EXPECT_NE(FileExistsOnDisk(UnfinishedPathOf(dir.File("f.iso"))), yes);
    EXPECT_EQ(item.GetPropInt(key::kResume), yes ? 0 : 1);
  }
}

TEST_F(ItemCommandsTest, BytesThatFailedTheirChecksumStartOverOnlyOnYes) {
  Item& item = AddItem(folder::kFileList, "g.iso", kStatusFailed);
  WriteFile(UnfinishedPathOf(dir.File("g.iso")), "bytes");
  item.SetProp(key::kChecksum, "md5:" + std::string(32, '0'));
  item.SetPropInt(key::kChecksumMismatch, 1);
  for (MessageAnswer answer : {MessageAnswer::kNo, MessageAnswer::kYes}) {
    messages.answers = {answer};
    Run(kCommandQueue, {&item});
    const bool yes = answer == MessageAnswer::kYes;
    EXPECT_EQ(messages.shown.back().text,
              "The bytes of this download do not match its checksum.\n\nStart over?  The bytes "
              "held so far will be deleted.");
    EXPECT_EQ(item.GetPropInt(key::kStatus), yes ? kStatusQueued : kStatusFailed);
    EXPECT_NE(FileExistsOnDisk(UnfinishedPathOf(dir.File("g.iso"))), yes);
  }
}

// A sums file on disk, as sha256sum and BSD tools write them, fills the
// checksums of the selected downloads it names, by saved name or URL.
TEST_F(ItemCommandsTest, ASumsFileFillsTheChecksumsOfTheDownloadsItNames) {
  Item& byName = AddItem(folder::kFileList, "a.iso", kStatusOnHold);
  Item& byUrl = AddItem(folder::kFileList, "b.iso", kStatusFailed);
  byUrl.SetProp(key::kLocal, dir.File("b(1).iso"));
  byUrl.SetPropInt(key::kChecksumMismatch, 1);
  Item& unlisted = AddItem(folder::kFileList, "c.iso", kStatusOnHold);
  const std::string a(64, 'a');
  const std::string b(128, 'b');
  WriteFile(dir.File("SUMS"), a + "  ./isos/a.iso\r\nSHA512 (b.iso) = " + b + "\nnonsense\n");
  struct Case {
    std::optional<std::string> source;
    std::string said;
  };
  const Case cases[] = {
      {std::nullopt, ""},
      {"http://host/SHA256SUMS",
       "Couldn't read the sums file http://host/SHA256SUMS: no network here"},
      {dir.File("none"), "Couldn't read the sums file " + dir.File("none") + ": Couldn't open " +
                             dir.File("none") + "."},
      {"file://" + dir.File("SUMS"), "Checksums set for 2 of the 3 selected downloads."},
  };
  for (const Case& c : cases) {
    messages.shown.clear();
    desk.sumsFile = c.source;
    Run(kCommandCheckSums, {&byName, &byUrl, &unlisted});
    EXPECT_EQ(messages.shown.empty() ? "" : messages.shown.back().text, c.said);
  }
  EXPECT_EQ(byName.GetProp(key::kChecksum), "sha256:" + a);
  EXPECT_EQ(byUrl.GetProp(key::kChecksum), "sha512:" + b);
  EXPECT_EQ(byUrl.GetProp(key::kChecksumMismatch), "");
  EXPECT_EQ(unlisted.GetProp(key::kChecksum), "");
}

TEST_F(ItemCommandsTest, SingleFinishedItemOffersNoResume) {
  Item& item = AddItem(folder::kFileList, "f", kStatusOnHold, true);
  item.SetPropInt64(key::kFinish, 1000);
  Run(kCommandQueue, {&item});
  EXPECT_TRUE(desk.lastNoAll);
  EXPECT_TRUE(desk.lastNoResume);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusOnHold);  // cancelled
}

TEST_F(ItemCommandsTest, LaunchGuardsAndFallsBackToTheFolder) {
  Item& infected = AddItem(folder::kFileList, "v.exe", kStatusComplete, true);
  infected.SetPropInt(key::kVirusCheck, kVirusInfected);
  Item& plain = AddItem(folder::kFileList, "p.txt", kStatusComplete, true);
  Run(kCommandLaunch, {&infected, &plain});  // only the first is considered
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "You're crazy!  That item is infected by a virus!");

  desk.documentOpens = false;
  Run(kCommandLaunch, {&plain});
  EXPECT_EQ(desk.openedFolders, std::vector<std::string>{dir.path()});
  EXPECT_EQ(events.raised.back(), "LAUNCH");

  desk.folderOpens = false;
  plain.SetProp(key::kLocal, dir.File("missing"));
  plain.SetPropInt(key::kStatus, kStatusComplete);
  EXPECT_FALSE(commands.LaunchItemFile(plain));
  EXPECT_EQ(messages.shown.back().text, "File not found: " + dir.File("missing"));
}

TEST_F(ItemCommandsTest, ShowInFolderSelectsTheFileOrOpensTheFolderOfAGoneOne) {
  Item& running = AddItem(folder::kFileList, "part.iso", kStatusTransferring, true);
  Item& gone = AddItem(folder::kFileList, "gone.zip", kStatusComplete);
  Run(kCommandShowInFolder, {&running, &gone});  // only the first is shown
  EXPECT_EQ(desk.shownFiles, std::vector<std::string>{dir.File("part.iso")});
  EXPECT_TRUE(desk.openedFolders.empty());

  desk.folderOpens = false;
  Run(kCommandShowInFolder, {&gone});
  EXPECT_EQ(desk.openedFolders, std::vector<std::string>{dir.path()});
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "No file manager could show the folder " + dir.path());
  EXPECT_TRUE(events.raised.empty());
}

TEST_F(ItemCommandsTest, ADeletedUrlLeavesNoReferenceBehind) {
  Item& item = AddItem(folder::kFileClip, "clip", kStatusClipped, true);
  {
    Tree::Access tree(state.tree);
    state.virusCheck.queue(state.tree.lock()).push_back(&item);
    state.clipAndGoItem = &item;
  }
  messages.answers = {MessageAnswer::kYes};
  Run(kCommandArchiveOrDelete, {&item});
  {
    Tree::Access tree(state.tree);
    EXPECT_TRUE(state.virusCheck.queue(state.tree.lock()).empty());
    EXPECT_EQ(state.clipAndGoItem, nullptr);
  }
  EXPECT_EQ(desk.forgotten, std::vector<const Item*>{&item});
  EXPECT_EQ(ChildCount(folder::kFileClip), 0);
  EXPECT_TRUE(FileExistsOnDisk(dir.File("clip")));  // a clipped URL's delete offers no file
}

TEST_F(ItemCommandsTest, AnItemTheVirusCheckerTookDuringTheQuestionKeepsItsFileAndPlace) {
  state.tree.Lock()->SetPropInt(setting::kOwnsFiles, 1);
  for (const ItemCommand command : {kCommandArchiveOrDelete, kCommandDeleteFile, kCommandNuke}) {
    messages.shown.clear();
    events.raised.clear();
    Item& item = AddItem(folder::kFileArchive, "scanned.exe", kStatusComplete, true);
    messages.answers = {MessageAnswer::kYes, MessageAnswer::kYes};
    const std::function<void()> takeItem = [&] {
      Tree::Access tree(state.tree);
      item.SetPropInt(key::kVirusChecking, 1);
      state.virusCheck.queue(state.tree.lock()).push_back(&item);
    };
    // Deleting the URL asks about the URL first, then about its file.
    const bool urlAskedFirst = command == kCommandArchiveOrDelete;
    messages.whileShown = urlAskedFirst ? [&] { messages.whileShown = takeItem; } : takeItem;
    Run(command, {&item});
    EXPECT_TRUE(FileExistsOnDisk(dir.File("scanned.exe"))) << command;
    EXPECT_EQ(ChildCount(folder::kFileArchive), 1) << command;
    Tree::Access tree(state.tree);
    EXPECT_EQ(state.virusCheck.queue(state.tree.lock()).size(), 1u) << command;
    ASSERT_EQ(messages.shown.size(), urlAskedFirst ? 3u : 2u) << command;
    EXPECT_EQ(messages.shown.back().text,
              "File currently being checked for viruses.  Please wait until this completes before "
              "deleting it!");
    EXPECT_TRUE(events.raised.empty()) << command;
    state.virusCheck.queue(state.tree.lock()).clear();
    EmptyFolder(folder::kFileArchive);
  }
}

TEST_F(ItemCommandsTest, DeleteFileMovesItToTheTrashOrSaysItIsLostForGood) {
  using enum MessageAnswer;
  const std::string file = dir.File("f.iso");
  const std::string toTrash = "Move " + file + " to the Trash?";
  const std::string forGood = "Delete " + file + " for good?  It cannot be moved to the Trash.";
  struct Row {
    const char* what;
    bool hasTrash;
    bool trashWorks;
    MessageAnswer answer;
    std::string question;
    bool fileLeft;
    bool trashed;
    std::string told;
  } rows[] = {
      {"yes: into the trash", true, true, kYes, toTrash, false, true, ""},
      {"no: kept", true, true, kNo, toTrash, true, false, ""},
      {"no trash, yes: gone for good", false, true, kYes, forGood, false, false, ""},
      {"no trash, no: kept", false, true, kNo, forGood, true, false, ""},
      {"a failed move keeps the file and says so", true, false, kYes, toTrash, true, false,
       "Could not move " + file + " to the Trash.  It is still where it was."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    messages.shown.clear();
    events.raised.clear();
    trash.trashed.clear();
    trash.noTrashFor = row.hasTrash ? std::vector<std::string>{} : std::vector{file};
    trash.works = row.trashWorks;
    Item& item = AddItem(folder::kFileArchive, "f.iso", kStatusComplete, true);
    messages.answers = {row.answer};
    Run(kCommandDeleteFile, {&item});
    ASSERT_GE(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, row.question);
    EXPECT_EQ(messages.shown[0].defaultAnswer, kNo);
    EXPECT_EQ(FileExistsOnDisk(file), row.fileLeft);
    EXPECT_EQ(trash.trashed, row.trashed ? std::vector{file} : std::vector<std::string>{});
    EXPECT_EQ(messages.shown.size() > 1 ? messages.shown[1].text : "", row.told);
    EXPECT_EQ(events.raised.size(), row.fileLeft ? 0u : 1u);  // "NUKE" only for a file gone
    EXPECT_EQ(ChildCount(folder::kFileArchive), 1);
    EmptyFolder(folder::kFileArchive);
  }
}

TEST(DeleteItemFile, DeletesOrTrashesOnlyARegularFile) {
  testing::FakeTrash trash;
  const std::pair<const char*, std::function<bool(const std::string&)>> removers[] = {
      {"deleted", DeleteItemFile},
      {"trashed", [&trash](const std::string& path) { return TrashItemFile(path, trash); }},
  };
  for (const auto& [what, remove] : removers) {
    SCOPED_TRACE(what);
    testing::TempDir dir;
    WriteFile(dir.File("target"), "keep");
    ASSERT_EQ(::symlink(dir.File("target").c_str(), dir.File("link").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0700), 0);
    EXPECT_FALSE(remove(dir.File("link")));
    EXPECT_FALSE(remove(dir.File("folder")));
    EXPECT_FALSE(remove(""));
    EXPECT_TRUE(FileExistsOnDisk(dir.File("link")));
    EXPECT_TRUE(FileExistsOnDisk(dir.File("folder")));
    EXPECT_TRUE(FileExistsOnDisk(dir.File("target")));
    EXPECT_TRUE(remove(dir.File("target")));
    EXPECT_FALSE(FileExistsOnDisk(dir.File("target")));
  }
  EXPECT_EQ(trash.trashed.size(), 1u);
}

}  // namespace
}  // namespace pellmarsh
