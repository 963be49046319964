#include "url/local_naming.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "store/keys.h"
#include "support/temp_dir.h"
#include "url/host_defaults.h"

namespace pellmarsh {
namespace {

TEST(LocalFileName, FilesKeepTheirNameAndDirectoriesGetAnIndexName) {
  const std::pair<std::string, const char*> rows[] = {
      {"http://host/", "host-index.html"},
      {"http://host/a/b/", "b-index.html"},
      {"https://host/", "host-index.html"},
      {"http://host/a//", "download.html"},
      {"ftp://host/pub/", "pub-index.txt"},
      {"file:///home/me/a.txt", "a.txt"},
      {"file:///home/me/a%20b.iso", "a%20b.iso"},
      {"file:///home/me/", "download.txt"},
      {"http://host/Dir/A.Zip", "A.Zip"},
      {"ftp://host/pub/*.zip", "pub-index.txt"},
      {"http:///x", "download.html"},
      {"nonsense", "download.txt"},
      {"http://host/a/..", "a-index.html"},
      {"http://host/.?x", "host-index.html"},
      {std::string("http://host/a\0b", 15), "a_b"},
      {"http://[2001:db8::1]:8080/", "2001_db8__1-index.html"},
      {"ftp://[::1]/pub/", "pub-index.txt"},
      {"http://host/a\x01\x1f\x7f\x80"
       "b",
       "a___\x80"
       "b"},
  };
  for (auto [url, name] : rows) {
    EXPECT_EQ(LocalFileName(*ParseUrl(url)), name) << url;
  }
}

TEST(LocalFileName, ALongNameIsCutToTheLimitKeepingItsExtensionAndItsCharacters) {
  const std::string umlauts = [] {
    std::string text;
    for (int i = 0; i < 150; ++i) {
      text += "\xc3\xbc";
    }
    return text;
  }();
  const struct {
    const char* what;
    std::string file, name;
  } rows[] = {
      {"a short extension stays", std::string(300, 'a') + ".zip", std::string(246, 'a') + ".zip"},
      {"a long extension is name", "x." + std::string(300, 'e'), "x." + std::string(248, 'e')},
      {"no two-byte character is split", umlauts + ".tar", umlauts.substr(0, 246) + ".tar"},
      {"a name at the limit is left", std::string(250, 'n'), std::string(250, 'n')},
  };
  for (const auto& row : rows) {
    std::string url = "http://host/" + row.file;
    EXPECT_EQ(LocalFileName(*ParseUrl(url)), row.name) << row.what;
  }
}

TEST(LocalFileName, AFileNameIsPercentDecodedOnlyWhenThatGivesCleanUtf8) {
  const struct {
    const char* what;
    std::string url, name;
  } rows[] = {
      {"UTF-8 and a space", "http://host/caf%C3%A9%20menu.dat", "caf\xc3\xa9 menu.dat"},
      {"lower-case hex digits", "http://host/%e2%82%ac%20rates.pdf", "\xe2\x82\xac rates.pdf"},
      {"an escaped %", "http://host/100%25.txt", "100%.txt"},
      {"a + is no space in a path", "http://host/a+b.zip", "a+b.zip"},
      {"a % with no escape keeps every escape", "http://host/50%25%20off%.txt", "50%25%20off%.txt"},
      {"a % at the end", "http://host/end%", "end%"},
      {"non-hex digits", "http://host/a%zz%20b", "a%zz%20b"},
      {"a Latin-1 byte is no UTF-8", "http://host/caf%E9.txt", "caf%E9.txt"},
      {"an overlong slash is no UTF-8", "http://host/a%C0%AFb", "a%C0%AFb"},
      {"a raw byte that is no UTF-8", "http://host/\x80%20x", "\x80%20x"},
      {"an escaped slash", "http://host/etc%2Fpasswd", "etc%2Fpasswd"},
      {"an escaped backslash", "http://host/..%5C..%5Cx", "%5C..%5Cx"},
      {"an escaped NUL", "http://host/a%00b.txt", "a_b.txt"},
      {"an escaped line break", "http://host/a%0D%0ADELE", "a__DELE"},
      {"an escaped C1 control", "http://host/%C2%9B31m", "_31m"},
      {"escaped dots name a directory", "http://host/d/%2E%2E", "d-index.html"},
      {"an escaped dotfile", "http://host/%2Ebashrc", "bashrc"},
      {"a directory's name is decoded too", "http://host/caf%C3%A9/", "caf\xc3\xa9-index.html"},
      {"a hidden directory's name", "http://host/.git/", "git-index.html"},
      {"the decoded length counts",
       "http://host/" +
           [] {
             std::string escaped;
             for (int i = 0; i < 300; ++i) {
               escaped += "%41";
             }
             return escaped;
           }() +
           ".zip",
       std::string(246, 'A') + ".zip"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(LocalFileName(*ParseUrlCopy(row.url)), row.name) << row.what;
  }
}

class LocalNamingTest : public ::testing::Test {
 protected:
  LocalNamingTest() {
    std::filesystem::create_directory(download);
    Host("(default for new hosts)", download.c_str(), "anonymous")
        .SetProp(key::kPassword, "guest@");
  }

  Item& Host(const char* name, const char* localpath, const char* login) {
    Item& entry = HostDefaults(root).FindOrCreateChild(name);
    entry.SetProp(key::kLocalPath, localpath);
    entry.SetProp(key::kLogin, login);
    return entry;
  }

  Item& Choose(std::string url, const char* login = "") {
    items.emplace_back(std::make_unique<Item>())->SetProp(key::kLogin, login);
    ChooseNewItemSettings(root, names, *ParseUrl(url), *items.back());
    return *items.back();
  }

  testing::TempDir dir;
  const std::string download = dir.File("download");
  Tree tree;
  // Held for the whole test: the fixture's thread is the only one here, and
  // the registry takes the lock again on it.
  Tree::Access access{tree};
  Item& root = access.root();
  LocalNameRegistry names{tree};
  std::vector<std::unique_ptr<Item>> items;
};

TEST_F(LocalNamingTest, TheHostsOwnDirectoryWinsOnlyWhenItHasOne) {
  Host("Empty.Host", "", "");
  Host("own.host", "/srv/own", "");
  EXPECT_EQ(Choose("http://empty.host/a.zip").GetProp(key::kLocal), download + "/a.zip");
  EXPECT_EQ(Choose("http://OWN.host/a.zip").GetProp(key::kLocal), "/srv/own/a.zip");
  EXPECT_EQ(Choose("http://unknown/a.zip").GetProp(key::kLocal), download + "/a(1).zip");
  EXPECT_EQ(items.back()->GetProp(key::kName), "a(1).zip");
}

TEST_F(LocalNamingTest, TheUrlsUserWinsThenTheItemsThenTheHostsThenTheDefault) {
  Host("host", "", "hostlogin");
  Host("", "", "nameless");  // no host name matches an entry without one
  EXPECT_EQ(Choose("ftp://me:pw@host/f", "item").GetProp(key::kLogin), "me");
  EXPECT_EQ(items.back()->GetProp(key::kPassword), "pw");
  EXPECT_EQ(Choose("ftp://host/f", "item").GetProp(key::kLogin), "item");
  EXPECT_EQ(Choose("ftp://host/f").GetProp(key::kLogin), "hostlogin");
  EXPECT_EQ(Choose("ftp://other/f").GetProp(key::kPassword), "guest@");
  EXPECT_EQ(Choose("file:///home/f").GetProp(key::kLogin), "anonymous");
}

TEST_F(LocalNamingTest, NoNameFromAUrlLeavesTheDownloadDirectory) {
  for (const std::string& directory : {download, dir.File("missing")}) {
    Host("host", directory.c_str(), "");
    for (const char* url : {"http://host/..", "http://host/a/..", "http://host/.", "http://host/?",
                            "http://host/..\\x"}) {
      const std::filesystem::path local(Choose(url).GetProp(key::kLocal));
      EXPECT_EQ(local.parent_path(), directory) << url;
      EXPECT_NE(local.filename(), "..") << url;
      EXPECT_NE(local.filename(), ".") << url;
    }
  }
}

TEST_F(LocalNamingTest, ARedirectIsResolvedAgainstTheRequestedUrlAndRenamesTheFile) {
  const std::tuple<const char*, const char*, const char*, const char*> rows[] = {
      {"http://host/a/b/page.html", "../d.html", "http://host/a/d.html", "d.html"},
      {"http://host/x", "/new", "http://host:80/new", "new"},
      {"http://host:8080/x", "/n.zip", "http://host:8080/n.zip", "n.zip"},
      {"http://host/a/page.html", "sub/f.txt", "http://host/a/sub/f.txt", "f.txt"},
      {"http://host/a/page.html", "ftp://other/z.zip", "ftp://other/z.zip", "z.zip"},
      {"http://host/a/b/page.html", "../d.html", "http://host/a/d.html", "d(1).html"},
      // ".." above the root stays on the same host.
      {"http://host/page.html", "../../x.html", "http://host/x.html", "x.html"},
      // A server cannot send the download to a local file.
      {"http://host/a/p", "file:///etc/passwd", "http://host/a/file:///etc/passwd", "passwd"},
      // A network URL that does not parse stays whole, for the next attempt to refuse.
      {"http://host/a/p", "http://host:102359/f", "http://host:102359/f", "download.html"},
      {"http://host/a/p", "ftp://a\x01z/f", "ftp://a\x01z/f", "download.txt"},
      // "/../" in a query is the server's data, not a step up the path.
      {"http://host/files/a.html", "/files/get.php?p=/../y.bin",
       "http://host:80/files/get.php?p=/../y.bin", "y.bin"},
  };
  for (const auto& [value, location, resolved, name] : rows) {
    Item item;
    item.SetProp(key::kLocal, download + "/page.html");
    item.SetProp(key::kName, "page.html");
    const std::string target = RedirectTarget(location, value);
    RenameForRedirect(names, item, target);
    EXPECT_EQ(target, resolved) << value << " to " << location;
    EXPECT_EQ(item.GetProp(key::kLocal), download + "/" + name) << value << " to " << location;
    EXPECT_EQ(item.GetProp(key::kName), name) << value << " to " << location;
  }
}

TEST_F(LocalNamingTest, ARedirectToTheSameNameKeepsItAndGivesTheOldNameBack) {
  Item& item = Choose("http://host/a.zip");
  std::string current = "http://host/a.zip";
  for (const char* location : {"/mirror/a.zip", "/again/a.zip", "/b.zip", "/a.zip"}) {
    current = RedirectTarget(location, current);
    RenameForRedirect(names, item, current);
  }
  EXPECT_EQ(item.GetProp(key::kLocal), download + "/a.zip");
  EXPECT_FALSE(names.IsTaken(download + "/b.zip"));
  const std::string longName = std::string(300, 'l') + ".iso";
  EXPECT_EQ(Choose("http://host/" + longName).GetProp(key::kName), std::string(246, 'l') + ".iso");
  EXPECT_EQ(Choose("http://host/" + longName).GetProp(key::kName),
            std::string(243, 'l') + "(1).iso");
}

}  // namespace
}  // namespace pellmarsh
