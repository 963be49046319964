#pragma once

#include <map>
#include <string>
#include <string_view>

#include "checksum/checksum.h"

namespace pellmarsh {

// The checksums a sums file lists, by file name without its folders: lines
// "HEX  name" or "HEX *name" as sha256sum and its kin write them (a line that
// starts with "\" has its name escaped), and "SHA256 (name) = HEX" as BSD
// tools write them. Other lines, and hex of no known length, are skipped.
std::map<std::string, Checksum> ReadSumsFile(std::string_view text);

}  // namespace pellmarsh
