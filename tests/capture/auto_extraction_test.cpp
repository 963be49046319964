// A page downloaded from a real server fills the clip list with its links.
#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "app/app.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "support/app_harness.h"
#include "support/nginx_server.h"
#include "support/wait.h"

namespace pellmarsh {
namespace {

TEST(AutomaticExtraction, ACompletedPageFillsTheClipListWithItsLinks) {
  testing::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/site/docs/index.html",
                "<html><body>\n<a href=\"a.zip\">a</a> <img src='/img/b.gif'>\n"
                "<a href=\"../up.html\">up</a> see ftp://ftp.example.invalid/pub/c.tar\n"
                "<a href=\"a.zip\">a again</a>\n</body></html>\n");
  testing::AppHarness harness;
  App& app = harness.Load();
  const std::string page = nginx.Url("/site/docs/index.html");
  {
    Tree::Access tree(app.tree());
    tree->SetPropInt(setting::kAutoExtract, 1);
    harness.Queue(page, harness.dir.File("index.html"));
  }
  app.StartWorkers();

  const std::set<std::string> expected = {nginx.Url("/site/docs/a.zip"), nginx.Url("/img/b.gif"),
                                          nginx.Url("/site/up.html"),
                                          "ftp://ftp.example.invalid/pub/c.tar"};
  std::set<std::string> clipped;
  const bool filled = testing::WaitFor(
      [&] {
        Tree::Access tree(app.tree());
        const Item* clip = tree->FindByName(folder::kFileClip);
        clipped.clear();
        for (int i = 0; clip && i < clip->ChildCount(); ++i) {
          EXPECT_EQ(clip->ChildAt(i)->GetPropInt(key::kStatus), kStatusClipped);
          clipped.insert(clip->ChildAt(i)->GetProp(key::kValue));
        }
        return clipped.size() >= expected.size();
      },
      std::chrono::seconds(20));
  EXPECT_TRUE(filled);
  EXPECT_EQ(clipped, expected);
  EXPECT_TRUE(testing::WaitFor([&] { return app.extraction().idle(); }, std::chrono::seconds(5)));
}

}  // namespace
}  // namespace pellmarsh
