#include "view/link_intake.h"

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "capture/url_item.h"
#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "url/cookies.h"
#include "url/local_name_registry.h"
#include "url/url_globbing.h"
#include "url/url_parser.h"
#include "view/url_adding.h"

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
  std::optional<std::string> AskNewAddress(const std::string&) override { return std::nullopt; }
  std::optional<std::string> AskSumsFile() override { return std::nullopt; }
  std::optional<std::string> FetchText(const std::string&, std::string&) override {
    return std::nullopt;
  }
};

// Saves the URL box's text as the dialog's "Save and Queue" does; a refusal
// is kept and cancels, as the user would on the dialog's message.
class SavingUrlDialog final : public UrlDialogPort {
 public:
  explicit SavingUrlDialog(UrlFormRules& rules) : rules_(rules) {}
  UrlDialogEnd RunUrlDialog(UrlForm& form, bool, bool) override {
    refused = rules_.Save(form);
    return refused.empty() ? UrlDialogEnd::kQueue : UrlDialogEnd::kCancel;
  }

  std::string refused;

 private:
  UrlFormRules& rules_;
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
  testing::RecordingNotifications desktop;
  LinkIntake intake{state, names, commands, events, desktop, clock};
  UrlFormRules rules{state.tree, names};
  SavingUrlDialog dialog{rules};
  UrlAdding adding{state, names, commands, dialog, messages, clock};
};

// Ranges and sets typed in the URL box make one queued item per address, each
// derived as if typed alone; a mistake in them keeps the dialog open.
TEST_F(LinkIntakeTest, RangesInTheUrlBoxMakeOneItemPerAddress) {
  const struct {
    const char* typed;
    std::vector<std::string> items;  // "value:status local"
    std::string refused;
  } rows[] = {
      {"ftp://host/{a,a}.zip", {"ftp://host/a.zip:1 a.zip", "ftp://host/a.zip:1 a(1).zip"}, ""},
      {"http://host/a%5B1%5D.jpg", {"http://host/a%5B1%5D.jpg:1 a[1].jpg"}, ""},
      {"http://[::1]:8080/f.iso", {"http://[::1]:8080/f.iso:1 f.iso"}, ""},
      {"http://host/[9-1]", {}, "Range ends below its start at position 13"},
      {"http://h:{80,99999}/f", {}, "http://h:99999/f: Malformed URL"},
      {"http://host/[1-10001]", {}, kTooManyGlobUrls},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(adding.DownloadTypedUrl(row.typed), row.refused.empty()) << row.typed;
    EXPECT_EQ(dialog.refused, row.refused) << row.typed;
    Tree::Access tree(state.tree);
    Item& list = tree->FindOrCreateChild(folder::kFileList);
    std::vector<std::string> items;
    while (list.ChildCount() > 0) {
      const std::unique_ptr<Item> item = list.DetachChildAt(0);
      const std::string local = item->GetProp(key::kLocal);
      items.push_back(item->GetProp(key::kValue) + ":" + item->GetProp(key::kStatus) + " " +
                      local.substr(local.rfind('/') + 1));
    }
    EXPECT_EQ(items, row.items) << row.typed;
  }
}

TEST_F(LinkIntakeTest, MoreThanAHundredAddressesAskFirst) {
  const struct {
    const char* typed;
    MessageAnswer answer;
    size_t items;
    bool asked;
  } rows[] = {
      {"http://host/f[1-100]", MessageAnswer::kNo, 100, false},
      {"http://host/g[1-101]", MessageAnswer::kNo, 0, true},
      {"http://host/h[1-101]", MessageAnswer::kYes, 101, true},
  };
  for (const auto& row : rows) {
    messages.answer = row.answer;
    messages.shown.clear();
    EXPECT_EQ(adding.DownloadTypedUrl(row.typed), row.items > 0) << row.typed;
    EXPECT_EQ(ListedItems().size(), row.items) << row.typed;
    ASSERT_EQ(messages.shown.size(), row.asked ? 1u : 0u) << row.typed;
    if (row.asked) {
      EXPECT_EQ(messages.shown[0].text, "This address expands to 101 downloads. Add them all?");
      EXPECT_EQ(messages.shown[0].buttons, MessageButtons::kYesNo);
    }
    Tree::Access tree(state.tree);
    while (tree->FindOrCreateChild(folder::kFileList).ChildCount() > 0) {
      tree->FindOrCreateChild(folder::kFileList).DetachChildAt(0);
    }
  }
}

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

// A browser's download takes what the browser knew of its link; its cookies
// go only where they belong.
TEST_F(LinkIntakeTest, ABrowsersDownloadTakesItsCookiesReferrerAgentAndName) {
  HandedDownload download;
  download.url = "https://files.example.com/get?id=7";
  download.referrer = "https://www.example.com/reports/";
  download.userAgent = "Browser/1.0";
  download.filename = "../Quarterly Report \xe2\x82\xac.pdf";
  download.cookies = {{"session", "s3cret", ".example.com", "/", true, true, false, 0},
                      {"pref", "1", "www.example.com", "/", false, false, true, 0}};
  EXPECT_EQ(intake.AddDownloads({download}), std::vector<std::string>{""});

  Tree::Access tree(state.tree);
  const Item& item = *tree->FindOrCreateChild(folder::kFileList).ChildAt(0);
  EXPECT_EQ(item.GetProp(key::kReferrer), download.referrer);
  EXPECT_EQ(item.GetProp(key::kUserAgent), "Browser/1.0");
  EXPECT_EQ(item.GetProp(key::kName), "Quarterly Report \xe2\x82\xac.pdf");
  const CookieJar jar = ParseCookieJar(item.GetProp(key::kCookies));
  const struct {
    const char* url;
    const char* header;
  } rows[] = {
      {"https://files.example.com/get?id=7", "session=s3cret"},
      {"http://files.example.com/get", ""},
      {"https://www.example.com/", "session=s3cret; pref=1"},
      {"https://example.org/", ""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(CookieHeaderFor(jar, *ParseUrlCopy(row.url), 0), row.header) << row.url;
  }
}

// A fresh link from the browser for a download whose link expired goes on
// with that download; another size, or one still running, makes a new one.
TEST_F(LinkIntakeTest, AFreshLinkForAnExpiredDownloadResumesIt) {
  const struct {
    const char* what;
    int status;
    const char* error;
    int64_t size;
    bool renewed;
  } rows[] = {
      {"refused 403", kStatusFailed, "Failure: HTTP/1.1 403 Forbidden", 10, true},
      {"gone 410", kStatusFailed, "Failure: HTTP/1.1 410 Gone", -1, true},
      {"stopped", kStatusOnHold, "", 10, true},
      {"another size", kStatusFailed, "Failure: HTTP/1.1 403 Forbidden", 11, false},
      {"failed otherwise", kStatusFailed, "Failure: HTTP/1.1 500 Oops", 10, false},
  };
  for (const auto& row : rows) {
    Item* old = nullptr;
    {
      Tree::Access tree(state.tree);
      Item& list = tree->FindOrCreateChild(folder::kFileList);
      old = &list.AddChild(std::make_unique<Item>());
      old->SetProp(key::kType, "_url");
      old->SetProp(key::kValue, "http://host/signed/1/r.pdf");
      old->SetProp(key::kName, "r.pdf");
      old->SetProp(key::kLocal, dir.File("r.pdf"));
      old->SetPropInt(key::kStatus, row.status);
      old->SetProp(key::kError, row.error);
      old->SetPropInt64(key::kFileTotal, 10);
    }
    testing::WriteFile(UnfinishedPathOf(dir.File("r.pdf")), "01234");
    desktop.shown.clear();
    HandedDownload download;
    download.url = "http://host/signed/2/r.pdf";
    download.filename = "r.pdf";
    download.size = row.size;
    intake.AddDownloads({download});
    Tree::Access tree(state.tree);
    Item& list = tree->FindOrCreateChild(folder::kFileList);
    EXPECT_EQ(list.ChildCount(), row.renewed ? 1 : 2) << row.what;
    EXPECT_EQ(old->GetProp(key::kValue), row.renewed ? download.url : "http://host/signed/1/r.pdf")
        << row.what;
    if (row.renewed) {
      EXPECT_EQ(old->GetPropInt64(key::kRefreshedTotal), 10) << row.what;
      EXPECT_NE(old->GetProp(key::kLog).find("Resumed with a new link"), std::string::npos);
    }
    const std::vector<Notification> told{{"Resumed with a new link", "r.pdf", "", false}};
    EXPECT_EQ(desktop.shown, row.renewed ? told : std::vector<Notification>{}) << row.what;
    while (list.ChildCount() > 0) {
      list.DetachChild(list.ChildAt(0));
    }
  }
}

// What the browser's paused download waits for: the newest download of its
// URL getting the file, of the browser's size.
TEST_F(LinkIntakeTest, TheFirstAnswerSaysWhetherTheFileIsComing) {
  const struct {
    const char* what;
    int status;
    int64_t total;
    const char* error;
    int64_t size;
    std::string answer;
  } rows[] = {
      {"queued", kStatusQueued, 0, "", 10, ""},
      {"connected, no answer yet", kStatusTransferring, 0, "", 10, ""},
      {"the file comes", kStatusTransferring, 10, "", 10, "started"},
      {"size unknown to the browser", kStatusTransferring, 10, "", -1, "started"},
      {"another size", kStatusTransferring, 11, "", 10,
       "The server sends 11 bytes where the browser got 10."},
      {"refused", kStatusFailed, 0, "Failure: HTTP/1.1 403 Forbidden", 10,
       "Failure: HTTP/1.1 403 Forbidden"},
      {"retrying", kStatusWaitingToRetry, 0, "Receive Error", 10, "Receive Error"},
      {"already whole", kStatusComplete, 10, "", 10, "started"},
  };
  for (const auto& row : rows) {
    {
      Tree::Access tree(state.tree);
      Item& item = tree->FindOrCreateChild(folder::kFileList).AddChild(std::make_unique<Item>());
      item.SetProp(key::kValue, "http://host/f.iso");
      item.SetPropInt(key::kStatus, row.status);
      item.SetPropInt64(key::kFileTotal, row.total);
      item.SetProp(key::kError, row.error);
    }
    EXPECT_EQ(intake.FirstAnswerOf("http://host/f.iso", row.size), row.answer) << row.what;
  }
  EXPECT_EQ(intake.FirstAnswerOf("http://host/other.iso", 10),
            "The download is not in Pellmarsh's list.");
}

TEST_F(LinkIntakeTest, NothingAddedSoundsNothing) {
  EXPECT_EQ(
      intake.AddLinks({"http://", "http://h:102359/f", "https://h\r\nX-Injected: 1/"}),
      (std::vector<std::string>{"Incomplete URL", "Malformed URL", "Control character in URL"}));
  EXPECT_TRUE(ListedItems().empty());
  EXPECT_TRUE(events.raised.empty());
}

// A pasted or dropped text and a command-line argument may hold several
// URLs: each becomes an item of its own, and no item's URL holds a line break.
TEST_F(LinkIntakeTest, ATextWithSeveralUrlsGivesOneItemPerUrlWhicheverWayItComes) {
  struct Row {
    const char* what;
    std::string text;
    std::vector<std::string> urls;
  } rows[] = {
      {"two URLs on two lines",
       "http://host/a.iso\nftp://host/b.zip",
       {"http://host/a.iso", "ftp://host/b.zip"}},
      {"URLs between blanks and a tab",
       "http://host/a.iso  https://host/c.iso\thttp://host/d.iso",
       {"http://host/a.iso", "https://host/c.iso", "http://host/d.iso"}},
      {"a trailing CRLF", "http://host/a.iso\r\n", {"http://host/a.iso"}},
      {"no URL", "just some words", {}},
      {"short forms on lines",
       "www.host/e.zip\r\nftp.host/f.zip",
       {"http://www.host/e.zip", "ftp://ftp.host/f.zip"}},
      {"URLs in a sentence, cut as the clipboard cuts them",
       "get <http://host/g.iso> and \"http://host/h.iso\"\r\nnow",
       {"http://host/g.iso", "http://host/h.iso"}},
      {"one URL alone stays whole", " http://host/\xc3\xa4.iso\n", {"http://host/\xc3\xa4.iso"}},
  };
  const auto listedUrls = [this] {
    std::vector<std::string> urls;
    for (const std::string& listed : ListedItems()) {
      const std::string url = listed.substr(0, listed.rfind(':'));
      EXPECT_FALSE(HoldsControlCharacter(url)) << url;
      urls.push_back(url);
    }
    Tree::Access tree(state.tree);
    while (tree->FindOrCreateChild(folder::kFileList).ChildCount() > 0) {
      tree->FindOrCreateChild(folder::kFileList).DetachChildAt(0);
    }
    return urls;
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    adding.AddDroppedTexts(DroppedTexts({false, {}, "", row.text}));
    EXPECT_EQ(listedUrls(), row.urls) << "dropped or pasted";

    const CommandLine line = ParseCommandLine({row.text});
    EXPECT_EQ(line.problems.size(), row.urls.empty() ? 1u : 0u);
    intake.AddLinks(line.links);
    EXPECT_EQ(listedUrls(), row.urls) << "on the command line";
  }
}

}  // namespace
}  // namespace pellmarsh
