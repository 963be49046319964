#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "store/key_table.h"

namespace pellmarsh {

// Walks a container by index: what `container.At(index)` gives.
template <typename Container>
class IndexIterator {
 public:
  IndexIterator(const Container* container, size_t index) : container_(container), index_(index) {}
  auto operator*() const { return container_->At(index_); }
  IndexIterator& operator++() {
    ++index_;
    return *this;
  }
  friend bool operator==(const IndexIterator&, const IndexIterator&) = default;

 private:
  const Container* container_;
  size_t index_;
};

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
  using const_iterator = IndexIterator<PropertyBlock>;

  PropertyBlock() = default;
  PropertyBlock(PropertyBlock&&) = default;
  PropertyBlock& operator=(PropertyBlock&&) = default;

  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, count_}; }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  size_t count(std::string_view key) const;
  friend bool operator==(const PropertyBlock& a, const PropertyBlock& b);

  Property At(size_t index) const {
    return {KeyTable::Instance().Text(KeyAt(index)), ValueAt(index)};
  }
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
  char* EndsStart() const;
  uint32_t EndAt(size_t index) const;
  void SetEndAt(size_t index, uint32_t end);
  const char* Texts() const;
  // The value at index replaced by one no longer, the block's room kept.
  void ShrinkInPlace(size_t index, std::string_view value);
  // The block with the key's value made head + tail, or without the key.
  void Rebuild(KeyId key, std::string_view head, std::string_view tail, bool erase);

  std::unique_ptr<char[]> data_;
  uint32_t textBytes_ = 0;
  // No more keys than the key table holds.
  uint16_t count_ = 0;
  // Where values end is kept in 16 bits while the values fit: 50 bytes less
  // for an item of twenty-five properties.
  bool wideEnds_ = false;
};

}  // namespace pellmarsh
