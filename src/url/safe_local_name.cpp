#include "url/safe_local_name.h"

#include <algorithm>

#include "url/local_name_registry.h"
#include "url/url_parser.h"

namespace pellmarsh {
namespace {

// U+0080 to U+009F: C2 followed by 80 to 9F.
bool StartsC1Control(std::string_view text, size_t at) {
  const std::string_view pair = text.substr(at, 2);
  return pair.size() == 2 && pair[0] == '\xc2' &&
         (static_cast<unsigned char>(pair[1]) & 0xe0) == 0x80;
}

}  // namespace

std::string SafeLocalName(std::string_view name) {
  // A server names a file, never where it goes: "../../etc/passwd" and
  // "C:\temp\x.pdf" both end in the name.
  if (const size_t separator = name.find_last_of("/\\"); separator != std::string_view::npos) {
    name.remove_prefix(separator + 1);
  }
  // A leading dot would hide the download from its user (or replace a shell's
  // settings file); dots alone name directories.
  name.remove_prefix(std::min(name.find_first_not_of('.'), name.size()));
  // The system would end the name at a NUL and write to another file; other
  // control characters make names a terminal or a file manager mangles.
  std::string safe;
  safe.reserve(name.size());
  for (size_t at = 0; at < name.size(); ++at) {
    if (StartsC1Control(name, at)) {
      safe += '_';
      ++at;
    } else if (IsControlCharacter(name[at])) {
      safe += '_';
    } else {
      safe += name[at];
    }
  }
  // A longer name would fail every attempt for good.
  return ShortenFileName(safe);
}

}  // namespace pellmarsh
