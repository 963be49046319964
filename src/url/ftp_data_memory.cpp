#include "url/ftp_data_memory.h"

#include "store/keys.h"
#include "url/host_defaults.h"

namespace pellmarsh {

std::string RememberedFtpDataCommand(Item& root, std::string_view host) {
  const Item* entry = FindHostDefaults(root, host);
  return entry ? entry->GetProp(key::kFtpDataCommand) : std::string();
}

void RememberFtpDataCommand(Item& root, std::string_view host, std::string_view command,
                            std::string_view firstChoice) {
  if (host.empty()) {
    return;
  }
  Item* entry = FindHostDefaults(root, host);
  if (!entry) {
    if (command == firstChoice) {
      return;
    }
    entry = &HostDefaults(root).FindOrCreateChild(host);
  }
  // The new-host entry's values stand for every host without an entry.
  if (entry == &NewHostEntry(root) || entry->GetProp(key::kFtpDataCommand) == command) {
    return;
  }
  entry->SetProp(key::kFtpDataCommand, command);
}

}  // namespace pellmarsh
