#include "capture/url_item.h"

#include <algorithm>
#include <iterator>

#include "capture/clipboard_monitor.h"
#include "store/keys.h"
#include "url/local_naming.h"
#include "url/text_classifier.h"
#include "url/url_parser.h"

namespace pellmarsh {
namespace {

// The URLs of a uri-list: one per line, "#" lines being comments.
std::vector<std::string> UriListLinks(const std::string& list) {
  std::vector<std::string> links;
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find('\n', start);
    if (end == std::string::npos) {
      end = list.size();
    }
    std::string line = list.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (!line.empty() && line[0] != '#') {
      links.push_back(std::move(line));
    }
    start = end + 1;
  }
  return links;
}

// The runs of a text between blanks and control bytes.
std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  const auto separates = [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == '\x7f'; };
  for (auto start = text.begin(); start != text.end();) {
    start = std::find_if_not(start, text.end(), separates);
    const auto end = std::find_if(start, text.end(), separates);
    if (start != end) {
      words.emplace_back(start, end);
    }
    start = end;
  }
  return words;
}

// Every way a URL comes in ends here. A control character anywhere in it
// would reach a request line, where a line break starts headers of the
// URL's choosing, so it is refused before its parts are looked at.
std::string UrlTextProblem(const std::string& text, const UrlParts& parts) {
  return HoldsControlCharacter(text) ? kControlCharacterInUrl : parts.GetProp(key::kError);
}

}  // namespace

void ApplyUrlToItem(Item& root, LocalNameRegistry& names, Item& item) {
  const std::string value = item.GetProp(key::kValue);
  const std::unique_ptr<UrlParts> parts = ParseUrlCopy(value);
  if (const std::string error = UrlTextProblem(value, *parts); !error.empty()) {
    item.SetProp(key::kError, error);
    return;
  }
  item.SetProp(key::kError, "");
  ChooseNewItemSettings(root, names, *parts, item);
  item.SetProp(key::kValue, FormatUrl(*parts));
}

std::unique_ptr<Item> MakeCapturedUrlItem(Item& root, LocalNameRegistry& names,
                                          const std::string& text, int64_t now) {
  auto item = std::make_unique<Item>();
  item->SetProp(key::kValue, text);
  item->SetProp(key::kOriginalValue, text);
  item->SetPropInt64(key::kCreate, now);
  ClassifyItem(*item);
  if (item->GetProp(key::kType) != "_url") {
    return nullptr;
  }
  ApplyUrlToItem(root, names, *item);
  return item;
}

std::string UrlProblem(const std::string& text) {
  Item item;
  item.SetProp(key::kValue, text);
  ClassifyItem(item);
  if (item.GetProp(key::kType) != "_url") {
    return "Not a URL";
  }
  const std::string value = item.GetProp(key::kValue);
  return UrlTextProblem(value, *ParseUrlCopy(value));
}

std::vector<std::string> UrlTextsIn(std::string_view text) {
  std::vector<std::string> words = Words(text);
  if (words.size() <= 1) {
    return words;
  }
  std::vector<std::string> texts;
  for (std::string& word : words) {
    std::vector<std::string> written = WrittenUrls(word);
    if (std::string expanded = word; written.empty() && IsUrl(expanded)) {
      written.push_back(std::move(word));
    }
    std::ranges::move(written, std::back_inserter(texts));
  }
  return texts;
}

std::vector<std::string> DroppedTexts(const DroppedData& drop) {
  if (drop.onlyLocalFiles) {
    return {drop.localPaths.rbegin(), drop.localPaths.rend()};
  }
  std::vector<std::string> links = UriListLinks(drop.uriList);
  if (links.size() <= 1 && !drop.text.empty()) {
    links = {drop.text};
  }
  std::vector<std::string> texts;
  for (const std::string& link : links) {
    std::ranges::move(UrlTextsIn(link), std::back_inserter(texts));
  }
  return texts;
}

}  // namespace pellmarsh
