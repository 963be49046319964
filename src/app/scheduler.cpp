#include "app/scheduler.h"

#include <poll.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/speed_control.h"
#include "store/data_file.h"
#include "store/item_status.h"
#include "store/keys.h"

namespace pellmarsh {
namespace {

constexpr int kNoLimit = 999;
constexpr uint32_t kEmptyAfterMs = 5000;
constexpr const char* kMeteredWhy = "Waiting: the connection is metered";

int64_t SaturatingAdd(int64_t a, int64_t b) {
  int64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) {
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  }
  return sum;
}

// Bytes a second the item's own limit allows; 0 for none.
int64_t OwnLimit(const Transfer& transfer) {
  const Item* item = transfer.item();
  return item ? BudgetForLimit(item->GetPropDouble(key::kSpeedLimit)) : 0;
}

std::string InUse(int inUse, int limit) {
  return " (" + std::to_string(inUse) + " of " + std::to_string(limit) + " in use)";
}

}  // namespace

Scheduler::Scheduler(AppState& state, TransferFactory& transfers, SchedulerHandOffs& handOffs,
                     EventSink& events, Clock& clock)
    : state_(state), transfers_(transfers), handOffs_(handOffs), events_(events), clock_(clock) {}

void Scheduler::Run() {
  while (!state_.schedulerStop) {
    if (state_.commandBusy) {
      clock_.SleepMs(1000);
      continue;
    }
    Pass();
    WaitForWork();
  }
  state_.schedulerDone = true;
}

void Scheduler::Pass() {
  const uint32_t now = clock_.TickCount();
  const uint32_t second = now / 1000;
  if (second != lastSecond_) {
    OnceASecond(second);
  } else {
    // A slot has just come free or an item was queued: fill it now, not at
    // the next turn of the second.
    Tree::Access tree(state_.tree);
    if (state_.startWalkDue.Take() || transfers_.TakeRoomMade()) {
      WalkToStart(tree.root(), false);
    }
  }

  int64_t sum = 0;
  for (int64_t slot : byteRing_) {
    sum += slot;
  }
  const int64_t rate = sum / kRingSlots;
  lastRate_ = rate;
  state_.rateAverage = rate;

  // A metered connection holds at once, not from the window's next budget.
  if (rate < state_.budget && !state_.metered) {
    StepOne(second % kRingSlots);
  } else {
    clock_.SleepMs(500);
  }
  NoteEmptying(now);
}

void Scheduler::OnceASecond(uint32_t second) {
  lastSecond_ = second;
  state_.startWalkDue.Take();
  Tree::Access tree(state_.tree);
  weekPlan_.Follow(tree.root(), state_, clock_.UnixTime());
  if (!lastHeldWalk_.held || lastHeldWalk_ != HeldWalkNow(tree.root())) {
    WalkToStart(tree.root(), true);
  }
  // Every tenth second the history is forgotten but the mean kept.
  if (second % kRingSlots == 0) {
    byteRing_.fill(lastRate_);
  }
  RateSpeedIcons(lastRate_);
  NoteRecentRates();
  byteRing_[second % kRingSlots] = 0;
}

void Scheduler::WalkToStart(Item& root, bool countDownRetries) {
  state_.activeCount = 0;
  state_.totalSize = 0;
  state_.totalReceived = 0;
  // One walk counts what runs and notes, in walk order, what may start or
  // count down; the start decisions need the whole count first.
  waiting_.clear();
  transfers_.WalkBegins();
  bool onlyQueued = true;
  root.ForEachLive([this, countDownRetries, &onlyQueued](Item& item) {
    const int status = item.GetPropInt(key::kStatus);
    onlyQueued = onlyQueued && status == kStatusQueued;
    if (status == kStatusQueued || status == kStatusStartNow ||
        (status == kStatusWaitingToRetry && countDownRetries)) {
      waiting_.push_back({&item, status});
    } else {
      CountActive(item, status);
    }
  });
  const int limit =
      root.GetPropInt(setting::kMaxConEnable) != 0 ? root.GetPropInt(setting::kMaxCons) : kNoLimit;
  for (const auto& [item, status] : waiting_) {
    ScheduleItem(*item, status, limit);
  }
  lastHeldWalk_ = onlyQueued ? HeldWalkNow(root) : HeldWalk{};
}

Scheduler::HeldWalk Scheduler::HeldWalkNow(const Item& root) const {
  return {state_.offline || state_.metered, state_.offline, state_.metered, state_.paused,
          root.statusChanges()};
}

void Scheduler::CountActive(Item& item, int status) {
  if (status != kStatusTransferring && status != kStatusStarting) {
    return;
  }
  ++state_.activeCount;
  // A download held by a metered connection says so on its row, as a queued one does.
  SayWhy(item, state_.metered ? kMeteredWhy : "");
  if (const int64_t size = item.GetPropInt64(key::kSize); size != 0) {
    // A server may announce any size; the totals must not wrap round.
    state_.totalSize = SaturatingAdd(state_.totalSize, size);
    state_.totalReceived = SaturatingAdd(state_.totalReceived, item.GetPropInt64(key::kReceived));
  }
}

void Scheduler::ScheduleItem(Item& item, int status, int limit) {
  switch (status) {
    case kStatusQueued:
      StartOrSayWhy(item, limit);
      break;
    case kStatusStartNow:
      if (state_.activeCount >= kNoLimit || state_.offline || state_.metered) {
        item.SetPropInt(key::kStatus, kStatusQueued);
        state_.listDirty = true;
      } else {
        StartTransfer(item);
      }
      break;
    case kStatusWaitingToRetry: {
      const int timeout = item.GetPropInt(key::kRetryTimeout);
      if (timeout < 1) {
        item.SetPropInt(key::kStatus, kStatusQueued);
      } else {
        item.SetPropInt(key::kRetryTimeout, timeout - 1);
      }
      state_.listDirty = true;
      break;
    }
    default:
      break;
  }
}

void Scheduler::StartOrSayWhy(Item& item, int limit) {
  std::optional<FullServer> full;
  // A metered connection starts nothing: even a held connection's first
  // bytes cost.
  if (!state_.offline && !state_.metered && state_.activeCount < limit &&
      !(full = transfers_.ServerFull(item))) {
    StartTransfer(item);
    return;
  }
  // While paused nothing moves anyway, so the pause is the reason to give.
  // The fixed reasons are not built per item: a long queue waits offline.
  if (state_.paused) {
    SayWhy(item, "Waiting: the queue is paused");
  } else if (state_.offline) {
    SayWhy(item, "Waiting: offline");
  } else if (state_.metered) {
    SayWhy(item, kMeteredWhy);
  } else if (full) {
    SayWhy(item, "Waiting for a connection to " + full->host + InUse(full->inUse, full->limit));
  } else {
    SayWhy(item, "Waiting for a free connection" + InUse(state_.activeCount, limit));
  }
}

void Scheduler::SayWhy(Item& item, std::string_view why) {
  std::string unpacked;
  if (item.ViewProp(key::kWaitingFor, unpacked) != why) {
    item.SetProp(key::kWaitingFor, why);
    state_.listDirty = true;
  }
}

void Scheduler::StartTransfer(Item& item) {
  if (!item.GetProp(key::kWaitingFor).empty()) {
    item.SetProp(key::kWaitingFor, "");
  }
  RequestSave(state_.saveRequested);
  item.SetPropInt(key::kStatus, kStatusStarting);
  item.SetPropInt64(key::kRecentRate, 0);  // not the rate of an earlier attempt
  state_.activeTransfers.push_back(transfers_.Create(item));
  state_.sortPending = true;
  state_.listDirty = true;
  ++state_.activeCount;
}

void Scheduler::RateSpeedIcons(int64_t rate) {
  const int64_t count = std::max<int64_t>(1, static_cast<int64_t>(state_.activeTransfers.size()));
  const int64_t share = rate * 5 / count;
  for (const std::unique_ptr<Transfer>& transfer : state_.activeTransfers) {
    const int64_t recent = transfer->recentBytes;
    SpeedFlag rating = SpeedFlag::kFastest;
    if (recent < 5 || recent < share / 3) {
      rating = SpeedFlag::kSlowest;
    } else if (recent < share * 2 / 3) {
      rating = SpeedFlag::kSlow;
    } else if (recent < share * 5 / 4) {
      rating = SpeedFlag::kFast;
    }
    const int flag = static_cast<int>(rating);
    if (Item* item = transfer->item(); item && item->GetPropInt(key::kSpeedFlag) != flag) {
      item->SetPropInt(key::kSpeedFlag, flag);
    }
    transfer->recentBytes -= recent / 5;
  }
}

void Scheduler::NoteRecentRates() {
  // A held transfer's window waits for it: after a pause the estimate goes on
  // from the rate before it, not from a window of empty seconds.
  const bool held = state_.budget <= 0;
  int64_t total = 0;
  for (const std::unique_ptr<Transfer>& transfer : state_.activeTransfers) {
    if (!held) {
      transfer->recentRate.EndSecond();
    }
    const int64_t rate = held ? 0 : transfer->recentRate.BytesPerSecond();
    Item* item = transfer->item();
    if (item && item->GetPropInt64(key::kRecentRate) != rate) {
      item->SetPropInt64(key::kRecentRate, rate);
    }
    total = SaturatingAdd(total, item ? rate : 0);
  }
  state_.recentRate = total;
}

void Scheduler::StepOne(size_t slot) {
  Transfer* transfer = nullptr;
  int64_t ownLimit = 0;
  {
    TreeLockGuard lock(state_.tree.lock());
    if (rotation_ < state_.activeTransfers.size()) {
      transfer = state_.activeTransfers[rotation_].get();
      ownLimit = OwnLimit(*transfer);
    }
  }
  if (!transfer) {
    rotation_ = 0;
    return;
  }
  // Below 64 KiB a second, one step must not bring more than the budget, or a
  // single receive would overshoot the background limit several times over.
  size_t limit = std::clamp<size_t>(static_cast<size_t>(std::max(state_.budget.load(), 1)), 1,
                                    kTransferBufferSize);
  if (ownLimit > 0) {
    const int64_t allowed = transfer->allowance.Available(clock_.TickCount(), ownLimit);
    if (allowed <= 0) {
      ++rotation_;
      return;
    }
    limit = std::min(limit, static_cast<size_t>(allowed));
  }
  const bool more = transfer->Step(limit);
  transfer->allowance.Spend(transfer->stepBytes());
  byteRing_[slot] += transfer->stepBytes();
  transfer->recentBytes += transfer->stepBytes();
  transfer->recentRate.Add(transfer->stepBytes());
  if (!more) {
    FinishTransfer(rotation_);
  }
  state_.listDirty = true;
  ++rotation_;
}

void Scheduler::FinishTransfer(size_t index) {
  Tree::Access tree(state_.tree);
  Transfer& transfer = *state_.activeTransfers[index];
  const Item& root = tree.root();
  if (const Item* item = transfer.item()) {
    if (std::optional<EndedDownload> ended = EndedDownloadOf(root, *item)) {
      handOffs_.DownloadEnded(std::move(*ended));
    }
  }
  if (Item* item = transfer.item(); item && item->GetPropInt(key::kStatus) == kStatusComplete) {
    if (root.GetPropInt(setting::kAutoExtract) != 0) {
      handOffs_.ExtractUrls(*item);
    }
    const bool virusCheck = root.GetPropEnum(setting::kVirusCheck) == VirusCheckMode::kAutomatic;
    if (virusCheck) {
      state_.virusCheck.queue(state_.tree.lock()).push_back(item);
      state_.virusCheck.work.Raise();
    }
    // An upgrade is the installer's; only the user's own downloads go to their program.
    if (!root.GetProp(setting::kRunAfter).empty() && item->GetPropInt(key::kAutoUpdate) == 0) {
      state_.afterDownload.Add(state_.tree.lock(), *item, virusCheck);
    }
    if (item->GetPropInt(key::kAutoUpdate) != 0) {
      transfer.DetachItem();
      handOffs_.InstallUpgrade(*item);
    }
  }
  state_.activeTransfers.erase(state_.activeTransfers.begin() + static_cast<ptrdiff_t>(index));
  state_.startWalkDue.Raise();
  RequestSave(state_.saveRequested);
  state_.sortPending = true;
}

void Scheduler::NoteEmptying(uint32_t now) {
  bool empty;
  {
    TreeLockGuard lock(state_.tree.lock());
    empty = state_.activeTransfers.empty();
  }
  if (!empty) {
    busySeen_ = true;
    lastBusyTick_ = now;
    return;
  }
  if (busySeen_ && now - lastBusyTick_ > kEmptyAfterMs) {
    busySeen_ = false;
    events_.RaiseEvent("EMPTY");
    if (state_.goodNight) {
      handOffs_.RunAutomaticShutdown();
    }
  }
}

void Scheduler::WaitForWork() {
  std::vector<pollfd> sockets;
  // Until a download held back by its own limit may step again; 0 for none.
  int heldMs = 0;
  {
    TreeLockGuard lock(state_.tree.lock());
    std::vector<Transfer::Wait> waits;
    const uint32_t now = clock_.TickCount();
    for (const std::unique_ptr<Transfer>& transfer : state_.activeTransfers) {
      if (const int64_t own = OwnLimit(*transfer);
          own > 0 && transfer->allowance.Available(now, own) <= 0) {
        const int ms = static_cast<int>(std::min(transfer->allowance.MsUntilNextByte(own), 1000U));
        heldMs = heldMs ? std::min(heldMs, ms) : ms;
        continue;
      }
      transfer->CollectWaits(waits);
    }
    for (const Transfer::Wait& wait : waits) {
      if (wait.fd < 0) {
        return;  // this one can step at once
      }
      sockets.push_back({wait.fd, static_cast<short>(wait.forWrite ? POLLOUT : POLLIN), 0});
    }
  }
  if (sockets.empty() && heldMs > 0) {
    clock_.SleepMsUnless(heldMs, state_.startWalkDue);
    return;
  }
  if (sockets.empty()) {
    IdleUntilNextSecond();
    return;
  }
  ::poll(sockets.data(), sockets.size(), heldMs > 0 ? std::min(heldMs, 10) : 10);
}

void Scheduler::IdleUntilNextSecond() {
  // Nothing runs: wake for the next second's walk, or at once when a command
  // queues an item or the window asks the thread to stop. Each wake-up of an
  // idle process costs more than the walk itself.
  if (!state_.schedulerStop) {
    clock_.SleepMsUnless(static_cast<int>(1000 - clock_.TickCount() % 1000), state_.startWalkDue);
  }
}

}  // namespace pellmarsh
