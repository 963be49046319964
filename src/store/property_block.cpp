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

uint32_t PropertyBlock::EndAt(size_t index) const {
  return ReadAt<uint32_t>(data_.get() + count_ * sizeof(KeyId) + index * sizeof(uint32_t));
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
  const size_t bytes = a.count_ * (sizeof(KeyId) + sizeof(uint32_t)) + a.textBytes_;
  return bytes == 0 || std::memcmp(a.data_.get(), b.data_.get(), bytes) == 0;
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
}

void PropertyBlock::Assign(std::span<const Entry> entries) {
  size_t textBytes = 0;
  for (const Entry& entry : entries) {
    textBytes += entry.value.size();
  }
  if (textBytes > std::numeric_limits<uint32_t>::max()) {
    throw std::length_error("an item's properties exceed 4 GiB");
  }
  const size_t count = entries.size();
  auto data = std::make_unique_for_overwrite<char[]>(count * (sizeof(KeyId) + sizeof(uint32_t)) +
                                                     textBytes);
  char* texts = data.get() + count * (sizeof(KeyId) + sizeof(uint32_t));
  uint32_t end = 0;
  for (size_t index = 0; index < count; ++index) {
    WriteAt(data.get() + index * sizeof(KeyId), entries[index].key);
    std::memcpy(texts + end, entries[index].value.data(), entries[index].value.size());
    end += static_cast<uint32_t>(entries[index].value.size());
    WriteAt(data.get() + count * sizeof(KeyId) + index * sizeof(uint32_t), end);
  }
  data_ = std::move(data);
  count_ = static_cast<uint32_t>(count);
  textBytes_ = end;
}

void PropertyBlock::Rebuild(KeyId key, std::string_view head, std::string_view tail, bool erase) {
  const size_t at = LowerBound(key);
  const bool present = at < count_ && KeyAt(at) == key;
  if (present && !erase && tail.empty() && head.size() == ValueAt(at).size()) {
    // The common write, a counter of the same width: in place.
    std::memmove(const_cast<char*>(ValueAt(at).data()), head.data(), head.size());
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
