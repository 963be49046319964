#include "capture/url_item.h"

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

std::vector<std::string> DroppedTexts(const DroppedData& drop) {
  if (drop.onlyLocalFiles) {
    return {drop.localPaths.rbegin(), drop.localPaths.rend()};
  }
  std::vector<std::string> links = UriListLinks(drop.uriList);
  if (links.size() > 1 || (drop.text.empty() && links.size() == 1)) {
    return links;
  }
  if (!drop.text.empty()) {
    return {drop.text};
  }
  return {};
}

}  // namespace pellmarsh
