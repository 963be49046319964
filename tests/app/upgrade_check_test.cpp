#include "app/upgrade_check.h"

#include <gtest/gtest.h>

#include <sstream>

#include "store/item_status.h"
#include "store/keys.h"
#include "support/app_harness.h"

namespace pellmarsh {
namespace {

struct PageCase {
  const char* name;
  const char* page;
  std::optional<std::string> offered;
};

class UpgradePage : public ::testing::TestWithParam<PageCase> {};

TEST_P(UpgradePage, OffersTheNewestVersionWhenItSortsAfterOurOwn) {
  std::istringstream page(GetParam().page);
  EXPECT_EQ(NewestVersionOffered(page), GetParam().offered);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UpgradePage,
    ::testing::Values(PageCase{"Newer", "<p>Current Version: [1.3]</p>\n", "1.3"},
                      PageCase{"OurOwn", "Current Version: [1.2d]\n", {}},
                      // Byte by byte, "1.10" sorts before "1.2d".
                      PageCase{"TwoDigitMinorSortsBefore", "Current Version: [1.10]\n", {}},
                      PageCase{"NoClosingBracket", "Current Version: [1.3\n", {}},
                      PageCase{
                          "CaseMatters", "Current Version: [1.2D]\ncurrent version: [9]\n", {}},
                      PageCase{"OnlyTheNewestOfEveryMarkerLine",
                               "a\r\nCurrent Version: [1.3]\r\nb Current Version: [2.0] c\r\n"
                               "Current Version: [1.4]\r\n",
                               "2.0"}),
    [](const ::testing::TestParamInfo<PageCase>& info) { return info.param.name; });

TEST(UpgradeUrl, AppendsThePathsToTheSiteAndNeedsASite) {
  EXPECT_EQ(UpgradeUrl("http://h:8080", UpgradeKind::kCheckPage),
            "http://h:8080/pellmarsh/upgradecheck.html");
  EXPECT_EQ(UpgradeUrl("http://h/mirror/", UpgradeKind::kProgram),
            "http://h/mirror/pellmarsh/pellmarsh.exe");
  EXPECT_EQ(UpgradeUrl("", UpgradeKind::kCheckPage), "");
  EXPECT_EQ(UpgradeUrl("updates.example.net", UpgradeKind::kCheckPage),
            "http://updates.example.net/pellmarsh/upgradecheck.html");
}

TEST(StartUpgradeDownload, QueuesAnAppliedItemOnlyWhenASiteIsSet) {
  testing::AppHarness harness;
  App& app = harness.Load();
  Tree::Access tree(app.tree());
  EXPECT_EQ(StartUpgradeDownload(tree.root(), app.localNames(), 1234, UpgradeKind::kCheckPage),
            nullptr);
  tree->SetProp(setting::kUpgradeUrl, "http://127.0.0.1:9/");
  Item* item = StartUpgradeDownload(tree.root(), app.localNames(), 1234, UpgradeKind::kProgram);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Parent(), tree->FindChild(folder::kFileList));
  EXPECT_EQ(item->GetProp(key::kValue), "http://127.0.0.1:9/pellmarsh/pellmarsh.exe");
  EXPECT_EQ(item->GetProp(key::kOriginalValue), item->GetProp(key::kValue));
  EXPECT_EQ(item->GetPropInt(key::kAutoUpdate), 2);
  EXPECT_EQ(item->GetPropInt(key::kStatus), kStatusQueued);
  EXPECT_EQ(item->GetPropInt64(key::kCreate), 1234);
  EXPECT_NE(item->GetProp(key::kLocal).find("pellmarsh.exe"), std::string::npos);
}

TEST(UpgradeCheckDue, OnceThirtyDaysHavePassedWithASiteSet) {
  constexpr int64_t kDay = 86400;
  struct Row {
    const char* name;
    int64_t age;
    const char* site;
    bool due;
  };
  for (const Row& row : {Row{"29 days", 29 * kDay, "http://127.0.0.1:9", false},
                         Row{"31 days", 31 * kDay, "http://127.0.0.1:9", true},
                         Row{"31 days without a site", 31 * kDay, "", false}}) {
    SCOPED_TRACE(row.name);
    testing::AppHarness harness;
    App& app = harness.Load();
    const int64_t lastCheck = app.clock().UnixTime() - row.age;
    {
      Tree::Access tree(app.tree());
      tree->SetPropInt(setting::kCheckNewVersion, 1);
      tree->SetPropInt64(setting::kCheckNewTime, lastCheck);
      tree->SetProp(setting::kUpgradeUrl, row.site);
    }
    EXPECT_EQ(app.TakeUpgradeCheckDue(), row.due);
    Tree::Access tree(app.tree());
    EXPECT_EQ(tree->GetPropInt64(setting::kCheckNewTime) != lastCheck, row.due);
  }
}

}  // namespace
}  // namespace pellmarsh
