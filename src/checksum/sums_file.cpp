#include "checksum/sums_file.h"

#include <cctype>
#include <optional>

namespace pellmarsh {
namespace {

std::string BaseName(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// "\\" and "\n" as the tools escape them in a name.
std::string Unescaped(std::string_view name) {
  std::string plain;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 1 < name.size()) {
      ++i;
      plain += name[i] == 'n' ? '\n' : name[i];
    } else {
      plain += name[i];
    }
  }
  return plain;
}

std::optional<Checksum> HexAlone(std::string_view hex) {
  std::string error;
  if (hex.find(':') != std::string_view::npos) {
    return std::nullopt;
  }
  return ParseChecksum(hex, error);
}

// "SHA256 (name) = HEX"
void ReadBsdLine(std::string_view line, std::map<std::string, Checksum>& sums) {
  const size_t open = line.find(" (");
  const size_t close = line.rfind(") = ");
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
    return;
  }
  std::string error;
  std::string typed(line.substr(0, open));
  for (char& c : typed) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  const std::optional<Checksum> checksum =
      ParseChecksum(typed + ":" + std::string(line.substr(close + 4)), error);
  if (checksum) {
    sums[BaseName(line.substr(open + 2, close - open - 2))] = *checksum;
  }
}

// "HEX  name" or "HEX *name"; false for a line of another kind.
bool ReadGnuLine(std::string_view line, std::map<std::string, Checksum>& sums) {
  const bool escaped = !line.empty() && line.front() == '\\';
  if (escaped) {
    line.remove_prefix(1);
  }
  const size_t blank = line.find(' ');
  if (blank == std::string_view::npos || blank + 2 > line.size() ||
      (line[blank + 1] != ' ' && line[blank + 1] != '*')) {
    return false;
  }
  const std::optional<Checksum> checksum = HexAlone(line.substr(0, blank));
  const std::string_view name = line.substr(blank + 2);
  if (!checksum || name.empty()) {
    return false;
  }
  sums[BaseName(escaped ? Unescaped(name) : std::string(name))] = *checksum;
  return true;
}

}  // namespace

std::map<std::string, Checksum> ReadSumsFile(std::string_view text) {
  std::map<std::string, Checksum> sums;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    if (!ReadGnuLine(line, sums)) {
      ReadBsdLine(line, sums);
    }
  }
  return sums;
}

}  // namespace pellmarsh
