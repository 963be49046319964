#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/item.h"
#include "url/local_name_registry.h"

namespace pellmarsh {

// What one copied text brought in.
struct ClipboardCapture {
  size_t captured = 0;
  // The copied text was exactly one new URL and Clip-and-Go is on: the item
  // to offer, or with "parm-clipstart" to queue at once.
  Item* clipAndGo = nullptr;
  bool startAtOnce = false;
};

// The URLs written out in a text ("scheme://...", each up to a blank, a
// control byte, a quote or a bracket), in text order, repeats included.
std::vector<std::string> WrittenUrls(std::string_view text);

// The file types of a list such as "iso zip" (apart by blanks or commas),
// in lower case and in order.
std::vector<std::string> FileTypesOf(std::string_view list);

// Whether the URL's last path segment ends in ".EXT" for an extension of
// `types`, letter case ignored.
bool LinksToFileOfType(std::string_view url, std::string_view types);

// Every URL written out in a copied text that is not queued, archived or
// clipped yet becomes a clipped item in "_fileclip", as far as
// "parm-clipwatch" lets it. The set of known URLs is
// taken once, so a URL written twice in one text is clipped twice. Call with
// the tree lock held.
ClipboardCapture CaptureClipboardText(Item& root, LocalNameRegistry& names, std::string_view text,
                                      int64_t now);

}  // namespace pellmarsh
