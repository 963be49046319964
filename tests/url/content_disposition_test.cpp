#include "url/content_disposition.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace pellmarsh {
namespace {

struct Row {
  const char* what;
  std::string header;
  std::optional<std::string> name;
};

void ExpectNames(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    EXPECT_EQ(FileNameFromContentDisposition(row.header), row.name) << row.what;
  }
}

std::string Repeated(std::string_view piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) {
    text += piece;
  }
  return text;
}

TEST(FileNameFromContentDisposition, ReadsTheFilenameOfAnyDispositionType) {
  ExpectNames({
      {"a quoted name", R"(attachment; filename="Quarterly Report 2026.pdf")",
       "Quarterly Report 2026.pdf"},
      {"a token", "attachment; filename=report.pdf", "report.pdf"},
      {"inline", R"(inline; filename="a.pdf")", "a.pdf"},
      {"a type in capitals", "ATTACHMENT; filename=a.pdf", "a.pdf"},
      {"an unknown type", "x-custom; filename=a.pdf", "a.pdf"},
      {"a parameter name in any case", "attachment; FileName=a.pdf", "a.pdf"},
      {"blanks around ; and =", "attachment \t;  filename = \"a.pdf\" ; size=3", "a.pdf"},
      {"other parameters first",
       R"(attachment; creation-date="Wed, 12 Feb 1997 16:29:51 -0500"; filename=a.pdf)", "a.pdf"},
      {"a ; inside quotes", R"(attachment; filename="a;b.pdf")", "a;b.pdf"},
      {"quoted pairs", R"(attachment; filename="\"q\" \a.txt")", "\"q\" a.txt"},
      {"a trailing ;", "attachment; filename=a.pdf;", "a.pdf"},
      {"escapes in a plain name stay", R"(attachment; filename="foo-%41.html")", "foo-%41.html"},
      {"UTF-8 in a plain name", "attachment; filename=\"caf\xc3\xa9.pdf\"", "caf\xc3\xa9.pdf"},
      {"UTF-8 in a token", "attachment; filename=caf\xc3\xa9.pdf", "caf\xc3\xa9.pdf"},
      {"Latin-1 in a plain name", "attachment; filename=\"caf\xe9.pdf\"", "caf\xc3\xa9.pdf"},
      {"no filename", "attachment", std::nullopt},
      {"a parameter only like filename", "attachment; xfilename=a.pdf", std::nullopt},
  });
}

TEST(FileNameFromContentDisposition, AnExtendedNameWinsWhenItDecodes) {
  ExpectNames({
      {"filename* first",
       R"(attachment; filename*=UTF-8''%e2%82%ac%20rates.pdf; filename="EUR rates.pdf")",
       "\xe2\x82\xac rates.pdf"},
      {"filename* last",
       R"(attachment; filename="EUR rates.pdf"; filename*=UTF-8''%e2%82%ac%20rates.pdf)",
       "\xe2\x82\xac rates.pdf"},
      {"a charset in small letters", "attachment; filename*=utf-8''caf%C3%A9.pdf",
       "caf\xc3\xa9.pdf"},
      {"a language", "attachment; FILENAME*=UTF-8'en'caf%C3%A9.pdf", "caf\xc3\xa9.pdf"},
      {"ISO-8859-1", "attachment; filename*=ISO-8859-1'de'caf%E9.pdf", "caf\xc3\xa9.pdf"},
      {"an unknown charset falls back", R"(attachment; filename*=KOI8-R''%F4%C5; filename="t.txt")",
       "t.txt"},
      {"an unknown charset alone", "attachment; filename*=KOI8-R''abc", std::nullopt},
      {"no UTF-8 falls back", "attachment; filename*=UTF-8''caf%E9.pdf; filename=cafe.pdf",
       "cafe.pdf"},
      {"a % at the end falls back", "attachment; filename*=UTF-8''100%; filename=x.pdf", "x.pdf"},
      {"%zz falls back", "attachment; filename*=UTF-8''a%zz.pdf; filename=x.pdf", "x.pdf"},
      {"one charset mark falls back", "attachment; filename*=UTF-8'caf.pdf; filename=x.pdf",
       "x.pdf"},
      {"a name that leaves nothing falls back", "attachment; filename*=UTF-8''..; filename=x.pdf",
       "x.pdf"},
  });
}

TEST(FileNameFromContentDisposition, ANameFromTheServerIsOneVisibleFileInTheDirectory) {
  ExpectNames({
      {"a path climbing out", R"(attachment; filename="../../etc/passwd")", "passwd"},
      {"an escaped path", "attachment; filename*=UTF-8''..%2F..%2Fetc%2Fpasswd", "passwd"},
      {"a Windows path", R"(attachment; filename="C:\\Users\\me\\x.pdf")", "x.pdf"},
      {"mixed separators", R"(attachment; filename="a\\b/c\\d.txt")", "d.txt"},
      {"a dotfile", R"(attachment; filename=".bashrc")", "bashrc"},
      {"a dotfile behind a path", R"(attachment; filename="../.ssh/.authorized_keys")",
       "authorized_keys"},
      {"inner and trailing dots", R"(attachment; filename="a..b.")", "a..b."},
      {"dots alone", R"(attachment; filename="..")", std::nullopt},
      {"an empty name", R"(attachment; filename="")", std::nullopt},
      {"a NUL", "attachment; filename*=UTF-8''a%00b.pdf", "a_b.pdf"},
      {"a line break", "attachment; filename*=UTF-8''a%0D%0Ab.pdf", "a__b.pdf"},
      {"an escape sequence", "attachment; filename*=UTF-8''%1B%5B31m%7F.txt", "_[31m_.txt"},
      {"a C1 control from Latin-1", "attachment; filename*=ISO-8859-1''%9B31m.txt", "_31m.txt"},
      {"a C1 control in UTF-8", "attachment; filename*=UTF-8''a%C2%85b.txt", "a_b.txt"},
      {"a no-break space is no control", "attachment; filename*=UTF-8''a%C2%A0b",
       "a\xc2\xa0"
       "b"},
      {"a long quoted name", "attachment; filename=\"" + Repeated("a", 1000) + ".pdf\"",
       Repeated("a", 246) + ".pdf"},
      {"a long escaped name, cut between characters",
       "attachment; filename*=UTF-8''" + Repeated("%E2%82%AC", 100) + ".pdf",
       Repeated("\xe2\x82\xac", 82) + ".pdf"},
  });
}

TEST(FileNameFromContentDisposition, AValueNotWrittenToTheGrammarNamesNothing) {
  ExpectNames({
      {"an unterminated quote", R"(attachment; filename="a.pdf)", std::nullopt},
      {"a backslash at the end", R"(attachment; filename="a.pdf\)", std::nullopt},
      {"text after the quotes", R"(attachment; filename="a.pdf".txt)", std::nullopt},
      {"a control character in quotes", "attachment; filename=\"a\x01.pdf\"", std::nullopt},
      {"no type", "filename=a.pdf", std::nullopt},
      {"a parameter in the type's place", "x=y; filename=a.pdf", std::nullopt},
      {"no ;", "attachment filename=a.pdf", std::nullopt},
      {"no =", "attachment; filename", std::nullopt},
      {"no value", "attachment; filename=", std::nullopt},
      {"an empty parameter", "attachment; ; filename=a.pdf", std::nullopt},
      {"a token with a delimiter", "attachment; filename=a,b.pdf", std::nullopt},
      {"two names", "attachment; filename=a.pdf; filename=b.pdf", std::nullopt},
      {"many semicolons", "attachment" + Repeated(";", 100000), std::nullopt},
      {"a long unterminated quote", "attachment; filename=\"" + Repeated("\\\"", 100000),
       std::nullopt},
  });
}

}  // namespace
}  // namespace pellmarsh
