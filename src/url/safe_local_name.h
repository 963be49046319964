#pragma once

#include <string>
#include <string_view>

namespace pellmarsh {

// A name a server offered (in a URL or a header) made fit to be one file in
// the download directory: only what follows its last "/" or "\", without
// leading dots, "_" for each control character (C0, DEL, and C1 written as
// UTF-8), at most kLongestFinalName bytes. Empty when nothing usable remains
// ("", ".", "..", "dir/").
std::string SafeLocalName(std::string_view name);

}  // namespace pellmarsh
