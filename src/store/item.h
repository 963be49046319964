#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/keys.h"
#include "store/property_block.h"

namespace pellmarsh {

// One node of the item tree: named text properties and an owning, ordered list
// of children. Numbers are kept as decimal text and converted on every access.
// Not thread-safe by itself; every shared item is used under the tree lock.
class Item {
 public:
  // The properties as pairs of texts in a fixed order: those in the block
  // (a packed log among them) and then a log kept as text.
  class Properties {
   public:
    using Property = PropertyBlock::Property;
    using const_iterator = IndexIterator<Properties>;
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }
    size_t size() const { return block_.size() + (log_ ? 1 : 0); }
    bool empty() const { return size() == 0; }
    size_t count(std::string_view key) const;
    Property At(size_t index) const;
    friend bool operator==(const Properties& a, const Properties& b);

   private:
    friend class Item;
    Properties(const PropertyBlock& block, const std::string* log) : block_(block), log_(log) {}
    const PropertyBlock& block_;
    const std::string* log_;
  };

  Item() = default;
  Item(const Item&) = delete;
  Item& operator=(const Item&) = delete;
  // Destroys the property values first, then the children from the last to the first.
  virtual ~Item();

  // Absent keys read as the empty text or 0.
  std::string GetProp(PropKey key) const;
  // Whether the item holds the key, even with the empty text.
  bool HasProp(PropKey key) const;
  // Whether the item holds a text that is not empty; cheap for a packed log.
  bool HasText(PropKey key) const;
  // The text without a copy, for a look at a long value (a log); empty when
  // absent. Valid until the property next changes. A log the item keeps
  // packed is unpacked into `unpacked`.
  std::string_view ViewProp(PropKey key, std::string& unpacked) const;
  // Every write, even of the same text, marks the item changed. A key from
  // data that the key table no longer takes is not kept (see KeyTable).
  void SetProp(PropKey key, std::string_view value);
  // SetProp with the old text followed by `tail`, without copying the old text:
  // a log grows a line at a time for as long as the item lives.
  void AppendProp(PropKey key, std::string_view tail);

  int32_t GetPropInt(PropKey key) const;
  void SetPropInt(PropKey key, int32_t value);
  // For byte counts and times; values inside 32 bits read and write as above.
  int64_t GetPropInt64(PropKey key) const;
  void SetPropInt64(PropKey key, int64_t value);
  double GetPropDouble(PropKey key) const;
  void SetPropDouble(PropKey key, double value);

  // A number that is not one of the enum's values reads as itself and so
  // matches none of them.
  template <typename Enum>
  Enum GetPropEnum(EnumKey<Enum> key) const {
    return static_cast<Enum>(GetPropInt(key));
  }
  template <typename Enum>
  void SetPropEnum(EnumKey<Enum> key, Enum value) {
    SetPropInt(key, static_cast<int32_t>(value));
  }

  Properties AllProps() const { return {properties_, log_.get()}; }
  // Replaces every property at once, for a loader: entries in ascending key
  // order without repeats, and the log's text apart. A log is packed unless
  // a transfer runs for the item.
  void LoadProps(std::span<const PropertyBlock::Entry> entries,
                 std::optional<std::string_view> log);
  // Empties the property map and the child list (the loader starts from this).
  void Clear();

  int ChildCount() const { return static_cast<int>(children_.size()); }
  Item* ChildAt(int index) const;
  Item& AddChild(std::unique_ptr<Item> child);
  // Returns nothing when the index holds no child.
  std::unique_ptr<Item> DetachChildAt(int index);
  // Searches from the last child down; -1 when the item is not a child.
  int IndexOfChild(const Item* child) const;
  // Returns nothing (and changes nothing) when the item is not a child.
  std::unique_ptr<Item> DetachChild(const Item* child);
  Item* Parent() const { return parent_; }

  // Depth-first: this item, then the children from the youngest to the oldest.
  Item* FindByName(std::string_view name);
  // Direct children only, youngest first; nothing when none matches.
  Item* FindChild(std::string_view name) const;
  Item& FindOrCreateChild(std::string_view name);
  // Pre-order, younger children first. The callback must not add or remove
  // children of the item being walked.
  void ForEach(const std::function<void(Item&)>& visit);
  // The same walk over only the items whose "status" lets them change on their
  // own (queued, waiting to retry, running, or asked to change). It visits
  // nothing else, so the scheduler's walk costs the same over a list of ten
  // finished items or of a million. The callback must not change any status.
  void ForEachLive(const std::function<void(Item&)>& visit);
  // How many such items this subtree holds, this item included.
  int liveCount() const { return liveBelow_; }
  // Grows with every status written in this subtree and every live item
  // added to it or taken away: while it stands, a walk of the live items
  // finds them as the last walk left them.
  uint32_t statusChanges() const { return statusChanges_; }

  bool changed() const { return changed_; }
  void ClearChanged() { changed_ = false; }
  // Grows with every write to a child's properties and every child added or
  // taken away, so a view can tell that nothing here changed without
  // visiting a hundred thousand children.
  uint64_t childChanges() const { return childChanges_; }
  // The same without the writes to children that change on their own (and
  // stay so): while it stands, only those children can have changed.
  uint64_t quietChildChanges() const { return quietChildChanges_; }

 private:
  bool HasName(std::string_view name) const;
  // Keeps the live counts of this item and its ancestors after a write.
  void NoteWrite(PropKey key);
  // Keeps the log deflated while no transfer writes to it: most items of a
  // long list are finished, and their logs would be most of its memory. A
  // status written outside a transfer packs it; a write to the log unpacks
  // it, and packs it again in an item of the tree that runs no transfer (a
  // transfer's last line, the virus checker's). Items outside the tree
  // belong to a transfer that writes line after line.
  void PackLog();
  void RepackLogInTree();
  void UnpackLog();
  // The packed log's text; empty when there is none.
  std::string PackedLogText() const;
  std::optional<std::string_view> FindValue(PropKey key) const;
  void AddLive(int delta);
  void NoteStatusChange();
  void IndexLiveChild(Item& child, bool live);

  Item* parent_ = nullptr;
  PropertyBlock properties_;
  // The log while it can grow, apart from the block: it grows a line at a time.
  std::unique_ptr<std::string> log_;
  std::vector<std::unique_ptr<Item>> children_;
  uint64_t childChanges_ = 0;
  uint64_t quietChildChanges_ = 0;
  // Gives children their order in the live index: a child added later is younger.
  uint64_t sequence_ = 0;
  // The children whose subtrees hold a live item, by sequence; made when first needed.
  std::unique_ptr<std::map<uint64_t, Item*>> liveChildren_;
  // Side by side, so that a hundred thousand items lose no room to padding.
  int liveBelow_ = 0;
  uint32_t statusChanges_ = 0;
  bool changed_ = false;
  bool live_ = false;
};

// Names of items compare ignoring the case of ASCII letters; other bytes exactly.
bool NamesEqual(std::string_view a, std::string_view b);

}  // namespace pellmarsh
