#include "capture/handed_download.h"

#include "store/ascii_case.h"
#include "store/keys.h"
#include "url/local_naming.h"
#include "url/safe_local_name.h"

namespace pellmarsh {

CookieJar JarOfBrowserCookies(const std::vector<BrowserCookie>& cookies) {
  CookieJar jar;
  for (const BrowserCookie& given : cookies) {
    std::string domain = AsciiLower(given.domain);
    const bool dotted = domain.starts_with('.');
    if (dotted) {
      domain.erase(0, 1);
    }
    jar.push_back({given.name, given.value, domain, given.path.empty() ? "/" : given.path,
                   given.hostOnly && !dotted, given.secure, given.httpOnly, given.expiry});
  }
  return jar;
}

void ApplyHandedDownload(const HandedDownload& download, LocalNameRegistry& names, Item& item) {
  if (!download.cookies.empty()) {
    item.SetProp(key::kCookies, FormatCookieJar(JarOfBrowserCookies(download.cookies)));
  }
  item.SetProp(key::kReferrer, download.referrer);
  item.SetProp(key::kUserAgent, download.userAgent);
  if (const std::string name = SafeLocalName(download.filename); !name.empty()) {
    RenameForServer(names, item, name);
  }
}

}  // namespace pellmarsh
