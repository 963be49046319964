// Any bytes as a typed address with ranges and sets: expanding must not crash
// or run away, gives either addresses or a reason, never more addresses than
// allowed, the text itself when it holds no range or set, and addresses
// free of braces, which only a set can hold.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "url/url_globbing.h"

namespace {

// Small, so that every input stays quick.
constexpr size_t kMost = 500;

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const pellmarsh::UrlGlob glob = pellmarsh::ExpandUrlGlob(input, kMost);
  Require(glob.error.empty() != glob.urls.empty());
  Require(glob.urls.size() <= kMost);
  if (!glob.expands) {
    Require(glob.error.empty() && glob.urls.size() == 1 && glob.urls[0] == input);
    return 0;
  }
  for (const std::string& url : glob.urls) {
    Require(url.find_first_of("{}") == std::string::npos);
  }
  return 0;
}
