// Any bytes as a downloaded page or a copied text: every reference found is a
// non-empty piece of its line holding no byte that ends a value, a written
// URL holds its "://", and whatever is kept after resolution is http, https or
// ftp.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "capture/url_extraction.h"

namespace {

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

bool EndsEveryValue(unsigned char c) {
  return c < '!' || c >= 0x80 || c == '<' || c == '>' || c == '[' || c == ']';
}

void CheckLine(std::string_view line) {
  std::vector<std::string> found;
  pellmarsh::ScanPageLine(line, [&found](std::string_view candidate) {
    found.emplace_back(candidate);
    return true;
  });
  for (const std::string& candidate : found) {
    Require(!candidate.empty() && line.find(candidate) != std::string_view::npos);
    for (const char c : candidate) {
      Require(!EndsEveryValue(static_cast<unsigned char>(c)));
    }
    for (const char* page : {"http://host/a/b.html", "ftp://host:2121/pub/"}) {
      const std::string url = pellmarsh::ResolveCandidate(candidate, pellmarsh::LinkBase(page));
      Require(url.empty() || url.starts_with("http:") || url.starts_with("https:") ||
              url.starts_with("ftp:"));
    }
  }
}

void CheckClipboardText(std::string_view text) {
  size_t pos = 0;
  while (const auto span = pellmarsh::FindSchemeCandidate(text, pos)) {
    Require(span->start >= pos && span->start < span->end && span->end <= text.size());
    Require(text.substr(span->start, span->end - span->start).find("://") !=
            std::string_view::npos);
    pos = span->end;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckClipboardText(input);
  size_t start = 0;
  while (start <= input.size()) {
    size_t end = input.find('\n', start);
    if (end == std::string_view::npos) {
      end = input.size();
    }
    CheckLine(input.substr(start, end - start));
    start = end + 1;
  }
  return 0;
}
