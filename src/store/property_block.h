#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "store/key_table.h"

namespace pellmarsh {

// An item's properties in one allocation: the key ids in ascending order, where
// each value ends, then the values' bytes. A long queue holds a hundred
// thousand items of some twenty-five properties each, and a string each for
// key and value cost 64 bytes a property before its text.
class PropertyBlock {
 public:
  struct Entry {
    KeyId key;
    std::string_view value;
  };
  // What iterating yields: the key's text and the value, valid until the
  // block next changes.
  struct Property {
    std::string_view key;
    std::string_view value;
  };
  class const_iterator {
   public:
    const_iterator(const PropertyBlock* block, size_t index) : block_(block), index_(index) {}
    Property operator*() const {
      return {KeyTable::Instance().Text(block_->KeyAt(index_)), block_->ValueAt(index_)};
    }
    const_iterator& operator++() {
      ++index_;
      return *this;
    }
    friend bool operator==(const const_iterator&, const const_iterator&) = default;

   private:
    const PropertyBlock* block_;
    size_t index_;
  };

  PropertyBlock() = default;
  PropertyBlock(PropertyBlock&&) = default;
  PropertyBlock& operator=(PropertyBlock&&) = default;

  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, count_}; }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  size_t count(std::string_view key) const;
  friend bool operator==(const PropertyBlock& a, const PropertyBlock& b);

  KeyId KeyAt(size_t index) const;
  std::string_view ValueAt(size_t index) const;
  std::optional<std::string_view> Find(KeyId key) const;

  // `value` and `tail` may point into this block.
  void Set(KeyId key, std::string_view value) { Rebuild(key, value, {}, false); }
  void Append(KeyId key, std::string_view tail);
  void Erase(KeyId key);
  void Clear();
  // All at once, from entries in ascending key order without repeats.
  void Assign(std::span<const Entry> entries);

 private:
  // The index of the key, or where it would go.
  size_t LowerBound(KeyId key) const;
  uint32_t EndAt(size_t index) const;
  const char* Texts() const { return data_.get() + count_ * (sizeof(KeyId) + sizeof(uint32_t)); }
  // The block with the key's value made head + tail, or without the key.
  void Rebuild(KeyId key, std::string_view head, std::string_view tail, bool erase);

  std::unique_ptr<char[]> data_;
  uint32_t count_ = 0;
  uint32_t textBytes_ = 0;
};

}  // namespace pellmarsh
