#include "url/host_defaults.h"

#include "store/builtin_tree.h"
#include "store/keys.h"

namespace pellmarsh {

Item& HostDefaults(Item& root) {
  return root.FindOrCreateChild(folder::kHostDefaults);
}

Item* FindHostDefaults(Item& root, std::string_view host) {
  // A URL without a host (a file URL) has no entry; it would otherwise match
  // the first entry that has no name.
  if (host.empty()) {
    return nullptr;
  }
  return HostDefaults(root).FindByName(host);
}

Item& NewHostEntry(Item& root) {
  return HostDefaults(root).FindOrCreateChild(kDefaultHostEntry);
}

}  // namespace pellmarsh
