#include "afterdownload/program_line.h"

#include <gtest/gtest.h>

namespace pellmarsh {
namespace {

using Words = std::vector<std::string>;

TEST(ProgramLine, WordsSplitAtBlanksAndQuotesKeepThemTogether) {
  const struct {
    const char* line;
    Words words;
  } rows[] = {
      {"prog a  b\tc", {"prog", "a", "b", "c"}},
      {"  ", {}},
      {"prog \"two words\" 'and three words'", {"prog", "two words", "and three words"}},
      {"prog \"it's\" 'say \"hi\"'", {"prog", "it's", "say \"hi\""}},
      {"prog --x=\"a b\"c", {"prog", "--x=a bc"}},
      {"prog \"\" ''", {"prog", "", ""}},
      {"prog \"left open", {"prog", "left open"}},
      {"prog a;b|c>d", {"prog", "a;b|c>d"}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(SplitProgramLine(row.line), row.words) << row.line;
  }
}

TEST(ProgramLine, AValueStaysOneArgumentAndIsNeverReadAsAPlaceholder) {
  const FinishedFile file =
      FinishedFileOf("/home/me/dl/it's a \"x\"; {url} $(y).zip", "http://h/a b?q=1&r");
  EXPECT_EQ(file.folder, "/home/me/dl");
  EXPECT_EQ(file.name, "it's a \"x\"; {url} $(y).zip");
  EXPECT_EQ(ProgramArguments("prog {file} \"in {folder}\" --u={url} {name}{name} {other}", file),
            (Words{"prog", file.file, "in /home/me/dl", "--u=http://h/a b?q=1&r",
                   file.name + file.name, "{other}"}));
  EXPECT_EQ(FinishedFileOf("/top.bin", "").folder, "/");
  EXPECT_EQ(FillPlaceholders("open {file}", file), "open " + file.file);
}

}  // namespace
}  // namespace pellmarsh
