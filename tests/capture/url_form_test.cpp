#include "capture/url_form.h"

#include <gtest/gtest.h>

#include "store/builtin_tree.h"
#include "store/keys.h"
#include "support/temp_dir.h"

namespace pellmarsh {
namespace {

class UrlFormTest : public ::testing::Test {
 protected:
  UrlFormTest() {
    Tree::Access access(tree);
    SetUpDefaultsAndSettings(access.root(), dir.path());
  }

  testing::TempDir dir;
  Tree tree;
  LocalNameRegistry names{tree};
  UrlFormRules rules{tree, names};
};

TEST_F(UrlFormTest, TheTypeGuessFollowsTheTextExtensionsOnlyWhileConversionIsOn) {
  EXPECT_EQ(rules.Guess("http://web/READ.TXT"), TypeGuess::kBinary);
  tree.Lock()->SetPropInt(setting::kConvertLineEnds, 1);
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

TEST_F(UrlFormTest, AUrlWithoutASchemeIsHttpAndOneThatDoesNotParseIsNotSaved) {
  UrlForm typed{.url = "127.0.0.1:8080/f.bin"};
  EXPECT_EQ(rules.Save(typed), "");
  EXPECT_EQ(typed.url, "http://127.0.0.1:8080/f.bin");
  EXPECT_EQ(typed.title, "f.bin");
  EXPECT_EQ(typed.saveAs, dir.File("download/f.bin"));

  const auto hostCount = [this] {
    return tree.Lock()->FindChild(folder::kHostDefaults)->ChildCount();
  };
  const int hostsKnown = hostCount();
  const std::pair<const char*, const char*> refused[] = {
      {"", "Malformed URL"},
      {"gopher://host/x", "Unsupported protocol: gopher"},
      {"http:///f.bin", "Incomplete URL"},
  };
  for (const auto& [url, reason] : refused) {
    UrlForm form{.url = url};
    EXPECT_EQ(rules.Save(form), reason) << url;
    EXPECT_EQ(form.url, url) << "left as typed";
    EXPECT_EQ(form.saveAs, "");
  }
  EXPECT_EQ(hostCount(), hostsKnown) << "no host learned";
}

}  // namespace
}  // namespace pellmarsh
