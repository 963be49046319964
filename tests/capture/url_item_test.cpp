#include "capture/url_item.h"

#include <gtest/gtest.h>

#include "store/builtin_tree.h"
#include "store/keys.h"
#include "support/temp_dir.h"
#include "url/host_defaults.h"

namespace pellmarsh {
namespace {

class ApplyUrlToItemTest : public ::testing::Test {
 protected:
  ApplyUrlToItemTest() {
    SetUpDefaultsAndSettings(root, dir.path());
    Item& host = HostDefaults(root).FindOrCreateChild("ftp.host");
    host.SetProp(key::kLogin, "hostlogin");
  }

  // "value|local|name|login|password|error" after applying to the given properties.
  std::string Apply(std::initializer_list<std::pair<PropKey, const char*>> props) {
    Item item;
    for (const auto& [key, value] : props) {
      item.SetProp(key, value);
    }
    ApplyUrlToItem(root, names, item);
    std::string described;
    for (PropKey key :
         {key::kValue, key::kLocal, key::kName, key::kLogin, key::kPassword, key::kError}) {
      described += (described.empty() ? "" : "|") + item.GetProp(key);
    }
    return described;
  }

  testing::TempDir dir;
  const std::string download = dir.File("download/");
  Tree tree;
  Tree::Access access{tree};  // held throughout: the fixture's thread is the only one here
  Item& root = access.root();
  LocalNameRegistry names{tree};
};

TEST_F(ApplyUrlToItemTest, CompletesAndCanonicalisesTheItem) {
  const std::string dl = download;
  EXPECT_EQ(Apply({{key::kValue, "ftp.host/pub/f.zip"}}),
            "ftp://ftp.host/pub/f.zip|" + dl + "f.zip|f.zip|hostlogin|" + kAnonymousPassword + "|");
  EXPECT_EQ(Apply({{key::kValue, "HTTP://bob:s:cret@web:80/a.txt#top"}, {key::kLogin, "old"}}),
            "http://web/a.txt|" + dl + "a.txt|a.txt|bob|s:cret|")
      << "the URL's credentials win and leave the URL";
  EXPECT_EQ(Apply({{key::kValue, "http://web/a.txt"}, {key::kName, "Mine"}}),
            "http://web/a.txt|" + dl + "a(1).txt|Mine|anonymous|" + kAnonymousPassword + "|")
      << "an empty save-as draws a fresh unique path; a title stays";
  EXPECT_EQ(Apply({{key::kValue, "http://web:8080/"}, {key::kLocal, "/kept/x"}}),
            "http://web:8080/|/kept/x|x|anonymous|" + std::string(kAnonymousPassword) + "|");
  EXPECT_EQ(Apply({{key::kValue, "gopher://host/x"}, {key::kLogin, "me"}, {key::kError, "old"}}),
            "gopher://host/x|||me||Unsupported protocol: gopher")
      << "a parse failure changes nothing but the error";
}

TEST_F(ApplyUrlToItemTest, EveryWayInRefusesAControlCharacterAndAPortNoSocketHolds) {
  const std::pair<const char*, const char*> rows[] = {
      {"http://h/a\r\nX-Injected: 1", "Control character in URL"},
      {"ftp://h/a\tb", "Control character in URL"},
      {"http://h/\x7f", "Control character in URL"},
      {"http://127.0.0.1:102359/f", "Malformed URL"},
      {"http://h:65535/f", ""},
  };
  for (const auto& [text, problem] : rows) {
    EXPECT_EQ(UrlProblem(text), problem) << text;
    EXPECT_TRUE(Apply({{key::kValue, text}}).ends_with(std::string("|") + problem)) << text;
  }
}

TEST(DroppedTexts, FilesTextAndLinks) {
  struct Row {
    const char* what;
    DroppedData drop;
    std::vector<std::string> texts;
  };
  const Row rows[] = {
      {"a browser link: its plain text whole",
       {false, {}, "http://web/a.zip\r\n", "http://web/a.zip"},
       {"http://web/a.zip"}},
      {"files from a file manager, last first",
       {true, {"/home/me/a", "/home/me/b"}, "file:///home/me/a\r\nfile:///home/me/b\r\n", ""},
       {"/home/me/b", "/home/me/a"}},
      {"several links: each its own",
       {false,
        {},
        "# comment\r\nhttp://web/a\r\nftp://ftp.web/b\r\n",
        "http://web/a ftp://ftp.web/b"},
       {"http://web/a", "ftp://ftp.web/b"}},
      {"one link and no plain text", {false, {}, "http://web/a\n", ""}, {"http://web/a"}},
      {"plain text without a URL: nothing", {false, {}, "", "two\r\nlines"}, {}},
      {"several URLs in the plain text: each",
       {false, {}, "http://web/a\r\n", "http://web/a\r\nftp://web/b\r\n"},
       {"http://web/a", "ftp://web/b"}},
      {"nothing usable", {false, {}, "", ""}, {}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DroppedTexts(row.drop), row.texts) << row.what;
  }
}

}  // namespace
}  // namespace pellmarsh
