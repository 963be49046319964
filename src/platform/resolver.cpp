#include "platform/resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <utility>

namespace pellmarsh {
namespace {

int ResolverError(int error) {
  switch (error) {
    case EAI_NONAME:
      return 11001;
    case EAI_AGAIN:
      return 11002;
    case EAI_FAIL:
      return 11003;
    default:
      return 11004;
  }
}

}  // namespace

LookupResult::LookupResult(uint32_t ipv4Address, int lookupError) : error(lookupError) {
  if (lookupError == 0) {
    addresses.push_back({ipv4Address, 0});
  }
}

LookupResult SystemResolver::Lookup(const std::string& hostName) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int error = ::getaddrinfo(hostName.c_str(), nullptr, &hints, &found);
  if (error != 0) {
    return {0, ResolverError(error)};
  }
  std::vector<SocketAddress> addresses;
  for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET || entry->ai_family == AF_INET6) {
      addresses.push_back(SocketAddressFrom(*entry->ai_addr));
    }
  }
  ::freeaddrinfo(found);
  if (addresses.empty()) {
    return {0, 11004};
  }
  return LookupResult(OrderForRacing(addresses));
}

LookupResult SystemResolver::ReverseLookup(const SocketAddress& address) {
  sockaddr_storage native{};
  socklen_t length = 0;
  if (address.ipv6()) {
    auto& in6 = reinterpret_cast<sockaddr_in6&>(native);
    in6.sin6_family = AF_INET6;
    std::copy(address.address6.begin(), address.address6.end(), in6.sin6_addr.s6_addr);
    in6.sin6_scope_id = address.scopeId;
    length = sizeof in6;
  } else {
    auto& in4 = reinterpret_cast<sockaddr_in&>(native);
    in4.sin_family = AF_INET;
    in4.sin_addr.s_addr = htonl(address.address);
    length = sizeof in4;
  }
  char name[NI_MAXHOST];
  const int error = ::getnameinfo(reinterpret_cast<const sockaddr*>(&native), length, name,
                                  sizeof name, nullptr, 0, NI_NAMEREQD);
  if (error != 0) {
    return {0, ResolverError(error)};
  }
  // A reverse entry names the address it was asked about; connecting goes there,
  // never to whatever a forward lookup of the name might give.
  SocketAddress same = address;
  same.port = 0;
  return LookupResult(std::vector<SocketAddress>{same});
}

std::vector<SocketAddress> OrderForRacing(const std::vector<SocketAddress>& addresses) {
  std::vector<SocketAddress> ipv6;
  std::vector<SocketAddress> ipv4;
  for (const SocketAddress& address : addresses) {
    std::vector<SocketAddress>& family = address.ipv6() ? ipv6 : ipv4;
    if (std::find(family.begin(), family.end(), address) == family.end()) {
      family.push_back(address);
    }
  }
  std::vector<SocketAddress> ordered;
  ordered.reserve(ipv6.size() + ipv4.size());
  for (size_t index = 0; index < std::max(ipv6.size(), ipv4.size()); ++index) {
    if (index < ipv6.size()) {
      ordered.push_back(ipv6[index]);
    }
    if (index < ipv4.size()) {
      ordered.push_back(ipv4[index]);
    }
  }
  return ordered;
}

}  // namespace pellmarsh
