#include "store/property_block.h"

#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

namespace pellmarsh {
namespace {

template <typename Number>
Number ReadAt(const char* at) {
  Number number;
  std::memcpy(&number, at, sizeof number);
  return number;
}

template <typename Number>
void WriteAt(char* at, Number number) {
  std::memcpy(at, &number, sizeof number);
}

}  // namespace

KeyId PropertyBlock::KeyAt(size_t index) const {
  return ReadAt<KeyId>(data_.get() + index * sizeof(KeyId));
}

char* PropertyBlock::EndsStart() const {
  return data_.get() + count_ * sizeof(KeyId);
}

uint32_t PropertyBlock::EndAt(size_t index) const {
  return wideEnds_ ? ReadAt<uint32_t>(EndsStart() + index * sizeof(uint32_t))
                   : ReadAt<uint16_t>(EndsStart() + index * sizeof(uint16_t));
}

void PropertyBlock::SetEndAt(size_t index, uint32_t end) {
  if (wideEnds_) {
    WriteAt(EndsStart() + index * sizeof(uint32_t), end);
  } else {
    WriteAt(EndsStart() + index * sizeof(uint16_t), static_cast<uint16_t>(end));
  }
}

const char* PropertyBlock::Texts() const {
  return EndsStart() + count_ * (wideEnds_ ? sizeof(uint32_t) : sizeof(uint16_t));
}

std::string_view PropertyBlock::ValueAt(size_t index) const {
  const uint32_t start = index == 0 ? 0 : EndAt(index - 1);
  return {Texts() + start, EndAt(index) - start};
}

size_t PropertyBlock::LowerBound(KeyId key) const {
  // Some twenty-five keys: a straight look is as quick as a halving one.
  size_t index = 0;
  while (index < count_ && KeyAt(index) < key) {
    ++index;
  }
  return index;
}

std::optional<std::string_view> PropertyBlock::Find(KeyId key) const {
  const size_t index = LowerBound(key);
  if (index == count_ || KeyAt(index) != key) {
    return std::nullopt;
  }
  return ValueAt(index);
}

size_t PropertyBlock::count(std::string_view key) const {
  const std::optional<KeyId> id = KeyTable::Instance().Find(PropKey::FromData(key));
  return id && Find(*id) ? 1 : 0;
}

bool operator==(const PropertyBlock& a, const PropertyBlock& b) {
  if (a.count_ != b.count_ || a.textBytes_ != b.textBytes_) {
    return false;
  }
  for (size_t index = 0; index < a.count_; ++index) {
    if (a.KeyAt(index) != b.KeyAt(index) || a.EndAt(index) != b.EndAt(index)) {
      return false;
    }
  }
  return a.textBytes_ == 0 || std::memcmp(a.Texts(), b.Texts(), a.textBytes_) == 0;
}

void PropertyBlock::Append(KeyId key, std::string_view tail) {
  Rebuild(key, Find(key).value_or(std::string_view()), tail, false);
}

void PropertyBlock::Erase(KeyId key) {
  if (Find(key)) {
    Rebuild(key, {}, {}, true);
  }
}

void PropertyBlock::Clear() {
  data_.reset();
  count_ = 0;
  textBytes_ = 0;
  wideEnds_ = false;
}

void PropertyBlock::Assign(std::span<const Entry> entries) {
  size_t textBytes = 0;
  for (const Entry& entry : entries) {
    textBytes += entry.value.size();
  }
  if (textBytes > std::numeric_limits<uint32_t>::max()) {
    throw std::length_error("an item's properties exceed 4 GiB");
  }
  PropertyBlock block;
  block.count_ = static_cast<uint16_t>(entries.size());
  block.wideEnds_ = textBytes > std::numeric_limits<uint16_t>::max();
  block.textBytes_ = static_cast<uint32_t>(textBytes);
  const size_t endBytes = block.wideEnds_ ? sizeof(uint32_t) : sizeof(uint16_t);
  block.data_ = std::make_unique_for_overwrite<char[]>(entries.size() * (sizeof(KeyId) + endBytes) +
                                                       textBytes);
  char* texts = const_cast<char*>(block.Texts());
  uint32_t end = 0;
  for (size_t index = 0; index < entries.size(); ++index) {
    WriteAt(block.data_.get() + index * sizeof(KeyId), entries[index].key);
    // An empty value may have no bytes at all to copy from.
    if (!entries[index].value.empty()) {
      std::memcpy(texts + end, entries[index].value.data(), entries[index].value.size());
    }
    end += static_cast<uint32_t>(entries[index].value.size());
    block.SetEndAt(index, end);
  }
  *this = std::move(block);
}

void PropertyBlock::ShrinkInPlace(size_t index, std::string_view value) {
  char* start = const_cast<char*>(ValueAt(index).data());
  const uint32_t removed = static_cast<uint32_t>(ValueAt(index).size() - value.size());
  if (!value.empty()) {
    std::memmove(start, value.data(), value.size());
  }
  if (removed == 0) {
    return;
  }
  char* const texts = const_cast<char*>(Texts());
  const uint32_t oldEnd = EndAt(index);
  std::memmove(texts + oldEnd - removed, texts + oldEnd, textBytes_ - oldEnd);
  for (size_t later = index; later < count_; ++later) {
    SetEndAt(later, EndAt(later) - removed);
  }
  textBytes_ -= removed;
}

void PropertyBlock::Rebuild(KeyId key, std::string_view head, std::string_view tail, bool erase) {
  const size_t at = LowerBound(key);
  const bool present = at < count_ && KeyAt(at) == key;
  if (present && !erase && tail.empty() && head.size() <= ValueAt(at).size()) {
    // The common writes, a counter of the same width, and a value made
    // shorter, as the load-time reset does to every item: in place. A new
    // block each time would leave a hole of the old one's size per item.
    ShrinkInPlace(at, head);
    return;
  }
  // Two pieces make the new value without a copy of the old text first.
  std::string joined;
  if (!tail.empty()) {
    joined.reserve(head.size() + tail.size());
    joined.append(head).append(tail);
  }
  const std::string_view value = tail.empty() ? head : std::string_view(joined);
  std::vector<Entry> entries;
  entries.reserve(count_ + 1);
  for (size_t index = 0; index < count_; ++index) {
    if (index == at && !erase) {
      entries.push_back({key, value});
    }
    if (index != at || !present) {
      entries.push_back({KeyAt(index), ValueAt(index)});
    }
  }
  if (at == count_ && !erase) {
    entries.push_back({key, value});
  }
  Assign(entries);
}

}  // namespace pellmarsh
