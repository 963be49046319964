#include "transfer/line_end_converter.h"

#include <cstring>

namespace pellmarsh {

void LineEndConverter::Convert(const char* chunk, size_t count, std::string& out) {
  const char* at = chunk;
  const char* const end = chunk + count;
  if (holdsCr_ && at < end) {
    out.push_back('\n');
    holdsCr_ = false;
    if (*at == '\n') {
      ++at;
    }
  }
  // Runs without a CR are copied whole, so a file that already has LF line
  // ends costs one search and one copy per chunk.
  while (at < end) {
    const char* cr = static_cast<const char*>(std::memchr(at, '\r', static_cast<size_t>(end - at)));
    if (cr == nullptr) {
      out.append(at, end);
      return;
    }
    out.append(at, cr);
    if (cr + 1 == end) {
      holdsCr_ = true;
      return;
    }
    out.push_back('\n');
    at = cr[1] == '\n' ? cr + 2 : cr + 1;
  }
}

void LineEndConverter::Flush(std::string& out) {
  if (holdsCr_) {
    out.push_back('\n');
    holdsCr_ = false;
  }
}

}  // namespace pellmarsh
