#pragma once

#include "capture/native_message.h"
#include "store/item.h"
#include "url/cookies.h"
#include "url/local_name_registry.h"

namespace pellmarsh {

// The browser's cookies as a download's jar: a domain given with a leading
// dot, or not host-only, goes to its subdomains as well.
CookieJar JarOfBrowserCookies(const std::vector<BrowserCookie>& cookies);

// What the browser knew of a link goes with its new item: its cookies, the
// page as the referrer, the browser's user agent, and the file name the
// browser chose (the server's Content-Disposition is what it went by). Call
// with the tree lock held.
void ApplyHandedDownload(const HandedDownload& download, LocalNameRegistry& names, Item& item);

// The unfinished download of the list a browser's link is a fresh link for:
// one of the same file name (and size, where both know it) that was stopped,
// or failed with an answer an expired link gives (401, 403, 404, 410). None
// when there is no such download. Call with the tree lock held.
Item* FindExpiredDownload(Item& list, const HandedDownload& download);

// Gives such a download the new link and what the browser knew of it; its
// bytes stay when the new link serves the same file.
void RenewDownload(const HandedDownload& download, Item& item);

}  // namespace pellmarsh
