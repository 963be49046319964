#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

#include "store/item.h"
#include "url/local_name_registry.h"

namespace pellmarsh {

// "autoupdate" of an upgrade item.
enum class UpgradeKind : int { kNone = 0, kCheckPage = 1, kProgram = 2 };

// The check page's or the program's URL on the upgrade site whose base URL
// is given (taken as http when it names no scheme); empty when there is no site.
std::string UpgradeUrl(std::string_view base, UpgradeKind kind);

// Queues the upgrade download of the kind at the end of "_filelist", made
// like any new URL item; nullptr when "parm-upgradeurl" is empty. Call with
// the tree lock held.
Item* StartUpgradeDownload(Item& root, LocalNameRegistry& names, int64_t now, UpgradeKind kind);

// The newest version the page's "Current Version: [...]" lines offer, when it
// sorts after our own, byte by byte: one offer per check, however many lines.
std::optional<std::string> NewestVersionOffered(std::istream& page);

}  // namespace pellmarsh
