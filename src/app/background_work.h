#pragma once

#include <functional>

#include "afterdownload/after_download_runner.h"
#include "app/app_state.h"
#include "app/program_hand_offs.h"
#include "app/scheduler.h"
#include "app/session_factory.h"
#include "app/worker_threads.h"
#include "capture/extraction_worker.h"
#include "notify/events.h"
#include "platform/clock.h"
#include "platform/resolver.h"
#include "platform/user_messages.h"
#include "url/local_name_registry.h"
#include "viruscheck/virus_checker.h"

namespace pellmarsh {

// What runs beside the window: the scheduler and the transfers it starts, the
// URL extraction, the virus checker and the program after each download, and
// their threads.
class BackgroundWork {
 public:
  BackgroundWork(AppState& state, UserMessages& messages, EventSink& events,
                 LocalNameRegistry& localNames, Clock& clock);
  BackgroundWork(const BackgroundWork&) = delete;
  BackgroundWork& operator=(const BackgroundWork&) = delete;
  ~BackgroundWork();

  ExtractionWorker& extraction() { return extraction_; }
  ProgramHandOffs& handOffs() { return handOffs_; }
  void Start() { threads_.Start(); }
  void Stop(const std::function<void()>& waitStep) {
    threads_.Stop(waitStep);
    extraction_.Stop();
  }
  bool running() const { return threads_.running(); }

 private:
  AppState& state_;
  Clock& clock_;
  SystemResolver resolver_;
  SessionFactory sessions_;
  ExtractionWorker extraction_;
  ProgramHandOffs handOffs_;
  Scheduler scheduler_;
  VirusChecker virusChecker_;
  AfterDownloadRunner afterDownload_;
  // Last member: its threads stop before anything they use is destroyed.
  WorkerThreads threads_;
};

}  // namespace pellmarsh
