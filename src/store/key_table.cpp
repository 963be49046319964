#include "store/key_table.h"

namespace pellmarsh {

KeyTable& KeyTable::Instance() {
  static KeyTable table;
  return table;
}

std::optional<KeyId> KeyTable::Find(PropKey key) const {
  for (size_t slot = key.hash() & (kSlots - 1);; slot = (slot + 1) & (kSlots - 1)) {
    const Entry* entry = slots_[slot].load(std::memory_order_acquire);
    if (!entry) {
      return std::nullopt;
    }
    if (entry->hash == key.hash() && entry->text == key.text()) {
      return entry->id;
    }
  }
}

std::optional<KeyId> KeyTable::Intern(PropKey key) {
  if (std::optional<KeyId> id = Find(key)) {
    return id;
  }
  std::lock_guard<std::mutex> lock(addLock_);
  // Only adders write slots, so an empty slot found here stays empty.
  size_t slot = key.hash() & (kSlots - 1);
  for (; const Entry* entry = slots_[slot].load(std::memory_order_acquire);
       slot = (slot + 1) & (kSlots - 1)) {
    if (entry->hash == key.hash() && entry->text == key.text()) {
      return entry->id;
    }
  }
  if (entries_.size() == kMaxKeys ||
      (key.fromData() &&
       (dataKeys_ == kMaxDataKeys || dataKeyBytes_ + key.text().size() > kMaxDataKeyBytes))) {
    return std::nullopt;
  }
  if (key.fromData()) {
    ++dataKeys_;
    dataKeyBytes_ += key.text().size();
  }
  const auto id = static_cast<KeyId>(entries_.size());
  entries_.push_back(std::make_unique<Entry>(Entry{std::string(key.text()), key.hash(), id}));
  byId_[id].store(entries_.back().get(), std::memory_order_release);
  slots_[slot].store(entries_.back().get(), std::memory_order_release);
  return id;
}

}  // namespace pellmarsh
