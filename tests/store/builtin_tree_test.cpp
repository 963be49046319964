#include "store/builtin_tree.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "store/keys.h"
#include "support/temp_dir.h"

namespace pellmarsh {
namespace {

std::vector<std::string> ChildNames(const Item& folder) {
  std::vector<std::string> names;
  for (int index = 0; index < folder.ChildCount(); ++index) {
    names.push_back(folder.ChildAt(index)->GetProp(key::kName));
  }
  return names;
}

class BuiltinTreeTest : public ::testing::Test {
 protected:
  void SetUpAll() {
    SetUpRootAndFolders(root, dir.path());
    SetUpDefaultsAndSettings(root, dir.path());
  }

  std::string DownloadDir() const { return dir.File("download"); }

  testing::TempDir dir;
  Item root;
};

TEST_F(BuiltinTreeTest, AFreshTreeGetsEveryFolderInOrder) {
  SetUpAll();
  EXPECT_EQ(ChildNames(root),
            (std::vector<std::string>{"_typelist", "_filelist", "_filelog", "nkw-defaults",
                                      "nkw-ftptext", "nkw-httptext"}));
  EXPECT_EQ(root.GetProp(key::kName), "Top Folder");
  EXPECT_EQ(root.GetProp(key::kValue), "You're not supposed to see this.");
  EXPECT_EQ(root.GetProp(key::kType), "_folder");
  EXPECT_EQ(root.GetProp(key::kRunDirectory), dir.path());
  EXPECT_EQ(ChildNames(*root.FindByName("_typelist")),
            (std::vector<std::string>{"_item", "_folder", "_url", "_type"}));
  EXPECT_EQ(ChildNames(*root.FindByName("nkw-ftptext")),
            (std::vector<std::string>{"TXT", "TEXT", "HTML", "HTM"}));
  EXPECT_EQ(ChildNames(*root.FindByName("nkw-httptext")),
            (std::vector<std::string>{"text/plain", "text/html"}));
  const Item* url = root.FindByName("_url");
  EXPECT_EQ(url->GetProp(key::kValue), "Internet File");
  EXPECT_EQ(url->GetPropInt(key::kPublic), 1);
  EXPECT_EQ(url->GetPropInt(key::kIcon), 2);
  EXPECT_EQ(root.FindByName("_filelist")->GetProp(key::kValue), "List of files to download.");
}

TEST_F(BuiltinTreeTest, AFreshTreeGetsEverySettingDefault) {
  SetUpAll();
  const std::pair<PropKey, const char*> defaults[] = {
      {setting::kMinTray, "1"},
      {setting::kHighSpeed, "0.000000"},
      {setting::kLowSpeed, "29296.875000"},
      {setting::kGoFast, "0"},
      {setting::kBps, "1"},
      {setting::kOwnsFiles, "1"},
      {setting::kDelLog, "1"},
      {setting::kRetryShort, "1"},
      {setting::kCheckNewVersion, "1"},
      {setting::kMaxCons, "2"},
      {setting::kMaxConEnable, "1"},
  };
  for (const auto& [key, value] : defaults) {
    EXPECT_EQ(root.GetProp(key), value) << key.text();
  }
  EXPECT_EQ(root.GetProp(setting::kOffline), "");
}

TEST_F(BuiltinTreeTest, StoredSettingsStayAndEmptyOnesGetTheirDefault) {
  root.SetProp(setting::kLowSpeed, "250");
  root.SetProp(setting::kHighSpeed, "");
  root.SetPropInt(setting::kBps, 0);
  root.SetPropInt(setting::kMaxCons, 5);
  root.SetPropInt(setting::kMaxConEnable, 0);
  SetUpAll();
  EXPECT_EQ(root.GetProp(setting::kLowSpeed), "250");
  EXPECT_EQ(root.GetProp(setting::kHighSpeed), "0.000000");
  EXPECT_EQ(root.GetProp(setting::kBps), "0");
  EXPECT_EQ(root.GetProp(setting::kMaxCons), "5");
  EXPECT_EQ(root.GetProp(setting::kMaxConEnable), "0");
}

// Data files from before the switch have none: they get it on.
TEST_F(BuiltinTreeTest, NotificationsAreOnUnlessSwitchedOff) {
  SetUpAll();
  EXPECT_EQ(root.GetProp(setting::kNotifyOn), "1");
  root.SetPropInt(setting::kNotifyOn, 0);
  SetUpAll();
  EXPECT_EQ(root.GetProp(setting::kNotifyOn), "0");
}

TEST_F(BuiltinTreeTest, LinksFromOtherProgramsAreQueuedUnlessSwitchedOff) {
  SetUpAll();
  EXPECT_EQ(root.GetProp(setting::kQueueLinks), "1");
  root.SetPropInt(setting::kQueueLinks, 0);
  SetUpAll();
  EXPECT_EQ(root.GetProp(setting::kQueueLinks), "0");
}

TEST_F(BuiltinTreeTest, TypeDescriptionsAreRestoredButNothingIsDuplicated) {
  SetUpAll();
  root.FindByName("_url")->SetProp(key::kValue, "edited");
  root.FindByName("_typelist")->DetachChildAt(0);  // "_item" lost from the data file
  SetUpAll();
  EXPECT_EQ(root.FindByName("_url")->GetProp(key::kValue), "Internet File");
  EXPECT_EQ(ChildNames(*root.FindByName("_typelist")),
            (std::vector<std::string>{"_folder", "_url", "_type", "_item"}));
  EXPECT_EQ(root.ChildCount(), 6);
}

TEST_F(BuiltinTreeTest, TheDefaultHostEntryAndItsDirectoryAreMadeOnlyWhenMissing) {
  SetUpAll();
  const Item* entry = root.FindByName(kDefaultHostEntry);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->GetProp(key::kLocalPath), DownloadDir());
  EXPECT_EQ(entry->GetProp(key::kLogin), "anonymous");
  EXPECT_EQ(entry->GetProp(key::kPassword), kAnonymousPassword);
  EXPECT_TRUE(std::filesystem::is_directory(DownloadDir()));

  std::filesystem::remove(DownloadDir());
  root.FindByName(kDefaultHostEntry)->SetProp(key::kLogin, "me");
  SetUpAll();
  EXPECT_FALSE(std::filesystem::exists(DownloadDir()));
  EXPECT_EQ(root.FindByName(kDefaultHostEntry)->GetProp(key::kLogin), "me");

  Item& defaults = *root.FindByName("nkw-defaults");
  defaults.DetachChild(root.FindByName(kDefaultHostEntry));
  SetUpAll();
  EXPECT_TRUE(std::filesystem::is_directory(DownloadDir()));
}

TEST_F(BuiltinTreeTest, ADownloadFolderIsMadeWithTheMissingFoldersAboveItForItsOwnerOnly) {
  const std::string downloads = dir.File("home/not-yet/Downloads");
  SetUpDefaultsAndSettingsWithDownloads(root, downloads);
  EXPECT_TRUE(std::filesystem::is_directory(downloads));
  for (const std::string& made : {dir.File("home"), downloads}) {
    EXPECT_EQ(std::filesystem::status(made).permissions(), std::filesystem::perms::owner_all)
        << made;
  }
}

TEST_F(BuiltinTreeTest, AnEmptiedTextTypeFolderStaysEmpty) {
  SetUpAll();
  Item& ftpText = *root.FindByName("nkw-ftptext");
  while (ftpText.ChildCount() > 0) {
    ftpText.DetachChildAt(0);
  }
  SetUpAll();
  EXPECT_EQ(root.FindByName("nkw-ftptext")->ChildCount(), 0);
}

TEST(FirstStart, TheMarkerIsStoredOnceWithTheTime) {
  Item root;
  EXPECT_TRUE(MarkFirstStart(root, 1765000000));
  EXPECT_EQ(root.GetProp(setting::kFirstStart), "1765000000");
  EXPECT_FALSE(MarkFirstStart(root, 1765009999));
  EXPECT_EQ(root.GetProp(setting::kFirstStart), "1765000000");
}

}  // namespace
}  // namespace pellmarsh
