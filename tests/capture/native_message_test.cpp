#include "capture/native_message.h"

#include <gtest/gtest.h>

namespace pellmarsh {
namespace {

struct MessageCase {
  std::string json;
  std::vector<std::string> urls;  // empty: refused
};

TEST(ParseUrlsMessageTest, TakesOnlyWellFormedMessagesOfWebLinks) {
  const std::vector<MessageCase> cases = {
      {R"({"urls":["http://host/a.iso"]})", {"http://host/a.iso"}},
      {" {\n\"urls\" : [ \"https://h/b\" , \"FTP://h/c\" ] }\t", {"https://h/b", "FTP://h/c"}},
      {R"({"from":{"tab":[1,-2.5e3,true,null,"x"]},"urls":["http://h/\u00e9\ud83d\ude00"]})",
       {"http://h/\xc3\xa9\xf0\x9f\x98\x80"}},
      // Not JSON, or not the message's shape.
      {"", {}},
      {"[\"http://h/a\"]", {}},
      {R"({"urls":["http://h/a"]} x)", {}},
      {R"({"urls":["http://h/a"],})", {}},
      {R"({"urls":["http://h/a"]})"
       R"({"urls":["http://h/b"]})",
       {}},
      {R"({"urls":["http://h/a"],"urls":["http://h/b"]})", {}},
      {R"({"urls":"http://h/a"})", {}},
      {R"({"urls":[1]})", {}},
      {R"({"urls":["http://h/a)", {}},
      {R"({"urls":["http://h/\ud83d"]})", {}},
      {R"({"urls":["http://h/\x"]})", {}},
      {"{\"urls\":[\"http://h/\xc0\xaf\"]}", {}},
      {"{\"urls\":[\"http://h/\x01\"]}", {}},
      {R"({"n":01,"urls":["http://h/a"]})", {}},
      {std::string(100, '[') + std::string(100, ']'), {}},
      // No links, or links that may not go on.
      {R"({})", {}},
      {R"({"urls":[]})", {}},
      {R"({"urls":["file:///etc/passwd"]})", {}},
      {R"({"urls":["http://h/a","javascript:x"]})", {}},
      {R"({"urls":["http://h/a b"]})", {}},
      {R"({"urls":["http://"]})", {}},
      {R"({"urls":["http://127.0.0.1:102359/f"]})", {}},
      {R"({"urls":["http://h:0/f"]})", {}},
  };
  for (const MessageCase& c : cases) {
    const UrlsMessage message = ParseUrlsMessage(c.json);
    EXPECT_EQ(message.urls, c.urls) << c.json;
    EXPECT_EQ(message.error.empty(), !c.urls.empty()) << c.json;
  }
}

TEST(ParseUrlsMessageTest, DeepNestingIsRefusedWithoutRecursingFurther) {
  const std::string deep = "{\"x\":" + std::string(100000, '[') + "}";
  EXPECT_FALSE(ParseUrlsMessage(deep).error.empty());
}

TEST(UrlsAnswerTest, SaysWhetherEveryLinkWasTakenAndStaysUtf8) {
  EXPECT_EQ(UrlsAnswer({"", ""}), R"({"ok":true,"added":2})");
  EXPECT_EQ(UrlsAnswer({"", "Not \"now\"\n", "later"}),
            R"({"ok":false,"error":"Not \"now\"\u000a","added":1})");
  EXPECT_EQ(ErrorAnswer("bad \xff byte \xc3\xa9"), R"({"ok":false,"error":"bad \ufffd byte )"
                                                   "\xc3\xa9\"}");
}

}  // namespace
}  // namespace pellmarsh
