#include "transfer/transfer_mode.h"

#include <gtest/gtest.h>

#include "store/builtin_tree.h"

namespace pellmarsh {
namespace {

TEST(ChooseTransferMode, TheExtensionDecidesOnlyWhenTheUserDidNot) {
  Item root;
  SetUpDefaultsAndSettings(root, "/nonexistent");
  const struct {
    int code;
    const char* extension;
    bool text;
    const char* log;
  } cases[] = {
      {0, "TXT", true, "Text transfer cued by file extension."},
      {0, "html", true, "Text transfer cued by file extension."},
      {0, "ZIP", false, "Binary transfer."},
      {0, "", false, "Binary transfer."},
      {1, "TXT", false, "User forced binary transfer."},
      {2, "ZIP", true, "User forced text transfer."},
      {-1, "", true, "User forced text transfer."},
  };
  for (const auto& row : cases) {
    const TransferMode mode = ChooseTransferMode(row.code, row.extension, root);
    EXPECT_EQ(mode.textMode, row.text) << row.code << " " << row.extension;
    EXPECT_STREQ(mode.logLine, row.log) << row.code << " " << row.extension;
  }
}

TEST(ChooseTransferMode, AMissingExtensionFolderIsMadeEmpty) {
  Item root;
  EXPECT_FALSE(ChooseTransferMode(0, "TXT", root).textMode);
  ASSERT_TRUE(root.FindChild("nkw-ftptext"));
  EXPECT_EQ(root.FindChild("nkw-ftptext")->ChildCount(), 0);
}

}  // namespace
}  // namespace pellmarsh
