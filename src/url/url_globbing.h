#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pellmarsh {

// More addresses than this are asked about before they are added.
inline constexpr size_t kGlobUrlsToAskAbout = 100;
// More addresses than this are refused.
inline constexpr size_t kMostGlobUrls = 10000;
inline constexpr const char* kTooManyGlobUrls =
    "This address expands to more than 10,000 downloads; Pellmarsh adds at most 10,000 at once.";

// The addresses a typed text stands for, written as curl writes them: a set
// "{one,two}" and a range "[1-10]", "[001-120]" (zero-padded to the first
// number's width), "[a-z]" or "[A-Z]", with an optional step ("[0-100:10]").
// Several multiply, the leftmost varying slowest. "%5B" is a literal bracket,
// and so is a bracketed IPv6 host right after "//".
struct UrlGlob {
  std::vector<std::string> urls;  // just the text when it holds no range or set
  std::string error;              // why it expands to nothing ("Unmatched [ at position 12")
  bool expands = false;           // it holds a range or set, or a mistaken one
};

// Counts before building, so more than `most` addresses give kTooManyGlobUrls
// and no list.
UrlGlob ExpandUrlGlob(std::string_view text, size_t most = kMostGlobUrls);

// "This address expands to 120 downloads. Add them all?"
std::string ManyGlobUrlsQuestion(size_t count);

}  // namespace pellmarsh
