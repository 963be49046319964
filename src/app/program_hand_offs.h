#pragma once

#include "app/app_state.h"
#include "app/hand_off_desk.h"
#include "app/scheduler.h"
#include "capture/extraction_worker.h"
#include "platform/thread_annotations.h"

namespace pellmarsh {

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
