#include "platform/resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

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

LookupResult SystemResolver::Lookup(const std::string& hostName) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int error = ::getaddrinfo(hostName.c_str(), nullptr, &hints, &found);
  if (error != 0) {
    return {0, ResolverError(error)};
  }
  LookupResult result{0, 11004};
  for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET) {
      result = {ntohl(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr), 0};
      break;
    }
  }
  ::freeaddrinfo(found);
  return result;
}

LookupResult SystemResolver::ReverseLookup(uint32_t address) {
  sockaddr_in native{};
  native.sin_family = AF_INET;
  native.sin_addr.s_addr = htonl(address);
  char name[NI_MAXHOST];
  const int error = ::getnameinfo(reinterpret_cast<const sockaddr*>(&native), sizeof native, name,
                                  sizeof name, nullptr, 0, NI_NAMEREQD);
  if (error != 0) {
    return {0, ResolverError(error)};
  }
  // A reverse entry names the address it was asked about; connecting goes there,
  // never to whatever a forward lookup of the name might give.
  return {address, 0};
}

}  // namespace pellmarsh
