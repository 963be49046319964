#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/socket.h"

namespace pellmarsh {

struct LookupResult {
  LookupResult() = default;
  // One IPv4 address (host byte order) found, or, with an error, none.
  LookupResult(uint32_t ipv4Address, int lookupError);
  explicit LookupResult(std::vector<SocketAddress> found) : addresses(std::move(found)) {}

  std::vector<SocketAddress> addresses;  // both families, in the order to try them; port 0
  int error = 0;                         // 0, or 11001 not found, 11002 name server failure,
                                         // 11003 unrecoverable, 11004 no address
};

// Host-name lookups. Both calls block: never call them holding the tree lock.
// Tests answer with their own table, so no name server is ever needed.
class Resolver {
 public:
  virtual ~Resolver() = default;
  virtual LookupResult Lookup(const std::string& hostName) = 0;
  // The address a reverse lookup of a numeric address yields, when the address
  // has a name; otherwise an error.
  virtual LookupResult ReverseLookup(const SocketAddress& address) = 0;
};

class SystemResolver final : public Resolver {
 public:
  LookupResult Lookup(const std::string& hostName) override;
  LookupResult ReverseLookup(const SocketAddress& address) override;
};

// The addresses in the order connection racing tries them: the families take
// turns, IPv6 first, each keeping its own order; a repeated address goes.
std::vector<SocketAddress> OrderForRacing(const std::vector<SocketAddress>& addresses);

}  // namespace pellmarsh
