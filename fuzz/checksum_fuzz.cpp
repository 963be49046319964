// Any bytes as a typed checksum, a server's digest header and a sums file:
// whatever is taken reads back as itself, and no name keeps a folder.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "checksum/checksum.h"
#include "checksum/digest_header.h"
#include "checksum/sums_file.h"

namespace {

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

void RequireReadsBack(const pellmarsh::Checksum& checksum) {
  std::string error;
  const std::optional<pellmarsh::Checksum> again =
      pellmarsh::ParseChecksum(pellmarsh::ChecksumText(checksum), error);
  Require(again && *again == checksum && error.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  if (const std::optional<pellmarsh::Checksum> typed = pellmarsh::ParseChecksum(text, error)) {
    RequireReadsBack(*typed);
  } else {
    Require(!error.empty());
  }
  for (const char* name : {"repr-digest", "digest"}) {
    if (const std::optional<pellmarsh::Checksum> served = pellmarsh::WholeFileDigest(name, text)) {
      RequireReadsBack(*served);
    }
  }
  for (const auto& [name, checksum] : pellmarsh::ReadSumsFile(text)) {
    Require(name.find('/') == std::string::npos);
    RequireReadsBack(checksum);
  }
  return 0;
}
