#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "checksum/checksum.h"
#include "store/item.h"

namespace pellmarsh {

// How a sums file is fetched from a URL while the user waits: the text, or
// nothing with `error`.
using TextFetcher =
    std::function<std::optional<std::string>(const std::string& url, std::string& error)>;

// The text of a sums file named by a local path or a file:// URL (read here,
// at most TextFetch::kLargest bytes), or by another URL (through `fetch`).
std::optional<std::string> ReadSumsSource(const std::string& source, const TextFetcher& fetch,
                                          std::string& error);

// Gives each item whose file name the sums list names that checksum, by the
// name it is saved as or else the URL's; the tree lock is held. Returns how
// many it gave one.
int FillChecksums(const std::map<std::string, Checksum>& sums, const std::vector<Item*>& items);

}  // namespace pellmarsh
