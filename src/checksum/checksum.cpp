#include "checksum/checksum.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace pellmarsh {
namespace {

struct Algorithm {
  DigestKind kind;
  std::string_view name;
  size_t hexDigits;
};

constexpr std::array<Algorithm, 4> kAlgorithms = {{
    {DigestKind::kMd5, "md5", 32},
    {DigestKind::kSha1, "sha1", 40},
    {DigestKind::kSha256, "sha256", 64},
    {DigestKind::kSha512, "sha512", 128},
}};

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && blank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && blank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

}  // namespace

std::string_view DigestName(DigestKind kind) {
  for (const Algorithm& algorithm : kAlgorithms) {
    if (algorithm.kind == kind) {
      return algorithm.name;
    }
  }
  return {};
}

std::optional<Checksum> ParseChecksum(std::string_view text, std::string& error) {
  const std::string lower = Lower(Trimmed(text));
  std::string_view hex = lower;
  const Algorithm* named = nullptr;
  if (const size_t colon = hex.find(':'); colon != std::string_view::npos) {
    const std::string_view name = hex.substr(0, colon);
    const auto found = std::find_if(kAlgorithms.begin(), kAlgorithms.end(),
                                    [&](const Algorithm& a) { return a.name == name; });
    if (found == kAlgorithms.end()) {
      error = "A checksum names md5, sha1, sha256 or sha512, such as sha256:HEX.";
      return std::nullopt;
    }
    named = &*found;
    hex.remove_prefix(colon + 1);
  }
  if (hex.empty() ||
      !std::all_of(hex.begin(), hex.end(), [](unsigned char c) { return std::isxdigit(c) != 0; })) {
    error = "A checksum is hex digits (0-9, a-f), such as sha256:HEX.";
    return std::nullopt;
  }
  if (named == nullptr) {
    const auto bySize = std::find_if(kAlgorithms.begin(), kAlgorithms.end(),
                                     [&](const Algorithm& a) { return a.hexDigits == hex.size(); });
    if (bySize == kAlgorithms.end()) {
      error = "Hex digits alone must number 32 (md5), 40 (sha1), 64 (sha256) or 128 (sha512).";
      return std::nullopt;
    }
    named = &*bySize;
  }
  if (hex.size() != named->hexDigits) {
    error = "A " + std::string(named->name) + " checksum has " + std::to_string(named->hexDigits) +
            " hex digits, not " + std::to_string(hex.size()) + ".";
    return std::nullopt;
  }
  return Checksum{named->kind, std::string(hex)};
}

std::string ChecksumText(const Checksum& checksum) {
  return std::string(DigestName(checksum.kind)) + ":" + checksum.hex;
}

}  // namespace pellmarsh
