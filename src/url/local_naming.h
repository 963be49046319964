#pragma once

#include <string>

#include "store/item.h"
#include "url/local_name_registry.h"
#include "url/url_parser.h"

namespace pellmarsh {

// The bare file name to save a URL under: its file part, percent-decoded
// when that gives clean UTF-8 without a "/" or "\", or for a directory or
// index URL "<last segment>-index" (or "download") with ".html" for http and
// ".txt" otherwise; an IPv6 host's segment is its address with "_" for ":"
// ("2001_db8__1-index.html"). Either goes through SafeLocalName, so it is one
// name inside the download directory: never empty, ".", ".." or starting with
// a dot, holding no "/" and no control character, and at most
// kLongestFinalName bytes.
std::string LocalFileName(const UrlParts& parts);

// Fills a URL item's "local" (when empty) from the host's download directory
// and a unique file name, its "name" (when empty) from that path, and its
// "login" and "password": the URL's own, then the item's, the host entry's and
// the new-host entry's, the first non-empty winning. Call with the tree lock held.
void ChooseNewItemSettings(Item& root, LocalNameRegistry& names, const UrlParts& parts, Item& item);

// The item's file is at `local` from now on; its "name" follows when it was
// the old file's name, so a name the user gave stays.
void MoveItemToLocalPath(Item& item, const std::string& local);

// Removes each "/../" with the segment before it, never above the root of
// the path (a "/../" right after the host is dropped alone).
void CollapseDotDotSegments(std::string& url);

// A reference found at the URL text "requested", made absolute: one that
// begins with "/" goes to the scheme, host and port (the port always written),
// any other to the URL's directory; "/../" steps are then collapsed, never
// above the root of the path.
std::string ResolveAgainst(const std::string& location, const std::string& requested);

// The same resolution against one URL for many locations (the links of a
// page): the URL is parsed once.
class LinkBase {
 public:
  explicit LinkBase(const std::string& requested);
  std::string Resolve(const std::string& location) const;

 private:
  std::string origin_;     // "scheme://host:port"
  std::string directory_;  // up to the path's last "/", without it
};

// Where a redirect's "location" sends a request made for `current`: a
// location naming an http, https or ftp URL as it is (parsed or not, so an
// attempt refuses it), any other resolved against `current`.
std::string RedirectTarget(const std::string& location, const std::string& current);

// After an HTTP redirect to `target`: moves "local" and "name" to the file the
// target names, in the same directory, giving the old one back to the
// registry. Call with the tree lock held.
void RenameForRedirect(LocalNameRegistry& names, Item& item, const std::string& target);

// Moves "local" and "name" to `fileName` (one safe file name) in the same
// directory, unique, giving the old one back to the registry; false when
// the file already had that name. Call with the tree lock held.
bool RenameForServer(LocalNameRegistry& names, Item& item, const std::string& fileName);

// The login a server gets when the item's own URL does not name it: the
// URL's, then its host entry's and the new-host entry's.
struct Login {
  std::string user;
  std::string password;
};
Login HostLogin(Item& root, const UrlParts& parts);

}  // namespace pellmarsh
