#pragma once

#include <functional>
#include <thread>

#include "afterdownload/after_download_runner.h"
#include "app/app_state.h"
#include "app/scheduler.h"
#include "platform/clock.h"
#include "viruscheck/virus_checker.h"

namespace pellmarsh {

// The scheduler, virus-check and after-download threads with their stop
// handshakes: the scheduler answers schedulerStop with schedulerDone, the
// virus checker and the after-download runner answer their thread state's
// kStopRequested with kStopped. None is ever killed; a running virus checker
// or program after a download is ended by the stop request.
class WorkerThreads {
 public:
  WorkerThreads(AppState& state, Scheduler& scheduler, VirusChecker& virusChecker,
                AfterDownloadRunner& afterDownload, Clock& clock)
      : state_(state),
        scheduler_(scheduler),
        virusChecker_(virusChecker),
        afterDownload_(afterDownload),
        clock_(clock) {}
  WorkerThreads(const WorkerThreads&) = delete;
  WorkerThreads& operator=(const WorkerThreads&) = delete;
  ~WorkerThreads();

  // The scheduler first, then the virus checker, then the after-download runner.
  void Start();

  // Asks each thread to stop and polls every 100 ms until it answers; `waitStep`
  // runs between polls (the window keeps answering dialogs a worker may have
  // open). Joins the threads, in the order they started: no thread hands work
  // to one stopped before it.
  void Stop(const std::function<void()>& waitStep);

  bool running() const { return schedulerThread_.joinable(); }

 private:
  AppState& state_;
  Scheduler& scheduler_;
  VirusChecker& virusChecker_;
  AfterDownloadRunner& afterDownload_;
  Clock& clock_;
  std::thread schedulerThread_;
  std::thread virusThread_;
  std::thread afterDownloadThread_;
};

}  // namespace pellmarsh
