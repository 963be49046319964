#include "capture/url_extraction.h"

#include <gtest/gtest.h>

#include <fstream>

#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "support/temp_dir.h"

namespace pellmarsh {
namespace {

std::vector<std::string> Scanned(std::string_view line) {
  std::vector<std::string> found;
  ScanPageLine(line, [&found](std::string_view candidate) {
    found.emplace_back(candidate);
    return true;
  });
  return found;
}

std::string Joined(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) {
    joined += (joined.empty() ? "" : "|") + text;
  }
  return joined;
}

struct LineRow {
  const char* what;
  std::string line;
  const char* candidates;
};

TEST(ScanPageLine, FindsAttributeValuesAndWrittenUrlsInLineOrder) {
  const LineRow rows[] = {
      {"an image then a link", R"(<img src="a.gif"><a href='b.html'>)", "a.gif|b.html"},
      {"capitals, and the value's :// is not found again", R"(<A HREF="http://h/x">)",
       "http://h/x"},
      {"an empty href abandons the rest of the line", R"(<a href="">x</a><a href="c.html">)", ""},
      {"a line ending in href= gives nothing", "text <a href=", ""},
      {"an unquoted value ends at a blank or angle, not a quote", "href=a'b.html> src=c d",
       "a'b.html|c"},
      {"two written URLs in a paragraph", "see http://host/a, and ftp://h/b. ok",
       "http://host/a,|ftp://h/b."},
      {"quotes and angle brackets cut a written URL", R"("http://q/1" <http://q/2>)",
       "http://q/1|http://q/2"},
      {"a non-ASCII byte ends a value", "http://h/caf\xc3\xa9 href=x\xc3y", "http://h/caf|x"},
      {"the scheme is every letter before ://", "Xhttp://host/", "Xhttp://host/"},
      {"a name straddling an earlier value is not an attribute", "href=xsrc=y", "xsrc=y"},
  };
  for (const LineRow& row : rows) {
    EXPECT_EQ(Joined(Scanned(row.line)), row.candidates) << row.what;
  }
}

TEST(ScanPageLine, HugeLineIsScannedOnce) {
  std::string line;
  for (int i = 0; i < 200000; ++i) {
    line += "<a href=\"/f" + std::to_string(i) + "\">x</a>";
  }
  const std::vector<std::string> found = Scanned(line);
  ASSERT_EQ(found.size(), 200000u);
  EXPECT_EQ(found.back(), "/f199999");
}

struct ResolveRow {
  const char* candidate;
  const char* page;
  const char* resolved;
};

TEST(ResolveCandidate, MakesReferencesAbsoluteAndKeepsOnlyHttpHttpsAndFtp) {
  const ResolveRow rows[] = {
      {"../up.html", "http://host/a/b/page.html", "http://host/a/up.html"},
      {"/x.zip", "http://host/a/b/page.html", "http://host:80/x.zip"},
      {"ftp://f/pub/../x", "http://host/a/b.html", "ftp://f/x"},
      {"https://s/a/../b.zip", "http://host/a/b.html", "https://s/b.zip"},
      {"/x.zip", "https://host/a/b/page.html", "https://host:443/x.zip"},
      {"me@example.org", "http://host:8080/a/b.html", "http://host:8080/a/me@example.org"},
      {"HTTP://H/x", "http://host/a/b.html", ""},
      {"/name", "ftp://host/pub/", "ftp://host:21/name"},
      {"//pub/name", "ftp://host/pub/", "ftp://host:21//pub/name"},
      {"news://n/g", "http://host/a.html", "http://host/news://n/g"},
      // Dot segments are the path's: a query or fragment keeps its "/../".
      {"get.php?p=/../y.bin", "http://host/f/page.html", "http://host/f/get.php?p=/../y.bin"},
      {"x.bin", "http://host/f/get.php?d=/a/b", "http://host/f/x.bin"},
      {"http://h/a/../b?q=/../c#f/../g", "http://host/", "http://h/b?q=/../c#f/../g"},
  };
  for (const ResolveRow& row : rows) {
    EXPECT_EQ(ResolveCandidate(row.candidate, LinkBase(row.page)), row.resolved) << row.candidate;
  }
}

class ExtractionTest : public ::testing::Test {
 protected:
  ExtractionTest() {
    SetUpRootAndFolders(root, dir.path());
    SetUpDefaultsAndSettings(root, dir.path());
  }

  ExtractionSource Page(const std::string& url, const std::string& text, bool listing = false) {
    const std::string path = dir.File("page");
    std::ofstream(path, std::ios::binary) << text;
    return {path, url, listing};
  }
  Item& Folder(std::string_view name) { return *root.FindByName(name); }
  // "originalvalue>value" of each clipped item, oldest first.
  std::string Clipped() {
    std::string described;
    Item& clip = ClipFolder(root);
    for (int i = 0; i < clip.ChildCount(); ++i) {
      const Item& item = *clip.ChildAt(i);
      EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusClipped);
      described +=
          (i ? "|" : "") + item.GetProp(key::kOriginalValue) + ">" + item.GetProp(key::kValue);
    }
    return described;
  }
  size_t Extract(const ExtractionSource& source) {
    auto plan = PlanExtraction(source);
    return plan ? AddExtractedUrls(root, names, plan->urls, 1000) : 0;
  }

  testing::TempDir dir;
  Tree tree;
  Tree::Access access{tree};  // held throughout: the fixture's thread is the only one here
  Item& root = access.root();
  LocalNameRegistry names{tree};
};

// Copying a URL and then downloading it gives the plain name.
TEST_F(ExtractionTest, AClippedUrlLeavesItsNameToTheDownload) {
  const Item* clipped = ClipCapturedUrl(root, names, "http://host/file.zip", 1000);
  ASSERT_NE(clipped, nullptr);
  EXPECT_EQ(names.MakeUniqueLocalPath(clipped->GetProp(key::kLocal)),
            clipped->GetProp(key::kLocal));
}

TEST_F(ExtractionTest, PageLinksBecomeClippedItemsOnceEach) {
  Item& queued = Folder(folder::kFileList).AddChild(std::make_unique<Item>());
  queued.SetProp(key::kValue, "http://host/queued.zip");
  queued.SetProp(key::kOriginalValue, "http://host:80/original.zip");
  const auto source = Page("http://host/a/b/page.html",
                           "<a href=\"/x.zip\">x</a> <a href=\"/x.zip\">again</a>\n"
                           "<a href=\"http://host/queued.zip\"> <a href=/original.zip>\n"
                           "<img src=../up.gif>\n");
  EXPECT_EQ(Extract(source), 2u);
  EXPECT_EQ(Clipped(),
            "http://host:80/x.zip>http://host/x.zip|http://host/a/up.gif>"
            "http://host/a/up.gif");
  EXPECT_EQ(Extract(source), 0u) << "known in both forms now";
}

TEST_F(ExtractionTest, ListingLinesAreNamesOnTheServerRoot) {
  EXPECT_EQ(Extract(Page("ftp://host/pub/", "name\r\n\r\n/pub/other\r\n", true)), 2u);
  EXPECT_EQ(Clipped(),
            "ftp://host:21/name>ftp://host/name|ftp://host:21//pub/other>"
            "ftp://host//pub/other");
}

TEST_F(ExtractionTest, NothingWithoutAFileOrADirectoryToResolveAgainst) {
  EXPECT_FALSE(PlanExtraction({dir.File("missing"), "http://host/a/b.html", false}));
  EXPECT_FALSE(PlanExtraction(Page("http://host", "href=x.html")));
  EXPECT_FALSE(PlanExtraction(Page("file:///home/me/a.html", "href=x.html")));
  ASSERT_TRUE(PlanExtraction(Page("http://host/index.html", "href=x.html")));
  EXPECT_EQ(PlanExtraction(Page("http://host/index.html", "href=x.html"))->urls.front(),
            "http://host/x.html");
}

TEST_F(ExtractionTest, AutomaticRunOverTwoHundredCandidatesKeepsTheClipListSmall) {
  auto links = [](int count, const std::string& prefix) {
    std::string text;
    for (int i = 0; i < count; ++i) {
      text += "<a href=\"" + prefix + std::to_string(i) + "\">\n";
    }
    return text;
  };
  Item& clip = ClipFolder(root);
  for (int i = 0; i < 800; ++i) {
    clip.AddChild(std::make_unique<Item>()).SetProp(key::kValue, "http://old/" + std::to_string(i));
  }
  struct Row {
    int links;
    size_t added;
  } rows[] = {{200, 200}, {201, 0}};
  for (const Row& row : rows) {
    const auto source =
        Page("http://host/a/p.html", links(row.links, "n" + std::to_string(row.links)));
    EXPECT_EQ(ExtractAutomatically(tree, names, source, 1000), row.added) << row.links << " links";
  }
  const auto plan = PlanExtraction(Page("http://host/a/p.html", links(201, "m")));
  EXPECT_EQ(plan->candidateCount, 201u);
}

TEST_F(ExtractionTest, AScanHoldsEachResolvedUrlOnceAndStopsPastItsCount) {
  const std::string longUrl = "http://host/" + std::string(4000, 'd') + "/p.html";
  std::string same;
  for (int i = 0; i < 100'000; ++i) {
    same += "href=a ";
  }
  const auto one = PlanExtraction(Page(longUrl, same));
  ASSERT_TRUE(one);
  EXPECT_EQ(one->candidateCount, 100'000u);
  EXPECT_EQ(one->urls.size(), 1u);

  std::string many;
  for (int i = 0; i < 5000; ++i) {
    many += "href=f" + std::to_string(i) + "\n";
  }
  const auto stopped = PlanExtraction(Page(longUrl, many), kAutomaticClipLimit);
  EXPECT_EQ(stopped->candidateCount, kAutomaticClipLimit + 1);
  EXPECT_EQ(stopped->urls.size(), kAutomaticClipLimit);
  EXPECT_EQ(ExtractAutomatically(tree, names, Page(longUrl, many), 1000), 0u);
  EXPECT_EQ(ClipFolder(root).ChildCount(), 0);
}

}  // namespace
}  // namespace pellmarsh
