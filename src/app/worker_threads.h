#pragma once

#include <functional>
#include <thread>

#include "app/app_state.h"
#include "app/scheduler.h"
#include "platform/clock.h"
#include "viruscheck/virus_checker.h"

namespace pellmarsh {

// The scheduler and virus-check threads with their stop handshakes: the
// scheduler answers schedulerStop with schedulerDone, the virus checker answers
// virusCheck.thread kStopRequested with kStopped. Neither is ever killed; a running
// virus checker is ended by the stop request.
class WorkerThreads {
 public:
  WorkerThreads(AppState& state, Scheduler& scheduler, VirusChecker& virusChecker, Clock& clock)
      : state_(state), scheduler_(scheduler), virusChecker_(virusChecker), clock_(clock) {}
  WorkerThreads(const WorkerThreads&) = delete;
  WorkerThreads& operator=(const WorkerThreads&) = delete;
  ~WorkerThreads();

  // The scheduler first, then the virus checker.
  void Start();

  // Asks each thread to stop and polls every 100 ms until it answers; `waitStep`
  // runs between polls (the window keeps answering dialogs a worker may have
  // open). Joins both threads.
  void Stop(const std::function<void()>& waitStep);

  bool running() const { return schedulerThread_.joinable(); }

 private:
  AppState& state_;
  Scheduler& scheduler_;
  VirusChecker& virusChecker_;
  Clock& clock_;
  std::thread schedulerThread_;
  std::thread virusThread_;
};

}  // namespace pellmarsh
