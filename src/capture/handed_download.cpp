#include "capture/handed_download.h"

#include "store/ascii_case.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "transfer/session_log.h"
#include "transfer/unfinished_file.h"
#include "url/local_naming.h"
#include "url/safe_local_name.h"

namespace pellmarsh {
namespace {

// The answers a link gives once it expired or lost its session.
bool SaysLinkExpired(const Item& item) {
  const std::string error = item.GetProp(key::kError);
  if (!error.starts_with("Failure: HTTP/")) {
    return false;
  }
  const size_t code = error.find(' ', 9);
  if (code == std::string::npos) {
    return false;
  }
  const std::string_view number = std::string_view(error).substr(code + 1, 3);
  return number == "401" || number == "403" || number == "404" || number == "410";
}

void TakeBrowsersSession(const HandedDownload& download, Item& item) {
  if (!download.cookies.empty()) {
    item.SetProp(key::kCookies, FormatCookieJar(JarOfBrowserCookies(download.cookies)));
  }
  item.SetProp(key::kReferrer, download.referrer);
  item.SetProp(key::kUserAgent, download.userAgent);
}

}  // namespace

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
  TakeBrowsersSession(download, item);
  if (const std::string name = SafeLocalName(download.filename); !name.empty()) {
    RenameForServer(names, item, name);
  }
}

Item* FindExpiredDownload(Item& list, const HandedDownload& download) {
  const std::string name = SafeLocalName(download.filename);
  if (name.empty()) {
    return nullptr;
  }
  for (int i = 0; i < list.ChildCount(); ++i) {
    Item& item = *list.ChildAt(i);
    const int status = item.GetPropInt(key::kStatus);
    const bool expired =
        status == kStatusOnHold || (status == kStatusFailed && SaysLinkExpired(item));
    const int64_t total = item.GetPropInt64(key::kFileTotal);
    if (expired && item.GetProp(key::kName) == name &&
        (download.size < 0 || total <= 0 || total == download.size)) {
      return &item;
    }
  }
  return nullptr;
}

void RenewDownload(const HandedDownload& download, Item& item) {
  TakeNewAddress(item, download.url);
  TakeBrowsersSession(download, item);
  AppendLogLine(item, 0, "Resumed with a new link: " + download.url);
}

}  // namespace pellmarsh
