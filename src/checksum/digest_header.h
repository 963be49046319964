#pragma once

#include <optional>
#include <string_view>

#include "checksum/checksum.h"

namespace pellmarsh {

// The whole file's digest a response names: a Repr-Digest field (RFC 9530,
// "sha-256=:BASE64:") or an older Digest field (RFC 3230, "SHA-256=BASE64"),
// by the field's name in lower case. Only sha-256 and sha-512 count, sha-256
// first; a value that does not decode to a digest of its size is none.
std::optional<Checksum> WholeFileDigest(std::string_view fieldName, std::string_view value);

}  // namespace pellmarsh
