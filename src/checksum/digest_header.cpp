#include "checksum/digest_header.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace pellmarsh {
namespace {

struct Named {
  std::string_view name;
  DigestKind kind;
  size_t bytes;
};

constexpr Named kWanted[] = {{"sha-256", DigestKind::kSha256, 32},
                             {"sha-512", DigestKind::kSha512, 64}};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == y;
         });
}

// Standard Base64 of exactly `bytes` bytes, as hex.
std::optional<std::string> HexOfBase64(std::string_view text, size_t bytes) {
  if (text.size() != (bytes + 2) / 3 * 4 ||
      !std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isalnum(c) != 0 || c == '+' || c == '/' || c == '=';
      })) {
    return std::nullopt;
  }
  std::vector<unsigned char> decoded(text.size() / 4 * 3);
  if (EVP_DecodeBlock(decoded.data(), reinterpret_cast<const unsigned char*>(text.data()),
                      static_cast<int>(text.size())) < static_cast<int>(bytes)) {
    return std::nullopt;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < bytes; ++i) {
    hex += kDigits[decoded[i] >> 4];
    hex += kDigits[decoded[i] & 0xf];
  }
  return hex;
}

}  // namespace

std::optional<Checksum> WholeFileDigest(std::string_view fieldName, std::string_view value) {
  const bool structured = fieldName == "repr-digest";
  if (!structured && fieldName != "digest") {
    return std::nullopt;
  }
  for (const Named& wanted : kWanted) {
    std::string_view rest = value;
    while (!rest.empty()) {
      const size_t comma = rest.find(',');
      std::string_view member = Trim(rest.substr(0, comma));
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
      const size_t equals = member.find('=');
      if (equals == std::string_view::npos ||
          !SameName(Trim(member.substr(0, equals)), wanted.name)) {
        continue;
      }
      std::string_view encoded = Trim(member.substr(equals + 1));
      if (structured) {
        // A byte sequence, ":BASE64:", perhaps with parameters after it.
        encoded = encoded.substr(0, encoded.find(';'));
        if (encoded.size() < 2 || encoded.front() != ':' || encoded.back() != ':') {
          continue;
        }
        encoded = encoded.substr(1, encoded.size() - 2);
      }
      if (std::optional<std::string> hex = HexOfBase64(encoded, wanted.bytes)) {
        return Checksum{wanted.kind, std::move(*hex)};
      }
    }
  }
  return std::nullopt;
}

}  // namespace pellmarsh
