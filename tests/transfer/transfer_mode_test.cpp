#include "transfer/transfer_mode.h"

#include <gtest/gtest.h>

#include "store/builtin_tree.h"

namespace pellmarsh {
namespace {

TEST(ChooseTransferMode, TheExtensionDecidesOnlyWhenTheUserDidNotAndConversionIsOn) {
  Item root;
  SetUpDefaultsAndSettings(root, "/nonexistent");
  const struct {
    bool convert;  // "Convert line ends of files the server calls text"
    int code;
    const char* extension;
    bool text;
    const char* log;
  } cases[] = {
      {true, 0, "TXT", true, "Text transfer cued by file extension."},
      {true, 0, "html", true, "Text transfer cued by file extension."},
      {true, 0, "ZIP", false, "Binary transfer."},
      {true, 0, "", false, "Binary transfer."},
      {false, 0, "TXT", false, "Binary transfer."},
      {false, 0, "html", false, "Binary transfer."},
      {true, 1, "TXT", false, "User forced binary transfer."},
      {true, 2, "ZIP", true, "User forced text transfer."},
      {false, 2, "TXT", true, "User forced text transfer."},
      {true, -1, "", true, "User forced text transfer."},
  };
  for (const auto& row : cases) {
    root.SetPropInt(setting::kConvertLineEnds, row.convert ? 1 : 0);
    const TransferMode mode = ChooseTransferMode(row.code, row.extension, root);
    EXPECT_EQ(mode.textMode, row.text) << row.convert << " " << row.code << " " << row.extension;
    EXPECT_STREQ(mode.logLine, row.log) << row.convert << " " << row.code << " " << row.extension;
  }
}

TEST(ChooseTransferMode, AMissingExtensionFolderIsMadeEmpty) {
  Item root;
  root.SetPropInt(setting::kConvertLineEnds, 1);
  EXPECT_FALSE(ChooseTransferMode(0, "TXT", root).textMode);
  ASSERT_TRUE(root.FindChild("nkw-ftptext"));
  EXPECT_EQ(root.FindChild("nkw-ftptext")->ChildCount(), 0);
}

}  // namespace
}  // namespace pellmarsh
