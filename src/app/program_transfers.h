#pragma once

#include <vector>

#include "app/scheduler.h"
#include "capture/extraction_worker.h"
#include "platform/resolver.h"
#include "url/local_name_registry.h"

namespace pellmarsh {

// The program's transfers: real sessions sharing one receive buffer.
class SessionFactory final : public TransferFactory {
 public:
  SessionFactory(Tree& tree, std::atomic<int>& saveRequested, Clock& clock, EventSink& events,
                 Resolver& resolver, LocalNameRegistry& localNames);
  std::unique_ptr<Transfer> Create(Item& item) override;

 private:
  Tree& tree_;
  std::atomic<int>& saveRequested_;
  Clock& clock_;
  EventSink& events_;
  Resolver& resolver_;
  LocalNameRegistry& localNames_;
  // One spare byte beyond what a step may fill.
  std::vector<char> transferBuffer_ = std::vector<char>(kTransferBufferSize + 1);
};

// Where finished downloads go next. The upgrade installer and the Good Night
// countdown come with their own subsystems.
class ProgramHandOffs final : public SchedulerHandOffs {
 public:
  explicit ProgramHandOffs(ExtractionWorker& extraction) : extraction_(extraction) {}
  // Called under the tree lock: the item's facts are copied and the file is
  // read on the extraction thread.
  void ExtractUrls(Item& item) override { extraction_.Post(ExtractionSourceOf(item)); }
  void InstallUpgrade(Item&) override {}
  void RunAutomaticShutdown() override {}

 private:
  ExtractionWorker& extraction_;
};

}  // namespace pellmarsh
