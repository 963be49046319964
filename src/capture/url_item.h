#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/item.h"
#include "url/local_name_registry.h"

namespace pellmarsh {

// Completes a URL item from its "value": the canonical URL, the local path
// and title when empty, the login and password, and an empty "error". When
// the value does not parse or holds a control character, only "error"
// changes (to the parse message, or kControlCharacterInUrl).
// Applying twice equals applying once, except that an empty "local" draws a
// fresh name each time. Call with the tree lock held.
void ApplyUrlToItem(Item& root, LocalNameRegistry& names, Item& item);

// A captured text as a new URL item, applied: "value" and "originalvalue" the
// text, "create" the time. None when the text does not classify as a URL.
// Call with the tree lock held.
std::unique_ptr<Item> MakeCapturedUrlItem(Item& root, LocalNameRegistry& names,
                                          const std::string& text, int64_t now);

// Why a text from another program cannot become a URL item ("Not a URL",
// "Malformed URL", "Unsupported protocol: gopher", "Control character in
// URL"); empty when it can. The same rules as MakeCapturedUrlItem, without a
// tree.
std::string UrlProblem(const std::string& text);

// The texts of a text that may hold several URLs, each to become an item.
// Words end at blanks and control bytes, so none holds a line break. One word
// is taken whole, as a URL on its own is; of several, each gives the URLs
// written out in it as the clipboard watcher finds them, or itself when it
// is a URL in a short form ("www.host/a.zip").
std::vector<std::string> UrlTextsIn(std::string_view text);

// What a drag and drop carried.
struct DroppedData {
  // The dropped URLs are all local files: their paths, in drop order.
  bool onlyLocalFiles = false;
  std::vector<std::string> localPaths;
  std::string uriList;  // text/uri-list as sent
  std::string text;     // text/plain
};

// The texts to capture from a drop, in the order to add them: a file drop's
// paths from the last to the first; each link of a uri-list holding several
// (one URL text made of them all would be malformed); otherwise the plain
// text, or the one link when there is no plain text. The links and the text
// are each split by UrlTextsIn.
std::vector<std::string> DroppedTexts(const DroppedData& drop);

}  // namespace pellmarsh
