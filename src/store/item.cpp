#include "store/item.h"

#include <algorithm>
#include <atomic>
#include <limits>

#include "store/ascii_case.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/log_packing.h"
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
  properties_.Clear();
  log_.reset();
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
    NoteStatusChange();
    const int status = GetPropInt(key::kStatus);
    const bool live = ChangesOnItsOwn(status);
    if (live != live_) {
      live_ = live;
      AddLive(live ? 1 : -1);
    }
    if (!InTransfer(status)) {
      PackLog();
    }
  }
  if (parent_) {
    ++parent_->childChanges_;
    if (!wasLive || !live_) {
      ++parent_->quietChildChanges_;
    }
  }
}

void Item::NoteStatusChange() {
  for (Item* item = this; item; item = item->parent_) {
    ++item->statusChanges_;
  }
}

void Item::AddLive(int delta) {
  if (delta != 0) {
    NoteStatusChange();
  }
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

bool IsLog(PropKey key) {
  return key.hash() == key::kLog.hash() && key == key::kLog;
}

KeyId PackedLogId() {
  static const KeyId id = *KeyTable::Instance().Intern(key::kPackedLog);
  return id;
}

}  // namespace

Item::Properties::Property Item::Properties::At(size_t index) const {
  return index < block_.size() ? block_.At(index) : Property{key::kLog.text(), *log_};
}

size_t Item::Properties::count(std::string_view key) const {
  return log_ && key == key::kLog.text() ? 1 : block_.count(key);
}

bool operator==(const Item::Properties& a, const Item::Properties& b) {
  const bool sameLog = a.log_ && b.log_ ? *a.log_ == *b.log_ : a.log_ == b.log_;
  return sameLog && a.block_ == b.block_;
}

std::optional<std::string_view> Item::FindValue(PropKey key) const {
  if (IsLog(key) && log_) {
    return *log_;
  }
  const std::optional<KeyId> id = KeyTable::Instance().Find(key);
  return id ? properties_.Find(*id) : std::nullopt;
}

bool Item::HasProp(PropKey key) const {
  return FindValue(key) || (IsLog(key) && properties_.Find(PackedLogId()));
}

bool Item::HasText(PropKey key) const {
  const std::optional<std::string_view> value = FindValue(key);
  return value ? !value->empty() : IsLog(key) && properties_.Find(PackedLogId());
}

std::string Item::PackedLogText() const {
  const std::optional<std::string_view> packed = properties_.Find(PackedLogId());
  return packed ? InflateLog(*packed) : std::string();
}

std::string_view Item::ViewProp(PropKey key, std::string& unpacked) const {
  if (const std::optional<std::string_view> value = FindValue(key)) {
    return *value;
  }
  if (IsLog(key)) {
    unpacked = PackedLogText();
    return unpacked;
  }
  return {};
}

bool Item::HasName(std::string_view name) const {
  return NamesEqual(FindValue(key::kName).value_or(std::string_view()), name);
}

std::string Item::GetProp(PropKey key) const {
  if (const std::optional<std::string_view> value = FindValue(key)) {
    return std::string(*value);
  }
  return IsLog(key) ? PackedLogText() : std::string();
}

void Item::SetProp(PropKey key, std::string_view value) {
  if (IsLog(key)) {
    properties_.Erase(PackedLogId());
    log_ = std::make_unique<std::string>(value);
    RepackLogInTree();
  } else if (const std::optional<KeyId> id = KeyTable::Instance().Intern(key)) {
    properties_.Set(*id, value);
  }
  NoteWrite(key);
}

void Item::AppendProp(PropKey key, std::string_view tail) {
  if (IsLog(key)) {
    UnpackLog();
    if (!log_) {
      log_ = std::make_unique<std::string>();
    }
    log_->append(tail);
    RepackLogInTree();
  } else if (const std::optional<KeyId> id = KeyTable::Instance().Intern(key)) {
    properties_.Append(*id, tail);
  }
  NoteWrite(key);
}

void Item::PackLog() {
  if (log_ && !log_->empty()) {
    properties_.Set(PackedLogId(), DeflateLog(*log_));
    log_.reset();
  }
}

void Item::RepackLogInTree() {
  if (parent_ && !InTransfer(GetPropInt(key::kStatus))) {
    PackLog();
  }
}

void Item::UnpackLog() {
  if (properties_.Find(PackedLogId())) {
    log_ = std::make_unique<std::string>(PackedLogText());
    properties_.Erase(PackedLogId());
  }
}

void Item::LoadProps(std::span<const PropertyBlock::Entry> entries,
                     std::optional<std::string_view> log) {
  properties_.Assign(entries);
  log_ = log ? std::make_unique<std::string>(*log) : nullptr;
  NoteWrite(key::kStatus);
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
  const std::optional<std::string_view> value = FindValue(key);
  return value ? ParseLeadingInteger(*value) : 0;
}

void Item::SetPropInt64(PropKey key, int64_t value) {
  SetProp(key, FormatInteger(value));
}

double Item::GetPropDouble(PropKey key) const {
  const std::optional<std::string_view> value = FindValue(key);
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
