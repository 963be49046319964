#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pellmarsh {

enum class DigestKind { kMd5, kSha1, kSha256, kSha512 };

// "md5", "sha1", "sha256" or "sha512": the names the checksum field takes.
std::string_view DigestName(DigestKind kind);

// A digest a download's bytes must have, its hex digits in lower case.
struct Checksum {
  DigestKind kind = DigestKind::kSha256;
  std::string hex;

  bool operator==(const Checksum&) const = default;
};

// The checksum field's text: "sha256:HEX", "sha512:HEX", "sha1:HEX", "md5:HEX",
// or the hex digits alone, whose count names the algorithm. Case and blanks
// around it do not matter. Nothing, with `error` saying why, for any other text.
std::optional<Checksum> ParseChecksum(std::string_view text, std::string& error);

// As the field shows it and the item keeps it: "sha256:HEX".
std::string ChecksumText(const Checksum& checksum);

}  // namespace pellmarsh
