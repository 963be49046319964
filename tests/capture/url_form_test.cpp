#include "capture/url_form.h"

#include <gtest/gtest.h>

#include "store/builtin_tree.h"
#include "support/temp_dir.h"

namespace pellmarsh {
namespace {

class UrlFormTest : public ::testing::Test {
 protected:
  UrlFormTest() {
    auto access = tree.Lock();
    SetUpDefaultsAndSettings(access.root(), dir.path());
  }

  testing::TempDir dir;
  Tree tree;
  LocalNameRegistry names{tree};
  UrlFormRules rules{tree, names};
};

TEST_F(UrlFormTest, TheTypeGuessFollowsTheTextExtensions) {
  const std::pair<const char*, TypeGuess> rows[] = {
      {"http://web/READ.TXT", TypeGuess::kText},      {"ftp://web/read.txt", TypeGuess::kText},
      {"http://web/page.Html?x=1", TypeGuess::kText}, {"http://web/README", TypeGuess::kBinary},
      {"http://web/a.zip", TypeGuess::kBinary},       {"not a url.txt", TypeGuess::kBinary},
  };
  for (const auto& [url, guess] : rows) {
    EXPECT_EQ(rules.Guess(url), guess) << url;
  }
  EXPECT_STREQ(TypeGuessText(TypeGuess::kText), "(Looks like Text)");
}

}  // namespace
}  // namespace pellmarsh
