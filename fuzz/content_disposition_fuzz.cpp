// Any bytes as a Content-Disposition value: reading it must not crash or
// hang, and a name it gives is one visible UTF-8 file name that the naming
// rules leave as it is. Any bytes as a server's file name, sent as
// "filename*" or as a quoted "filename", must come back as the naming rules
// make it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "local_name_check.h"
#include "store/utf8.h"
#include "url/content_disposition.h"
#include "url/safe_local_name.h"
#include "url/url_parser.h"

namespace {

using pellmarsh::FileNameFromContentDisposition;

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

void CheckHeader(std::string_view value) {
  const std::optional<std::string> name = FileNameFromContentDisposition(value);
  if (name) {
    Require(IsSafeLocalName(*name) && pellmarsh::IsUtf8(*name));
    Require(pellmarsh::SafeLocalName(*name) == *name);
  }
}

std::optional<std::string> Expected(std::string_view name) {
  std::string safe = pellmarsh::SafeLocalName(name);
  return safe.empty() ? std::nullopt : std::optional(std::move(safe));
}

void CheckExtendedName(std::string_view name) {
  std::string header = "attachment; filename*=UTF-8''";
  for (const char c : name) {
    char escape[4];
    std::snprintf(escape, sizeof escape, "%%%02X", static_cast<unsigned char>(c));
    header += escape;
  }
  Require(FileNameFromContentDisposition(header) == Expected(name));
}

void CheckQuotedName(std::string_view name) {
  if (pellmarsh::HoldsControlCharacter(name)) {
    return;
  }
  std::string header = "inline; filename=\"";
  for (const char c : name) {
    if (c == '"' || c == '\\') {
      header += '\\';
    }
    header += c;
  }
  header += '"';
  Require(FileNameFromContentDisposition(header) == Expected(name));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckHeader(input);
  if (pellmarsh::IsUtf8(input)) {
    CheckExtendedName(input);
    CheckQuotedName(input);
  }
  return 0;
}
