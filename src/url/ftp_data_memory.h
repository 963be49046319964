#pragma once

#include <string>
#include <string_view>

#include "store/item.h"

namespace pellmarsh {

// The FTP data command ("EPSV", "PASV" or "PORT") that last opened a data
// channel to `host`, kept in the host's entry of the host defaults; empty
// when none is remembered. Call with the tree lock held.
std::string RememberedFtpDataCommand(Item& root, std::string_view host);

// Keeps `command` for the host's later transfers. A host without an entry
// gets one only for a command other than `firstChoice`, so hosts that do the
// usual need none. Learned from transfers, so "permanent" entries learn it too.
void RememberFtpDataCommand(Item& root, std::string_view host, std::string_view command,
                            std::string_view firstChoice);

}  // namespace pellmarsh
