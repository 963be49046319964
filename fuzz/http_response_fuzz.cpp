// Any bytes as a server's answer, cut into receives anywhere: the header lines
// (interim 1xx headers skipped), the decision, the body and its chunked
// decoding must not depend on the cuts, no byte may be lost or counted twice
// between header and body, no line may exceed its bound, and no Retry-After
// may ask for a wait out of bounds.
// The first byte chooses the cuts and whether the server closes at the end.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transfer/http/http_response.h"
#include "transfer/http/retry_after.h"

namespace {

using pellmarsh::ChunkedBodyDecoder;
using pellmarsh::HttpHeaderField;
using pellmarsh::HttpHeaderReader;
using pellmarsh::ParseHttpHeaderField;
using Result = HttpHeaderReader::Result;

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

struct Outcome {
  std::vector<std::string> lines;
  Result result = Result::kNeedMore;
  std::string body;
  size_t headers = 1;    // more after interim 1xx replies
  size_t firstLine = 0;  // of the header being read

  bool operator==(const Outcome&) const = default;
};

bool IsInterim(const Outcome& outcome) {
  if (outcome.firstLine >= outcome.lines.size()) {
    return false;
  }
  const HttpHeaderField field = ParseHttpHeaderField(outcome.lines[outcome.firstLine]);
  return field.kind == HttpHeaderField::Kind::kStatus && field.code >= 100 && field.code <= 199;
}

// Reads the answer as the session does: once the header is complete, later
// receives are body as they come.
Outcome Read(std::string_view answer, const std::vector<size_t>& cuts, bool closed) {
  HttpHeaderReader reader;
  Outcome outcome;
  auto drain = [&] {
    std::string line;
    for (;;) {
      while ((outcome.result = reader.Next(line)) == Result::kLine) {
        outcome.lines.push_back(line);
      }
      // As the session does: an interim reply's header is followed by another.
      if (outcome.result != Result::kComplete || !IsInterim(outcome)) {
        break;
      }
      reader.StartNextHeader();
      ++outcome.headers;
      outcome.firstLine = outcome.lines.size();
    }
    outcome.body = reader.body();
  };
  size_t from = 0;
  for (size_t index = 0; index <= cuts.size(); ++index) {
    const size_t to = index < cuts.size() ? cuts[index] : answer.size();
    const std::string_view piece = answer.substr(from, to - from);
    from = to;
    if (outcome.result == Result::kComplete) {
      outcome.body.append(piece);
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

std::vector<size_t> RandomCuts(size_t size, uint32_t seed) {
  std::vector<size_t> cuts;
  uint32_t state = seed * 2654435761u + 1;
  const uint32_t longest = 1 + (seed % 4 == 0 ? 1 : seed % 97);
  for (size_t at = 0;;) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    at += 1 + state % longest;
    if (at >= size) {
      return cuts;
    }
    cuts.push_back(at);
  }
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Only "HTTP/" starts a status line, and a value never keeps the optional
// blanks around it.
void CheckField(std::string_view line) {
  const HttpHeaderField field = ParseHttpHeaderField(line);
  if (field.kind == HttpHeaderField::Kind::kStatus) {
    Require(line.size() >= 5 && (line[0] | 0x20) == 'h' && (line[1] | 0x20) == 't' &&
            (line[2] | 0x20) == 't' && (line[3] | 0x20) == 'p' && line[4] == '/');
  }
  Require(field.text.empty() || (!IsBlank(field.text.front()) && !IsBlank(field.text.back())));
  // However it is written, a server's wait is never negative or over an hour.
  if (field.kind == HttpHeaderField::Kind::kRetryAfter) {
    for (const int64_t now : {int64_t{0}, int64_t{1'000'000'000}, int64_t{253'402'300'799}}) {
      const std::optional<int> wait = pellmarsh::RetryAfterSeconds(field.text, now);
      Require(!wait || (*wait >= 0 && *wait <= pellmarsh::kLongestRetryAfter));
    }
  }
}

void CheckConservation(std::string_view answer, const Outcome& outcome) {
  size_t headerBytes = 0;
  std::string joined;
  for (const std::string& line : outcome.lines) {
    Require(line.size() > 1 && line.size() <= pellmarsh::kMaxHttpHeaderLine);
    Require(line.find_first_of("\r\n") == std::string::npos);
    headerBytes += line.size() + 1;
    joined += line;
    CheckField(line);
  }
  Require(headerBytes <= pellmarsh::kMaxHttpHeader);
  if (outcome.result != Result::kComplete) {
    Require(outcome.body.empty());
    return;
  }
  // The body is exactly what follows the header; the header is the lines, at
  // most one character of the line that ended it, and line ends.
  Require(outcome.body.size() <= answer.size());
  const std::string_view header = answer.substr(0, answer.size() - outcome.body.size());
  Require(answer.substr(header.size()) == outcome.body);
  Require(!header.empty() && (header.back() == '\n' || header.back() == '\r'));
  std::string text;
  for (const char c : header) {
    if (c != '\r' && c != '\n') {
      text += c;
    }
  }
  Require(text.size() <= joined.size() + outcome.headers);
  Require(outcome.headers > 1 || text.starts_with(joined));
}

struct Unchunked {
  ChunkedBodyDecoder::Result result = ChunkedBodyDecoder::Result::kMore;
  std::string data;

  bool operator==(const Unchunked&) const = default;
};

Unchunked Unchunk(std::string_view body, const std::vector<size_t>& cuts) {
  ChunkedBodyDecoder decoder;
  Unchunked outcome;
  size_t from = 0;
  for (size_t index = 0; index <= cuts.size(); ++index) {
    const size_t to = index < cuts.size() ? std::min(cuts[index], body.size()) : body.size();
    if (to < from) {
      continue;
    }
    outcome.result = decoder.Decode(body.substr(from, to - from), outcome.data);
    from = to;
  }
  return outcome;
}

// The body as chunks: the data never outgrows its framing and does not
// depend on how the body was cut into receives.
void CheckChunks(std::string_view body, uint32_t seed) {
  const Unchunked whole = Unchunk(body, {});
  Require(whole.data.size() <= body.size());
  Require(Unchunk(body, RandomCuts(body.size(), seed)) == whole);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  const uint32_t choice = data[0];
  const bool closed = (choice & 1) != 0;
  const std::string_view answer(reinterpret_cast<const char*>(data) + 1, size - 1);

  const Outcome whole = Read(answer, {}, closed);
  CheckConservation(answer, whole);
  Require(Read(answer, RandomCuts(answer.size(), choice >> 1), closed) == whole);
  CheckChunks(whole.result == Result::kComplete ? std::string_view(whole.body) : answer,
              choice >> 1);
  if (answer.size() <= 4096) {
    std::vector<size_t> everyByte;
    for (size_t at = 1; at < answer.size(); ++at) {
      everyByte.push_back(at);
    }
    Require(Read(answer, everyByte, closed) == whole);
  }
  return 0;
}
