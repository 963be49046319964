#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/week_plan.h"
#include "notify/download_notices.h"
#include "notify/events.h"
#include "platform/clock.h"
#include "platform/thread_annotations.h"
#include "transfer/transfer.h"

namespace pellmarsh {

// A server whose connections are all in use.
struct FullServer {
  std::string host;
  int inUse = 0;
  int limit = 0;
};

// Makes the transfer for an item the scheduler starts.
class TransferFactory {
 public:
  virtual ~TransferFactory() = default;
  virtual std::unique_ptr<Transfer> Create(Item& item) = 0;
  // The item's server when it already has all the connections it may. Asked
  // only of an item that would otherwise start now, so the answer also tells
  // the downloads holding that server that someone waits for it.
  virtual std::optional<FullServer> ServerFull(Item&) { return std::nullopt; }
  // A walk is about to ask again: forget who waited at the last one.
  virtual void WalkBegins() {}
  // True once since a connection came free on a server someone waits for.
  virtual bool TakeRoomMade() { return false; }
};

// What happens to a finished download and to an emptied queue beyond the
// scheduler's own work.
class SchedulerHandOffs {
 public:
  virtual ~SchedulerHandOffs() = default;
  // "parm-autoextract": harvest the URLs of a finished page or listing.
  virtual void ExtractUrls(Item& item) = 0;
  // A download that ended for good, for the desktop to tell. Called with the
  // tree lock held: it only hands the facts on.
  virtual void DownloadEnded(EndedDownload ended) = 0;
  // A finished download of the upgrade check; the item leaves its transfer.
  virtual void InstallUpgrade(Item& item) = 0;
  // Good Night was pressed and the queue has emptied. Runs on the scheduler
  // thread and may block it while a countdown is shown.
  virtual void RunAutomaticShutdown() = 0;
};

// Decides which downloads run and drives them: once a second it walks the tree
// to count running items, start queued ones within the connection limit and
// count down retry waits (and walks to start at the pass after a slot freed or
// a command queued an item); on every pass it steps one transfer, but only
// while the ten-second rate is under the budget.
class Scheduler {
 public:
  Scheduler(AppState& state, TransferFactory& transfers, SchedulerHandOffs& handOffs,
            EventSink& events, Clock& clock);

  // The thread body: passes until schedulerStop, then schedulerDone.
  void Run();
  // One pass without the pause at its end.
  void Pass();
  // The pause at the end of a pass: at most 10 ms, shorter as soon as a
  // transfer's socket is ready, none when a transfer can step at once; with
  // no transfer, up to the next second.
  void WaitForWork();

  static constexpr int kRingSlots = 10;

 private:
  void OnceASecond(uint32_t second);
  // Counts the running items, then starts queued ones within the limit; the
  // once-a-second walk also counts retry waits down.
  void WalkToStart(Item& root, bool countDownRetries) REQUIRES(state_.tree.lock());
  void CountActive(Item& item, int status);
  void ScheduleItem(Item& item, int status, int limit) REQUIRES(state_.tree.lock());
  // Starts a queued item, or says on it why it waits.
  void StartOrSayWhy(Item& item, int limit) REQUIRES(state_.tree.lock());
  // Shows why the item does not move on its row; empty when it does.
  void SayWhy(Item& item, std::string_view why);
  void StartTransfer(Item& item) REQUIRES(state_.tree.lock());
  void RateSpeedIcons(int64_t rate) REQUIRES(state_.tree.lock());
  // Closes each transfer's second and writes its item's recent rate.
  void NoteRecentRates() REQUIRES(state_.tree.lock());
  void StepOne(size_t slot);
  void FinishTransfer(size_t index);
  void NoteEmptying(uint32_t now);
  void IdleUntilNextSecond();

  AppState& state_;
  TransferFactory& transfers_;
  SchedulerHandOffs& handOffs_;
  EventSink& events_;
  Clock& clock_;

  std::array<int64_t, kRingSlots> byteRing_{};
  int64_t lastRate_ = 0;
  size_t rotation_ = 0;
  uint32_t lastSecond_ = 0;
  bool busySeen_ = false;
  uint32_t lastBusyTick_ = 0;
  WeekPlanFollower weekPlan_;
  // The items one walk found queued or waiting, with their status; kept so
  // the once-a-second walk reuses its buffer.
  std::vector<std::pair<Item*, int>> waiting_;
  // A walk that found only queued items while none could start (offline, or
  // on a metered connection) told each why. Until the hold or a status in the
  // tree changes, the next walk would find and tell the same: a long queue
  // held offline is not walked again each second.
  struct HeldWalk {
    bool held = false;
    bool offline = false;
    bool metered = false;
    bool paused = false;
    uint32_t statusChanges = 0;
    friend bool operator==(const HeldWalk&, const HeldWalk&) = default;
  };
  HeldWalk HeldWalkNow(const Item& root) const;
  HeldWalk lastHeldWalk_;
};

}  // namespace pellmarsh
