#pragma once

#include <cstdint>
#include <functional>

namespace pellmarsh {

// NetworkManager's NMMetered: what it knows, or guesses, of whether the
// primary connection is paid by the byte.
enum class NetworkMetered : uint32_t {
  kUnknown = 0,
  kYes = 1,
  kNo = 2,
  kGuessYes = 3,
  kGuessNo = 4
};

// A guess counts as what it guesses; unknown counts as not metered, as most
// wired and wireless links report it.
constexpr bool CountsAsMetered(uint32_t nmMetered) {
  return nmMetered == static_cast<uint32_t>(NetworkMetered::kYes) ||
         nmMetered == static_cast<uint32_t>(NetworkMetered::kGuessYes);
}

// Follows whether the system's primary connection is metered.
class MeteredWatch {
 public:
  virtual ~MeteredWatch() = default;
  // Calls `changed` on the window thread once the state is known and at each
  // change after; never without a network service that tells.
  virtual void Start(std::function<void(bool metered)> changed) = 0;
};

}  // namespace pellmarsh
