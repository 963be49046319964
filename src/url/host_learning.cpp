#include "url/host_learning.h"

#include <utility>

#include "store/keys.h"
#include "url/host_defaults.h"
#include "url/url_parser.h"

namespace pellmarsh {

void LearnHostDefaults(Item& root, const std::string& urlText, const std::string& saveAsPath,
                       const std::string& login, const std::string& password) {
  const std::string host = ParseUrlCopy(urlText)->GetProp(key::kHostName);
  const size_t slash = saveAsPath.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : saveAsPath.substr(0, slash);
  if (host.empty()) {
    return;
  }
  Item& newHost = NewHostEntry(root);
  if (newHost.GetProp(key::kLocalPath) == directory && newHost.GetProp(key::kLogin) == login &&
      newHost.GetProp(key::kPassword) == password) {
    return;
  }
  Item& entry = HostDefaults(root).FindOrCreateChild(host);
  // A host that happens to carry the new-host entry's name must not rewrite
  // the defaults of every other host.
  if (&entry == &newHost || entry.GetPropInt(key::kPermanent) != 0) {
    return;
  }
  const std::pair<PropKey, const std::string&> fields[] = {
      {key::kLocalPath, directory}, {key::kLogin, login}, {key::kPassword, password}};
  for (const auto& [key, chosen] : fields) {
    const std::string own = entry.GetProp(key);
    const std::string fallback = newHost.GetProp(key);
    if ((!own.empty() && own != fallback) || chosen != fallback) {
      entry.SetProp(key, chosen);
    }
  }
}

}  // namespace pellmarsh
