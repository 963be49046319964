#pragma once

#include <cstdint>
#include <string>

namespace pellmarsh {

struct LookupResult {
  uint32_t address = 0;  // host byte order; the first IPv4 address found
  int error = 0;         // 0, or 11001 not found, 11002 name server failure,
                         // 11003 unrecoverable, 11004 no IPv4 address
};

// Host-name lookups. Both calls block: never call them holding the tree lock.
// Tests answer with their own table, so no name server is ever needed.
class Resolver {
 public:
  virtual ~Resolver() = default;
  virtual LookupResult Lookup(const std::string& hostName) = 0;
  // The address a reverse lookup of a numeric address yields, when the address
  // has a name; otherwise an error.
  virtual LookupResult ReverseLookup(uint32_t address) = 0;
};

class SystemResolver final : public Resolver {
 public:
  LookupResult Lookup(const std::string& hostName) override;
  LookupResult ReverseLookup(uint32_t address) override;
};

}  // namespace pellmarsh
