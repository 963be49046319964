#include "url/url_globbing.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>

#include "platform/socket.h"
#include "store/byte_figures.h"

namespace pellmarsh {
namespace {

// One range or set, with the literal text ahead of it.
struct Choice {
  std::string before;
  std::vector<std::string> words;  // a set's
  uint64_t first = 0;              // a range's
  uint64_t step = 1;
  size_t width = 0;
  bool letters = false;
  size_t count = 1;

  std::string At(size_t index) const {
    if (!words.empty()) {
      return words[index];
    }
    const uint64_t value = first + index * step;
    if (letters) {
      return std::string(1, static_cast<char>(value));
    }
    std::string digits = std::to_string(value);
    return std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
  }
};

bool IsLower(char c) {
  return c >= 'a' && c <= 'z';
}
bool IsUpper(char c) {
  return c >= 'A' && c <= 'Z';
}
bool IsLetter(std::string_view text) {
  return text.size() == 1 && (IsLower(text[0]) || IsUpper(text[0]));
}
bool IsNumber(std::string_view text) {
  return !text.empty() && std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}
std::optional<uint64_t> NumberOf(std::string_view text) {
  uint64_t value = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (!IsNumber(text) || failure != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

// People count characters, not bytes: UTF-8 continuation bytes add none.
std::string AtPosition(std::string_view text, size_t index) {
  const size_t characters =
      std::ranges::count_if(text.substr(0, index), [](char c) { return (c & 0xc0) != 0x80; });
  return " at position " + std::to_string(characters + 1);
}

// The bytes [start, end) of a bracketed IPv6 host right after "//", or
// opening a text typed without a scheme, which holds no range; none when
// there is no such host.
std::optional<std::pair<size_t, size_t>> IPv6Host(std::string_view text) {
  const size_t slashes = text.find("//");
  const bool schemed = slashes != std::string_view::npos &&
                       text.substr(0, slashes).find_first_of("/[]{}") == std::string_view::npos;
  const size_t authorityStart = schemed ? slashes + 2 : 0;
  const size_t authorityEnd = std::min(text.find_first_of("/?#", authorityStart), text.size());
  const std::string_view authority = text.substr(authorityStart, authorityEnd - authorityStart);
  const size_t at = authority.rfind('@');
  const size_t start = authorityStart + (at == std::string_view::npos ? 0 : at + 1);
  const size_t close = text.find(']', start);
  SocketAddress address;
  if (start >= authorityEnd || text[start] != '[' || close >= authorityEnd ||
      !ParseIPv6Address(text.substr(start + 1, close - start - 1), address)) {
    return std::nullopt;
  }
  return std::pair{start, close + 1};
}

// The body of "[...]" into a range; the reason when it is none.
std::optional<std::string> ParseRange(std::string_view body, size_t most, Choice& choice) {
  const size_t colon = body.find(':');
  const std::string_view bounds = body.substr(0, colon);
  const size_t dash = bounds.find('-', 1);
  if (dash == std::string_view::npos) {
    return "Malformed range";
  }
  const std::string_view low = bounds.substr(0, dash);
  const std::string_view high = bounds.substr(dash + 1);
  std::optional<uint64_t> first;
  std::optional<uint64_t> last;
  if (IsLetter(low) && IsLetter(high)) {
    if (IsLower(low[0]) != IsLower(high[0])) {
      return "Malformed range";
    }
    choice.letters = true;
    first = static_cast<uint64_t>(low[0]);
    last = static_cast<uint64_t>(high[0]);
  } else if ((IsLetter(low) && IsNumber(high)) || (IsNumber(low) && IsLetter(high))) {
    return "Range mixes letters and numbers";
  } else {
    first = NumberOf(low);
    last = NumberOf(high);
    if (!first || !last) {
      return "Malformed range";
    }
    choice.width = low.size() > 1 && low[0] == '0' ? low.size() : 0;
  }
  if (colon != std::string_view::npos) {
    const std::optional<uint64_t> step = NumberOf(body.substr(colon + 1));
    if (!step) {
      return "Malformed range";
    }
    if (*step == 0) {
      return "Range step of 0";
    }
    choice.step = *step;
  }
  if (*last < *first) {
    return "Range ends below its start";
  }
  choice.first = *first;
  // Capped just past the most, so that a huge range is never counted out.
  const uint64_t steps = (*last - *first) / choice.step;
  choice.count = steps >= most ? most + 1 : static_cast<size_t>(steps) + 1;
  return std::nullopt;
}

// From the "[" or "{" at `open` to its closing mark, which `end` receives;
// the reason, with its position, when there is none or another opens first.
std::optional<std::string> FindClose(std::string_view text, size_t open, size_t& end) {
  const char close = text[open] == '[' ? ']' : '}';
  end = text.find_first_of("[]{}", open + 1);
  if (end == std::string_view::npos) {
    return std::string("Unmatched ") + text[open] + AtPosition(text, open);
  }
  if (text[end] == close) {
    return std::nullopt;
  }
  const bool opens = text[end] == '[' || text[end] == '{';
  return (opens ? "Nested " : "Unmatched ") + std::string(1, text[end]) + AtPosition(text, end);
}

std::optional<std::string> ParseChoices(std::string_view text, size_t most,
                                        std::vector<Choice>& choices, std::string& tail) {
  const std::optional<std::pair<size_t, size_t>> host = IPv6Host(text);
  for (size_t index = 0; index < text.size();) {
    if (host && index == host->first) {
      tail.append(text.substr(host->first, host->second - host->first));
      index = host->second;
      continue;
    }
    const char c = text[index];
    if (c == ']' || c == '}') {
      return std::string("Unmatched ") + c + AtPosition(text, index);
    }
    if (c != '[' && c != '{') {
      tail += c;
      ++index;
      continue;
    }
    size_t end = 0;
    if (std::optional<std::string> problem = FindClose(text, index, end)) {
      return problem;
    }
    const std::string_view body = text.substr(index + 1, end - index - 1);
    Choice choice;
    if (c == '{') {
      if (body.empty()) {
        return "Empty set" + AtPosition(text, index);
      }
      for (size_t start = 0;;) {
        const size_t comma = std::min(body.find(',', start), body.size());
        choice.words.emplace_back(body.substr(start, comma - start));
        if (comma == body.size()) {
          break;
        }
        start = comma + 1;
      }
      choice.count = choice.words.size();
    } else if (std::optional<std::string> problem = ParseRange(body, most, choice)) {
      return *problem + AtPosition(text, index);
    }
    choice.before = std::move(tail);
    tail.clear();
    choices.push_back(std::move(choice));
    index = end + 1;
  }
  return std::nullopt;
}

}  // namespace

UrlGlob ExpandUrlGlob(std::string_view text, size_t most) {
  UrlGlob glob;
  std::vector<Choice> choices;
  std::string tail;
  if (std::optional<std::string> problem = ParseChoices(text, most, choices, tail)) {
    glob.expands = true;
    glob.error = std::move(*problem);
    return glob;
  }
  if (choices.empty()) {
    glob.urls.emplace_back(text);
    return glob;
  }
  glob.expands = true;
  size_t total = 1;
  for (const Choice& choice : choices) {
    // Compared before multiplying, so the product never overflows.
    if (choice.count > most / total) {
      glob.error = kTooManyGlobUrls;
      return glob;
    }
    total *= choice.count;
  }
  glob.urls.reserve(total);
  std::vector<size_t> at(choices.size(), 0);
  for (size_t made = 0; made < total; ++made) {
    std::string url;
    for (size_t i = 0; i < choices.size(); ++i) {
      url += choices[i].before + choices[i].At(at[i]);
    }
    glob.urls.push_back(url + tail);
    // The rightmost varies fastest.
    for (size_t i = choices.size(); i-- > 0;) {
      if (++at[i] < choices[i].count) {
        break;
      }
      at[i] = 0;
    }
  }
  return glob;
}

std::string ManyGlobUrlsQuestion(size_t count) {
  return "This address expands to " + GroupedInteger(static_cast<int64_t>(count)) +
         " downloads. Add them all?";
}

}  // namespace pellmarsh
