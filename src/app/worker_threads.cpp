#include "app/worker_threads.h"

namespace pellmarsh {

WorkerThreads::~WorkerThreads() {
  if (running()) {
    Stop([this] { clock_.SleepMs(100); });
  }
}

void WorkerThreads::Start() {
  state_.schedulerStop = false;
  state_.schedulerDone = false;
  state_.virusState = 0;
  scheduler_ = std::thread([this] { SchedulerLoop(); });
  virusChecker_ = std::thread([this] { VirusCheckLoop(); });
}

void WorkerThreads::Stop(const std::function<void()>& waitStep) {
  state_.schedulerStop = true;
  while (!state_.schedulerDone) {
    waitStep();
  }
  scheduler_.join();
  state_.virusState = 1;
  while (state_.virusState != 2) {
    waitStep();
  }
  virusChecker_.join();
}

void WorkerThreads::SchedulerLoop() {
  while (!state_.schedulerStop) {
    clock_.SleepMs(10);
  }
  state_.schedulerDone = true;
}

void WorkerThreads::VirusCheckLoop() {
  while (state_.virusState == 0) {
    clock_.SleepMs(500);
  }
  state_.virusState = 2;
}

}  // namespace pellmarsh
