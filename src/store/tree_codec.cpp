#include "store/tree_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "store/key_table.h"

namespace pellmarsh {
namespace {

// Real trees are a handful of levels deep; a garbled file must not drive the
// recursive tree operations into a stack overflow.
constexpr int kMaxDepth = 64;

// Writes into a buffer already sized for the whole tree.
class RecordWriter {
 public:
  explicit RecordWriter(char* out) : cursor_(out) {}

  void Record(const Item& item) {
    U32(static_cast<uint32_t>(item.AllProps().size()));
    for (const auto& [key, value] : item.AllProps()) {
      Text(key);
      Text(value);
    }
    U32(static_cast<uint32_t>(item.ChildCount()));
    for (int index = 0; index < item.ChildCount(); ++index) {
      Record(*item.ChildAt(index));
    }
  }

 private:
  void U32(uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
      *cursor_++ = static_cast<char>((value >> shift) & 0xFF);
    }
  }

  void Text(std::string_view text) {
    U32(static_cast<uint32_t>(text.size() + 1));
    if (!text.empty()) {  // an empty view may point nowhere
      std::memcpy(cursor_, text.data(), text.size());
    }
    cursor_ += text.size();
    *cursor_++ = '\0';
  }

  char* cursor_;
};

size_t RecordSize(const Item& item) {
  size_t size = 8;
  for (const auto& [key, value] : item.AllProps()) {
    size += 8 + key.size() + 1 + value.size() + 1;
  }
  for (int index = 0; index < item.ChildCount(); ++index) {
    size += RecordSize(*item.ChildAt(index));
  }
  return size;
}

class RecordReader {
 public:
  explicit RecordReader(std::string_view bytes) : bytes_(bytes) {}

  // Returns false once something stopped the reading; the item keeps what it got.
  bool ReadRecord(Item& item, int depth) {
    const std::optional<uint32_t> propertyCount = ReadU32();
    if (!propertyCount) {
      return false;
    }
    if (!ReadProperties(item, *propertyCount)) {
      return false;
    }
    const std::optional<uint32_t> childCount = ReadU32();
    if (!childCount) {
      return false;
    }
    if (*childCount > 0 && depth == kMaxDepth) {
      return Stop("the items are nested more deeply than any real tree");
    }
    for (uint32_t index = 0; index < *childCount; ++index) {
      // A child joins the tree once read; one cut off before it held anything
      // would be an empty item that nothing can show or delete.
      auto child = std::make_unique<Item>();
      const bool whole = ReadRecord(*child, depth + 1);
      if (whole || !child->AllProps().empty() || child->ChildCount() > 0) {
        item.AddChild(std::move(child));
        ++itemsKept_;
      }
      if (!whole) {
        return false;
      }
    }
    return true;
  }

  size_t position() const { return position_; }
  size_t propertiesLeftOut() const { return propertiesLeftOut_; }
  size_t itemsKept() const { return itemsKept_; }
  const std::string& problem() const { return problem_; }

 private:
  bool ReadProperties(Item& item, uint32_t count) {
    entries_.clear();
    std::optional<std::string_view> log;
    bool whole = true;
    for (uint32_t index = 0; index < count; ++index) {
      const std::optional<std::string_view> key = ReadText();
      const std::optional<std::string_view> value = key ? ReadText() : std::nullopt;
      if (!value) {
        whole = false;
        break;
      }
      if (*key == key::kLog.text()) {
        log = value;
      } else if (const std::optional<KeyId> id =
                     KeyTable::Instance().Intern(PropKey::FromData(*key))) {
        entries_.push_back({*id, *value});
      } else {
        ++propertiesLeftOut_;
      }
    }
    // A key written twice keeps its last value, as writing them in turn would.
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const auto& a, const auto& b) { return a.key < b.key; });
    auto last = std::unique(entries_.rbegin(), entries_.rend(),
                            [](const auto& a, const auto& b) { return a.key == b.key; });
    item.LoadProps(std::span(last.base(), entries_.end()), log);
    return whole;
  }

  bool Stop(const char* why) {
    if (problem_.empty()) {
      problem_ = why;
    }
    return false;
  }

  std::optional<uint32_t> ReadU32() {
    if (bytes_.size() - position_ < 4) {
      Stop("the file ends in the middle of an item");
      return std::nullopt;
    }
    uint32_t value = 0;
    for (int index = 3; index >= 0; --index) {
      value = (value << 8) | static_cast<unsigned char>(bytes_[position_ + index]);
    }
    position_ += 4;
    return value;
  }

  // A stored text is its length including the zero byte, then the bytes; the
  // last byte is dropped whatever it holds.
  std::optional<std::string_view> ReadText() {
    const std::optional<uint32_t> length = ReadU32();
    if (!length) {
      return std::nullopt;
    }
    if (*length == 0) {
      Stop("a text has the impossible length 0");
      return std::nullopt;
    }
    if (*length > bytes_.size() - position_) {
      Stop("a text runs past the end of the file");
      return std::nullopt;
    }
    std::string_view text = bytes_.substr(position_, *length - 1);
    position_ += *length;
    return text;
  }

  std::string_view bytes_;
  size_t position_ = 0;
  size_t itemsKept_ = 0;  // below the root
  size_t propertiesLeftOut_ = 0;
  std::vector<PropertyBlock::Entry> entries_;
  std::string problem_;
};

}  // namespace

void SaveTree(const Item& item, std::string& out) {
  // One buffer of the exact size: growing tens of megabytes step by step costs
  // more in copies and page faults than the writing itself.
  out.resize(RecordSize(item));
  RecordWriter(out.data()).Record(item);
}

std::string SaveTree(const Item& item) {
  std::string out;
  SaveTree(item, out);
  return out;
}

TreeLoadResult LoadTree(Item& item, std::string_view bytes) {
  item.Clear();
  RecordReader reader(bytes);
  TreeLoadResult result;
  result.complete = reader.ReadRecord(item, 0);
  result.itemsKept = reader.itemsKept();
  result.bytesUsed = reader.position();
  result.problem = reader.problem();
  if (result.complete && result.bytesUsed != bytes.size()) {
    result.complete = false;
    result.problem = "unexpected bytes follow the end of the tree";
  }
  if (result.complete && reader.propertiesLeftOut() > 0) {
    result.complete = false;
    result.problem = std::to_string(reader.propertiesLeftOut()) +
                     " properties were left out, since the file names more different keys "
                     "than Pellmarsh keeps (" +
                     std::to_string(KeyTable::kMaxDataKeys) + ")";
  }
  return result;
}

}  // namespace pellmarsh
