#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/keys.h"

namespace pellmarsh {

using KeyId = uint16_t;

// Every property key any item holds, each kept once for the whole program, so
// an item stores a key's small id rather than its text. Items outside the tree
// are used on other threads without the tree lock: finding a key takes no
// lock, adding one takes the table's own. Keys are never taken out.
class KeyTable {
 public:
  // Keys first met in data (a data file's unknown keys), and the bytes of
  // their names, that the table takes: a file of random keys must not grow it
  // without bound.
  static constexpr size_t kMaxDataKeys = 1024;
  static constexpr size_t kMaxDataKeyBytes = 64 * 1024;

  static KeyTable& Instance();

  // Nothing when no item ever held the key.
  std::optional<KeyId> Find(PropKey key) const;
  // The key's id, added when new; nothing when the key comes from data and
  // the table holds all it takes from data.
  std::optional<KeyId> Intern(PropKey key);
  std::string_view Text(KeyId id) const { return byId_[id].load(std::memory_order_acquire)->text; }

 private:
  struct Entry {
    std::string text;
    uint32_t hash;
    KeyId id;
  };
  static constexpr size_t kMaxKeys = 2048;
  // A power of two, twice the keys, so a probe meets an empty slot soon.
  static constexpr size_t kSlots = 2 * kMaxKeys;

  std::array<std::atomic<const Entry*>, kSlots> slots_{};
  std::array<std::atomic<const Entry*>, kMaxKeys> byId_{};
  std::mutex addLock_;
  std::vector<std::unique_ptr<Entry>> entries_;
  size_t dataKeys_ = 0;
  size_t dataKeyBytes_ = 0;
};

}  // namespace pellmarsh
