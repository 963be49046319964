#include "view/link_intake.h"

#include <gtest/gtest.h>

#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

namespace pellmarsh {
namespace {

// Links from other programs never ask anything while no file is in the way.
class QuietDesk final : public CommandDesk {
 public:
  FileExistsAnswer AskFileExists(const std::string&, const std::string&, bool, bool) override {
    return FileExistsAnswer::kCancel;
  }
  bool ShowTransferLog(const std::string&) override { return false; }
  bool OpenDocument(const std::string&) override { return false; }
  bool OpenFolder(const std::string&) override { return false; }
  bool ShowInFolder(const std::string&) override { return false; }
  void ForgetRow(const Item*) override {}
  int CurrentTab() override { return 0; }
  void SelectTab(int) override {}
  void RefreshList() override {}
  void UpdateButtons() override {}
  void EditUrlItem(Item&) override {}
  bool ExtractUrlsFromFile(Item&) override { return false; }
};

class LinkIntakeTest : public ::testing::Test {
 protected:
  LinkIntakeTest() {
    Tree::Access tree(state.tree);
    SetUpDefaultsAndSettings(tree.root(), dir.path());
  }

  void SetQueueLinks(bool on) {
    Tree::Access tree(state.tree);
    tree->SetPropInt(setting::kQueueLinks, on ? 1 : 0);
  }

  // "value:status" of each item of the download list.
  std::vector<std::string> ListedItems() {
    Tree::Access tree(state.tree);
    std::vector<std::string> listed;
    const Item& list = tree->FindOrCreateChild(folder::kFileList);
    for (int index = 0; index < list.ChildCount(); ++index) {
      const Item& item = *list.ChildAt(index);
      listed.push_back(item.GetProp(key::kValue) + ":" + item.GetProp(key::kStatus));
    }
    return listed;
  }

  testing::TempDir dir;
  AppState state{dir.path()};
  testing::RecordingMessages messages;
  testing::RecordingEvents events;
  LocalNameRegistry names{state.tree};
  QuietDesk desk;
  testing::FakeClock clock;
  testing::FakeTrash trash;
  ItemCommands commands{state, messages, trash, events, names, desk, clock};
  LinkIntake intake{state, names, commands, events, clock};
};

TEST_F(LinkIntakeTest, GoodLinksAreQueuedOrHeldByTheSettingAndSoundOnce) {
  struct Row {
    bool queueLinks;
    const char* status;
    const char* event;
  };
  for (const Row& row : {Row{true, "1", "QUEUE"}, Row{false, "0", "COPY"}}) {
    SCOPED_TRACE(row.event);
    SetQueueLinks(row.queueLinks);
    events.raised.clear();
    const std::vector<std::string> answers =
        intake.AddLinks({"http://host/a.iso", "gopher://host/x", "just words", "ftp.host/b.zip"});
    EXPECT_EQ(answers,
              (std::vector<std::string>{"", "Unsupported protocol: gopher", "Not a URL", ""}));
    const std::vector<std::string> listed = ListedItems();
    ASSERT_GE(listed.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(listed.end() - 2, listed.end()),
              (std::vector<std::string>{std::string("http://host/a.iso:") + row.status,
                                        std::string("ftp://ftp.host/b.zip:") + row.status}));
    EXPECT_EQ(events.raised, std::vector<std::string>{row.event});
  }
}

TEST_F(LinkIntakeTest, NothingAddedSoundsNothing) {
  EXPECT_EQ(
      intake.AddLinks({"http://", "http://h:102359/f", "https://h\r\nX-Injected: 1/"}),
      (std::vector<std::string>{"Incomplete URL", "Malformed URL", "Control character in URL"}));
  EXPECT_TRUE(ListedItems().empty());
  EXPECT_TRUE(events.raised.empty());
}

}  // namespace
}  // namespace pellmarsh
