#pragma once

#include <vector>

#include "app/scheduler.h"
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

}  // namespace pellmarsh
