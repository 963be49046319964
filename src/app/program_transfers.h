#pragma once

#include <functional>
#include <vector>

#include "app/scheduler.h"
#include "capture/extraction_worker.h"
#include "notify/good_night.h"
#include "platform/environment.h"
#include "platform/resolver.h"
#include "platform/thread_annotations.h"
#include "transfer/server_connections.h"
#include "url/local_name_registry.h"

namespace pellmarsh {

// The program's transfers: real sessions sharing one receive buffer.
class SessionFactory final : public TransferFactory {
 public:
  SessionFactory(Tree& tree, std::atomic<int>& saveRequested, Clock& clock, EventSink& events,
                 Resolver& resolver, LocalNameRegistry& localNames);
  // Called by the scheduler's walk, which holds the tree lock.
  std::unique_ptr<Transfer> Create(Item& item) override REQUIRES(tree_.lock());
  std::optional<FullServer> ServerFull(Item& item) override REQUIRES(tree_.lock());
  void WalkBegins() override REQUIRES(tree_.lock()) { servers_.ForgetWaiting(); }
  bool TakeRoomMade() override REQUIRES(tree_.lock()) { return servers_.TakeRoomMade(); }

 private:
  Tree& tree_;
  std::atomic<int>& saveRequested_;
  Clock& clock_;
  EventSink& events_;
  Resolver& resolver_;
  LocalNameRegistry& localNames_;
  SystemEnvironment environment_;  // where the system's proxy is read from
  ServerConnections servers_ GUARDED_BY(tree_.lock());
  // One spare byte beyond what a step may fill.
  std::vector<char> transferBuffer_ = std::vector<char>(kTransferBufferSize + 1);
};

// What the hand-offs need of the desktop. Set before the worker threads
// start; a hand-off whose part is missing does nothing.
struct HandOffDesk {
  ShutdownCountdown* countdown = nullptr;
  PowerControl* power = nullptr;
  // A finished upgrade download, on the scheduler thread with the tree lock
  // held: it may only pass the item on to the window thread.
  std::function<void(Item&)> upgradeFinished;
  // A download that ended for good, on the scheduler thread with the tree
  // lock held: it may only pass the facts on to the window thread.
  std::function<void(EndedDownload)> downloadEnded;
};

// Where finished downloads go next.
class ProgramHandOffs final : public SchedulerHandOffs {
 public:
  ProgramHandOffs(AppState& state, ExtractionWorker& extraction)
      : state_(state), extraction_(extraction) {}
  void Connect(HandOffDesk desk) { desk_ = std::move(desk); }

  // Called under the tree lock: the item's facts are copied and the file is
  // read on the extraction thread.
  void ExtractUrls(Item& item) override REQUIRES(state_.tree.lock()) {
    extraction_.Post(ExtractionSourceOf(item));
  }
  void DownloadEnded(EndedDownload ended) override;
  void InstallUpgrade(Item& item) override REQUIRES(state_.tree.lock());
  void RunAutomaticShutdown() override EXCLUDES(state_.tree.lock());

 private:
  AppState& state_;
  ExtractionWorker& extraction_;
  HandOffDesk desk_;
};

}  // namespace pellmarsh
