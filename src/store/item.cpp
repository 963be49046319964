#include "store/item.h"

#include <algorithm>
#include <atomic>
#include <limits>

#include "store/ascii_case.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/number_text.h"

namespace pellmarsh {
namespace {

std::atomic<uint64_t> nextSequence{1};

}  // namespace

bool NamesEqual(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

Item::~Item() {
  Clear();
}

void Item::Clear() {
  AddLive(-liveBelow_);
  live_ = false;
  liveChildren_.reset();
  properties_.entries_.clear();
  ++childChanges_;
  ++quietChildChanges_;
  while (!children_.empty()) {
    // Let go first, so the child's own clearing does not count it out again.
    children_.back()->parent_ = nullptr;
    children_.pop_back();
  }
}

void Item::NoteWrite(PropKey key) {
  changed_ = true;
  const bool wasLive = live_;
  if (key == key::kStatus) {
    const bool live = ChangesOnItsOwn(GetPropInt(key::kStatus));
    if (live != live_) {
      live_ = live;
      AddLive(live ? 1 : -1);
    }
  }
  if (parent_) {
    ++parent_->childChanges_;
    if (!wasLive || !live_) {
      ++parent_->quietChildChanges_;
    }
  }
}

void Item::AddLive(int delta) {
  for (Item* item = this; item && delta != 0; item = item->parent_) {
    const bool had = item->liveBelow_ > 0;
    item->liveBelow_ += delta;
    if (item->parent_ && had != (item->liveBelow_ > 0)) {
      item->parent_->IndexLiveChild(*item, !had);
    }
  }
}

void Item::IndexLiveChild(Item& child, bool live) {
  if (live) {
    if (!liveChildren_) {
      liveChildren_ = std::make_unique<std::map<uint64_t, Item*>>();
    }
    liveChildren_->emplace(child.sequence_, &child);
  } else if (liveChildren_) {
    liveChildren_->erase(child.sequence_);
  }
}

namespace {

bool KeyBefore(const Item::Property& entry, std::string_view key) {
  return entry.key < key;
}

}  // namespace

const std::string* Item::Properties::Find(std::string_view key) const {
  const auto found = std::lower_bound(entries_.begin(), entries_.end(), key, KeyBefore);
  return found != entries_.end() && found->key == key ? &found->value : nullptr;
}

std::string& Item::Properties::Slot(std::string_view key) {
  auto found = std::lower_bound(entries_.begin(), entries_.end(), key, KeyBefore);
  if (found == entries_.end() || found->key != key) {
    found = entries_.insert(found, Property{std::string(key), std::string()});
  }
  return found->value;
}

const std::string* Item::FindProp(PropKey key) const {
  return properties_.Find(key.text());
}

bool Item::HasName(std::string_view name) const {
  const std::string* own = FindProp(key::kName);
  return NamesEqual(own ? std::string_view(*own) : std::string_view(), name);
}

std::string Item::GetProp(PropKey key) const {
  const std::string* value = FindProp(key);
  return value ? *value : std::string();
}

void Item::SetProp(PropKey key, std::string_view value) {
  properties_.Slot(key.text()).assign(value);
  NoteWrite(key);
}

void Item::AppendProp(PropKey key, std::string_view tail) {
  properties_.Slot(key.text()).append(tail);
  NoteWrite(key);
}

int32_t Item::GetPropInt(PropKey key) const {
  const int64_t value = GetPropInt64(key);
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

void Item::SetPropInt(PropKey key, int32_t value) {
  SetProp(key, FormatInteger(value));
}

int64_t Item::GetPropInt64(PropKey key) const {
  const std::string* value = FindProp(key);
  return value ? ParseLeadingInteger(*value) : 0;
}

void Item::SetPropInt64(PropKey key, int64_t value) {
  SetProp(key, FormatInteger(value));
}

double Item::GetPropDouble(PropKey key) const {
  const std::string* value = FindProp(key);
  return value ? ParseLeadingReal(*value) : 0.0;
}

void Item::SetPropDouble(PropKey key, double value) {
  SetProp(key, FormatReal(value));
}

Item* Item::ChildAt(int index) const {
  if (index < 0 || index >= ChildCount()) {
    return nullptr;
  }
  return children_[static_cast<size_t>(index)].get();
}

Item& Item::AddChild(std::unique_ptr<Item> child) {
  child->parent_ = this;
  child->sequence_ = nextSequence.fetch_add(1, std::memory_order_relaxed);
  if (child->liveBelow_ > 0) {
    IndexLiveChild(*child, true);
    AddLive(child->liveBelow_);
  }
  children_.push_back(std::move(child));
  ++childChanges_;
  ++quietChildChanges_;
  return *children_.back();
}

std::unique_ptr<Item> Item::DetachChildAt(int index) {
  if (index < 0 || index >= ChildCount()) {
    return nullptr;
  }
  std::unique_ptr<Item> child = std::move(children_[static_cast<size_t>(index)]);
  children_.erase(children_.begin() + index);
  ++childChanges_;
  ++quietChildChanges_;
  child->parent_ = nullptr;
  if (child->liveBelow_ > 0) {
    IndexLiveChild(*child, false);
    AddLive(-child->liveBelow_);
  }
  return child;
}

int Item::IndexOfChild(const Item* child) const {
  for (int index = ChildCount() - 1; index >= 0; --index) {
    if (children_[static_cast<size_t>(index)].get() == child) {
      return index;
    }
  }
  return -1;
}

std::unique_ptr<Item> Item::DetachChild(const Item* child) {
  const int index = IndexOfChild(child);
  return index < 0 ? nullptr : DetachChildAt(index);
}

Item* Item::FindByName(std::string_view name) {
  if (HasName(name)) {
    return this;
  }
  for (auto child = children_.rbegin(); child != children_.rend(); ++child) {
    if (Item* found = (*child)->FindByName(name)) {
      return found;
    }
  }
  return nullptr;
}

Item* Item::FindChild(std::string_view name) const {
  for (auto child = children_.rbegin(); child != children_.rend(); ++child) {
    if ((*child)->HasName(name)) {
      return child->get();
    }
  }
  return nullptr;
}

Item& Item::FindOrCreateChild(std::string_view name) {
  if (Item* found = FindChild(name)) {
    return *found;
  }
  auto child = std::make_unique<Item>();
  child->SetProp(key::kName, name);
  return AddChild(std::move(child));
}

void Item::ForEach(const std::function<void(Item&)>& visit) {
  visit(*this);
  for (auto child = children_.rbegin(); child != children_.rend(); ++child) {
    (*child)->ForEach(visit);
  }
}

void Item::ForEachLive(const std::function<void(Item&)>& visit) {
  if (live_) {
    visit(*this);
  }
  if (liveChildren_) {
    for (auto child = liveChildren_->rbegin(); child != liveChildren_->rend(); ++child) {
      child->second->ForEachLive(visit);
    }
  }
}

}  // namespace pellmarsh
