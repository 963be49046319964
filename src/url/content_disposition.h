#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pellmarsh {

// The file name a Content-Disposition value (RFC 6266) offers, through
// SafeLocalName: "filename*" (RFC 8187, UTF-8 or ISO-8859-1) when it decodes
// to a usable name, else "filename" (a token or quoted string, read as UTF-8
// or, when its bytes are no UTF-8, as ISO-8859-1). Any disposition type may
// carry one. Nothing when the value does not parse, names no file, or leaves
// nothing usable. One pass over the value, whatever it holds.
std::optional<std::string> FileNameFromContentDisposition(std::string_view headerValue);

}  // namespace pellmarsh
