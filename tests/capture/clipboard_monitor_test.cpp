#include "capture/clipboard_monitor.h"

#include <gtest/gtest.h>

#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "support/temp_dir.h"

namespace pellmarsh {
namespace {

// A tree as a first start leaves it, held locked.
struct ClipTree {
  ClipTree() {
    SetUpRootAndFolders(access.root(), dir.path());
    SetUpDefaultsAndSettings(access.root(), dir.path());
  }
  testing::TempDir dir;
  Tree tree;
  Tree::Access access{tree};
  LocalNameRegistry names{tree};
};

struct ClipRow {
  const char* what;
  const char* text;
  size_t captured;
  bool offered;
};

TEST(CaptureClipboardText, CapturesNewUrlsAndOffersOnlyALoneOne) {
  ClipTree fresh;
  Item& root = fresh.access.root();
  LocalNameRegistry& names = fresh.names;
  root.SetPropInt(setting::kClipAndGo, 1);
  const ClipRow rows[] = {
      {"no scheme, nothing", "www.host/file.zip", 0, false},
      {"two in a paragraph, no offer", "get http://h/1 and\r\nftp://h/2 now", 2, false},
      {"exactly one URL is offered", "http://h/3", 1, true},
      {"known now, in its copied form", "http://h/3", 0, false},
      {"a port written out, offered", "http://h:80/9", 1, true},
      {"known now in its canonical form", "http://h/9", 0, false},
      {"a trailing line break: captured, not offered", "http://h/4\n", 1, false},
      {"twice in one text gives two items", "http://h/5 http://h/5", 2, false},
      {"cut at the closing quote", "\"http://h/6\"", 1, false},
  };
  for (const ClipRow& row : rows) {
    const ClipboardCapture capture = CaptureClipboardText(root, names, row.text, 5);
    EXPECT_EQ(capture.captured, row.captured) << row.what;
    EXPECT_EQ(capture.clipAndGo != nullptr, row.offered) << row.what;
    EXPECT_FALSE(capture.startAtOnce) << row.what;
  }
  Item& clip = *root.FindByName(folder::kFileClip);
  EXPECT_EQ(clip.ChildAt(clip.ChildCount() - 1)->GetProp(key::kValue), "http://h/6");

  const ClipboardCapture odd = CaptureClipboardText(root, names, "Xhttp://host/", 5);
  ASSERT_NE(odd.clipAndGo, nullptr);
  EXPECT_EQ(odd.clipAndGo->GetProp(key::kError), "Unsupported protocol: xhttp");
  EXPECT_EQ(odd.clipAndGo->GetPropInt(key::kStatus), kStatusClipped);

  root.SetPropInt(setting::kClipStart, 1);
  EXPECT_TRUE(CaptureClipboardText(root, names, "http://h/7", 5).startAtOnce);
}

// A fresh data file records only links to files: a copied link with a
// token in it stays out of the data file.
TEST(CaptureClipboardText, TheWatchSettingChoosesWhichLinksAreRecorded) {
  const struct {
    const char* url;
    bool fileLink;
  } links[] = {
      {"https://h/account/reset?token=s3cret", false},
      {"http://h/", false},
      {"http://h/dir/", false},
      {"http://h.zip", false},
      {"http://h/a/Setup.EXE", true},
      {"http://h/get.php?f=a.zip", false},
      {"https://h/report.pdf?sig=x#page=2", true},
      {"http://h/notes.", false},
  };
  for (ClipboardWatch watch : {ClipboardWatch::kFileLinks, ClipboardWatch::kEveryLink,
                               ClipboardWatch::kOff, ClipboardWatch::kAsk}) {
    ClipTree fresh;
    Item& root = fresh.access.root();
    LocalNameRegistry& names = fresh.names;
    EXPECT_EQ(root.GetPropEnum(setting::kClipWatch), ClipboardWatch::kFileLinks);
    root.SetPropEnum(setting::kClipWatch, watch);
    root.SetPropInt(setting::kClipAndGo, watch == ClipboardWatch::kAsk ? 1 : 0);
    for (const auto& link : links) {
      const bool recorded = watch == ClipboardWatch::kEveryLink || watch == ClipboardWatch::kAsk ||
                            (watch == ClipboardWatch::kFileLinks && link.fileLink);
      const ClipboardCapture capture = CaptureClipboardText(root, names, link.url, 5);
      EXPECT_EQ(capture.captured, recorded ? 1u : 0u) << static_cast<int>(watch) << " " << link.url;
      EXPECT_EQ(capture.clipAndGo != nullptr, watch == ClipboardWatch::kAsk) << link.url;
    }
  }
}

}  // namespace
}  // namespace pellmarsh
