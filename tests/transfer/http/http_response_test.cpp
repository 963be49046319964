#include "transfer/http/http_response.h"

#include <gtest/gtest.h>

#include <vector>

namespace pellmarsh {
namespace {

using Result = HttpHeaderReader::Result;

struct Outcome {
  std::vector<std::string> lines;
  Result result = Result::kNeedMore;
  std::string body;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
  out << "result " << static_cast<int>(outcome.result) << ", body \"" << outcome.body << "\"";
  for (const std::string& line : outcome.lines) {
    out << ", line \"" << line << "\"";
  }
  return out;
}

// Feeds the pieces as receives, as the session does: once the header is
// complete, later pieces are body. Then (when `closed`) the end of input.
Outcome Read(const std::vector<std::string>& pieces, bool closed = false) {
  HttpHeaderReader reader;
  Outcome outcome;
  auto drain = [&] {
    std::string line;
    while ((outcome.result = reader.Next(line)) == Result::kLine) {
      outcome.lines.push_back(line);
    }
    outcome.body = reader.body();
  };
  for (const std::string& piece : pieces) {
    if (outcome.result == Result::kComplete) {
      outcome.body += piece;
    } else if (outcome.result == Result::kNeedMore) {
      reader.Append(piece);
      drain();
    }
  }
  if (closed && outcome.result == Result::kNeedMore) {
    reader.EndOfInput();
    drain();
  }
  return outcome;
}

TEST(HttpHeaderReader, TheBodyStartsAfterTheBlankLineWhateverTheLineEndsAndReceives) {
  const struct {
    const char* what;
    std::string input;
    std::vector<std::string> lines;
    std::string body;
  } cases[] = {
      {"CR LF lines", "HTTP/1.0 200 OK\r\nA: b\r\n\r\nbody", {"HTTP/1.0 200 OK", "A: b"}, "body"},
      {"lone LF lines",
       "HTTP/1.0 200 OK\nA: b\n\nline\r\nend",
       {"HTTP/1.0 200 OK", "A: b"},
       "line\r\nend"},
      {"lone CR lines", "HTTP/1.0 200 OK\rA: b\r\rbo\ndy", {"HTTP/1.0 200 OK", "A: b"}, "bo\ndy"},
      {"mixed line ends",
       "HTTP/1.0 200 OK\r\nA: b\nC: d\r\r\n\r\nx",
       {"HTTP/1.0 200 OK", "A: b", "C: d"},
       "\r\nx"},
      {"a body of line ends", "HTTP/1.0 200 OK\r\n\r\n\r\n\n", {"HTTP/1.0 200 OK"}, "\r\n\n"},
      {"a one-character line", "HTTP/1.0 200 OK\r\nX\r\nA: b\r\n", {"HTTP/1.0 200 OK"}, "A: b\r\n"},
  };
  for (const auto& row : cases) {
    const Outcome expected{row.lines, Result::kComplete, row.body};
    std::vector<std::string> bytes;
    for (const char c : row.input) {
      bytes.emplace_back(1, c);
    }
    EXPECT_EQ(Read(bytes), expected) << row.what << ", byte by byte";
    for (size_t split = 0; split <= row.input.size(); ++split) {
      EXPECT_EQ(Read({row.input.substr(0, split), row.input.substr(split)}), expected)
          << row.what << ", split after byte " << split;
    }
  }
}

TEST(HttpHeaderReader, ACrAtTheEndOfAReceiveWaitsForTheNextByteOrTheClose) {
  EXPECT_EQ(Read({"HTTP/1.0 200 OK\r"}), (Outcome{{}, Result::kNeedMore, ""}));
  EXPECT_EQ(Read({"HTTP/1.0 200 OK\r\n\r", "\nbody"}),
            (Outcome{{"HTTP/1.0 200 OK"}, Result::kComplete, "body"}));
  EXPECT_EQ(Read({"HTTP/1.0 200 OK\r\r"}, true),
            (Outcome{{"HTTP/1.0 200 OK"}, Result::kComplete, ""}));
}

TEST(HttpHeaderReader, ALineOrAHeaderOverItsBoundEndsTheReading) {
  const std::string longest(kMaxHttpHeaderLine, 'a');
  EXPECT_EQ(Read({longest + "\r\n\r\n"}).result, Result::kComplete);
  EXPECT_EQ(Read({longest + "a"}).result, Result::kTooLong) << "even before its end arrives";
  std::string header = "HTTP/1.0 200 OK\r\n";
  while (header.size() + 100 < kMaxHttpHeader) {
    header += "X: " + std::string(95, 'x') + "\r\n";
  }
  header += std::string(kMaxHttpHeader - header.size() - 4, 'y') + "\r\n\r\n";
  EXPECT_EQ(Read({header + "body"}).body, "body") << "a header at the bound";
  EXPECT_EQ(Read({"z" + header}).result, Result::kTooLong) << "a header one byte over";
}

TEST(HttpHeaderField, ValuesAreReadAfterTheColonAndItsOptionalBlanks) {
  using Kind = HttpHeaderField::Kind;
  const struct {
    std::string line;
    Kind kind;
    int64_t value;  // the code, length or range start
    std::string text;
    int64_t unsatisfiedTotal = -1;
  } cases[] = {
      {"HTTP/1.1 404 Not Found", Kind::kStatus, 404, ""},
      {"HTTP/1.0", Kind::kStatus, 0, ""},
      {"Location:http://host/b.zip", Kind::kLocation, 0, "http://host/b.zip"},
      {"LOCATION: \thttp://host/c.zip \t", Kind::kLocation, 0, "http://host/c.zip"},
      {"content-length: 6000000000", Kind::kContentLength, 6'000'000'000, ""},
      {"Content-Length:5000", Kind::kContentLength, 5000, ""},
      {"Content-Length:\t 12 ", Kind::kContentLength, 12, ""},
      {"Content-Range:bytes\t3-5/6", Kind::kContentRange, 3, ""},
      {"Content-Range: items 3-5/6", Kind::kOther, 0, ""},
      {"HTTP-Date: Tue, 08 Dec 2026 10:00:00 GMT", Kind::kOther, 0, ""},
      {"http-equiv: refresh", Kind::kOther, 0, ""},
      {"Content-Type:text/html", Kind::kContentType, 0, "text/html"},
      {"Content-Range: bytes 5368709120-5368709129/5368709130", Kind::kContentRange, 5'368'709'120,
       ""},
      {"Content-Range: bytes */1000", Kind::kContentRange, 0, "", 1000},
      {"Content-Type: TEXT/PLAIN; Charset=X", Kind::kContentType, 0, "text/plain; charset=x"},
      {"Transfer-Encoding:Chunked", Kind::kTransferEncoding, 0, "chunked"},
      {"transfer-encoding: \tgzip, chunked ", Kind::kTransferEncoding, 0, "gzip, chunked"},
      {"ETag:  \"v2\" ", Kind::kValidator, 0, "etag: \"v2\""},
      {"Last-Modified:\t", Kind::kOther, 0, ""},
      {"etag:", Kind::kOther, 0, ""},
  };
  for (const auto& row : cases) {
    const HttpHeaderField field = ParseHttpHeaderField(row.line);
    EXPECT_EQ(field.kind, row.kind) << row.line;
    EXPECT_EQ(row.kind == Kind::kStatus ? field.code : field.number, row.value) << row.line;
    EXPECT_EQ(field.text, row.text) << row.line;
    EXPECT_EQ(field.unsatisfiedTotal, row.unsatisfiedTotal) << row.line;
  }
}

TEST(ChunkedBodyDecoder, LeadingZerosOfASizeCountAgainstTheLineNotTheDigits) {
  const struct {
    std::string body;
    ChunkedBodyDecoder::Result result;
    std::string data;
  } cases[] = {
      {"0000000000000004\r\nabcd\r\n0\r\n\r\n", ChunkedBodyDecoder::Result::kDone, "abcd"},
      {std::string(100, '0') + "3\r\nabc\r\n000\r\n\r\n", ChunkedBodyDecoder::Result::kDone, "abc"},
      {"01000000000000000\r\n", ChunkedBodyDecoder::Result::kMalformed, ""},
      {std::string(ChunkedBodyDecoder::kMaxSizeLine + 1, '0') + "\r\n",
       ChunkedBodyDecoder::Result::kMalformed, ""},
  };
  for (const auto& row : cases) {
    ChunkedBodyDecoder decoder;
    std::string data;
    EXPECT_EQ(decoder.Decode(row.body, data), row.result) << row.body.substr(0, 40);
    EXPECT_EQ(data, row.data) << row.body.substr(0, 40);
  }
}

}  // namespace
}  // namespace pellmarsh
