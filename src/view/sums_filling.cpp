#include "view/sums_filling.h"

#include <fstream>
#include <iterator>

#include "store/keys.h"
#include "transfer/session/text_fetch.h"
#include "url/url_parser.h"

namespace pellmarsh {
namespace {

constexpr std::string_view kFileScheme = "file://";

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<std::string> ReadSumsSource(const std::string& source, const TextFetcher& fetch,
                                          std::string& error) {
  const bool url = source.find("://") != std::string::npos;
  if (url && !source.starts_with(kFileScheme)) {
    return fetch(source, error);
  }
  const std::string path = url ? source.substr(kFileScheme.size()) : source;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "Couldn't open " + path + ".";
    return std::nullopt;
  }
  std::string text(static_cast<size_t>(TextFetch::kLargest) + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(file.gcount()));
  if (text.size() > static_cast<size_t>(TextFetch::kLargest)) {
    error = path + " is larger than " + std::to_string(TextFetch::kLargest >> 20) + " MB.";
    return std::nullopt;
  }
  return text;
}

int FillChecksums(const std::map<std::string, Checksum>& sums, const std::vector<Item*>& items) {
  int filled = 0;
  for (Item* item : items) {
    auto listed = sums.find(BaseName(item->GetProp(key::kLocal)));
    if (listed == sums.end()) {
      listed = sums.find(ParseUrlCopy(item->GetProp(key::kValue))->GetProp(key::kFile));
    }
    if (listed == sums.end()) {
      continue;
    }
    const std::string text = ChecksumText(listed->second);
    if (text != item->GetProp(key::kChecksum)) {
      item->SetProp(key::kChecksum, text);
      item->SetProp(key::kChecksumMismatch, "");
    }
    ++filled;
  }
  return filled;
}

}  // namespace pellmarsh
