#pragma once

#include <string_view>

#include "store/item.h"

namespace pellmarsh {

// The folder of per-host entries ("nkw-defaults" under the root), made again
// empty when it has gone. Entries hold "name" (the host, or the new-host
// entry's fixed name), "localpath", "login", "password" and "permanent"; an
// empty value means the new-host entry's value applies.
Item& HostDefaults(Item& root);

// The entry of a host, found ignoring ASCII case anywhere in the folder; or none.
Item* FindHostDefaults(Item& root, std::string_view host);

// The entry that holds the defaults for hosts without an entry of their own.
Item& NewHostEntry(Item& root);

}  // namespace pellmarsh
