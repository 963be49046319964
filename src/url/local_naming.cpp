#include "url/local_naming.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <utility>

#include "platform/program_dir.h"
#include "store/keys.h"
#include "store/utf8.h"
#include "url/host_defaults.h"
#include "url/safe_local_name.h"

namespace pellmarsh {
namespace {

constexpr char kSeparator = '/';

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind(kSeparator);
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  return path.substr(path.rfind(kSeparator) + 1);
}

// An IPv6 literal names a file without its brackets and with "_" for its
// colons, which other file systems refuse and shells and copy tools misread.
std::string HostForFileName(std::string host) {
  if (host.size() < 2 || host.front() != '[' || host.back() != ']') {
    return host;
  }
  host = host.substr(1, host.size() - 2);
  std::replace(host.begin(), host.end(), ':', '_');
  return host;
}

// The name as its user reads it ("caf%C3%A9" is "café"), but only when the
// decoding is clean: a "%" that starts no escape, bytes that are no UTF-8, or
// an escaped "/" or "\" keep the name as written, which names the same file
// without guessing what the server meant.
std::string DecodedUrlName(const std::string& name) {
  std::optional<std::string> decoded = DecodePercentEscapes(name);
  if (!decoded || !IsUtf8(*decoded) || decoded->find_first_of("/\\") != std::string::npos) {
    return name;
  }
  return *std::move(decoded);
}

std::string FirstNonEmpty(std::initializer_list<std::string> candidates) {
  for (const std::string& candidate : candidates) {
    if (!candidate.empty()) {
      return candidate;
    }
  }
  return std::string();
}

// The host entry's setting, else the new-host entry's.
std::string HostSetting(Item& root, const UrlParts& parts, PropKey key) {
  const Item* host = FindHostDefaults(root, parts.GetProp(key::kHostName));
  return FirstNonEmpty(
      {host ? host->GetProp(key) : std::string(), NewHostEntry(root).GetProp(key)});
}

}  // namespace

// ".." never climbs above the root of the path: cutting into "scheme://host"
// would send the next request to another host. Only the path has segments: a
// query or fragment is data of the server's, and "/../" there stays as it is.
void CollapseDotDotSegments(std::string& url) {
  size_t root = 0;
  bool guarded = false;
  if (const size_t schemeEnd = url.find("://"); schemeEnd != std::string::npos) {
    root = url.find('/', schemeEnd + 3);
    if (root == std::string::npos) {
      return;
    }
    guarded = true;
  }
  const size_t pathEnd = std::min(url.find_first_of("?#", root), url.size());
  std::string path = url.substr(0, pathEnd);
  for (;;) {
    const size_t at = path.find("/../", root);
    if (at == std::string::npos) {
      break;
    }
    if (guarded && at == root) {
      path.erase(at, 3);
      continue;
    }
    const size_t cut = at == 0 ? std::string::npos : path.rfind('/', at - 1);
    if (cut == std::string::npos) {
      break;
    }
    path.erase(cut, at + 3 - cut);
  }
  url.replace(0, pathEnd, path);
}

LinkBase::LinkBase(const std::string& requested) {
  const auto base = ParseUrlCopy(requested);
  origin_ = base->GetProp(key::kProtocol) + "://" + base->GetProp(key::kHostName) + ":" +
            base->GetProp(key::kPort);
  // The directory is the path's: a "/" in the query is none of it.
  const std::string path = requested.substr(0, requested.find_first_of("?#"));
  directory_ = path.substr(0, path.rfind('/'));
}

std::string LinkBase::Resolve(const std::string& location) const {
  std::string resolved =
      !location.empty() && location[0] == '/' ? origin_ + location : directory_ + "/" + location;
  CollapseDotDotSegments(resolved);
  return resolved;
}

std::string ResolveAgainst(const std::string& location, const std::string& requested) {
  return LinkBase(requested).Resolve(location);
}

namespace {

// A server may not point a download at this machine's own files: a "file"
// location is only text to resolve, like any other that is not a network URL.
// One naming a network scheme stays as it is even when it does not parse (a
// port past 65535), so that the next attempt fails on it: resolved, its text
// would go to the first server as a path.
bool IsAbsoluteNetworkLocation(const std::string& location) {
  const std::string scheme = ParseUrlCopy(location)->GetProp(key::kProtocol);
  return IsHttpScheme(scheme) || scheme == "ftp";
}

}  // namespace

std::string LocalFileName(const UrlParts& parts) {
  if (std::string name = SafeLocalName(DecodedUrlName(parts.GetProp(key::kFile))); !name.empty()) {
    return name;
  }
  // A local copy keeps the name of the file it copies, as it is opened.
  if (parts.GetProp(key::kProtocol) == "file") {
    if (std::string name = SafeLocalName(NameOf(parts.GetProp(key::kFullPath))); !name.empty()) {
      return name;
    }
  }
  const std::string joined =
      HostForFileName(parts.GetProp(key::kHostName)) + parts.GetProp(key::kPath);
  const std::string segment = NameOf(joined);
  std::string name = segment.empty() ? "download" : DecodedUrlName(segment) + "-index";
  name += IsHttpScheme(parts.GetProp(key::kProtocol)) ? ".html" : ".txt";
  return SafeLocalName(name);
}

void ChooseNewItemSettings(Item& root, LocalNameRegistry& names, const UrlParts& parts,
                           Item& item) {
  if (item.GetProp(key::kLocal).empty()) {
    const std::string directory = HostSetting(root, parts, key::kLocalPath);
    item.SetProp(key::kLocal, names.MakeUniqueLocalPath(JoinPath(directory, LocalFileName(parts))));
  }
  if (item.GetProp(key::kName).empty()) {
    item.SetProp(key::kName, NameOf(item.GetProp(key::kLocal)));
  }
  const Login hostLogin = HostLogin(root, parts);
  item.SetProp(key::kLogin, FirstNonEmpty({parts.GetProp(key::kUserId), item.GetProp(key::kLogin),
                                           hostLogin.user}));
  item.SetProp(key::kPassword, FirstNonEmpty({parts.GetProp(key::kPassword),
                                              item.GetProp(key::kPassword), hostLogin.password}));
}

void MoveItemToLocalPath(Item& item, const std::string& local) {
  if (item.GetProp(key::kName) == NameOf(item.GetProp(key::kLocal))) {
    item.SetProp(key::kName, NameOf(local));
  }
  item.SetProp(key::kLocal, local);
}

std::string RedirectTarget(const std::string& location, const std::string& current) {
  return IsAbsoluteNetworkLocation(location) ? location : ResolveAgainst(location, current);
}

void RenameForRedirect(LocalNameRegistry& names, Item& item, const std::string& target) {
  RenameForServer(names, item, LocalFileName(*ParseUrlCopy(target)));
}

bool RenameForServer(LocalNameRegistry& names, Item& item, const std::string& fileName) {
  const std::string previous = item.GetProp(key::kLocal);
  const std::string wanted = JoinPath(DirectoryOf(previous), fileName);
  // The same name is kept rather than drawing "name(1)" against itself.
  if (wanted == previous) {
    return false;
  }
  names.Release(previous);
  MoveItemToLocalPath(item, names.MakeUniqueLocalPath(wanted));
  return true;
}

Login HostLogin(Item& root, const UrlParts& parts) {
  return {FirstNonEmpty({parts.GetProp(key::kUserId), HostSetting(root, parts, key::kLogin)}),
          FirstNonEmpty({parts.GetProp(key::kPassword), HostSetting(root, parts, key::kPassword)})};
}

}  // namespace pellmarsh
