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
  state_.virusCheck.thread = VirusThreadState::kRunning;
  schedulerThread_ = std::thread([this] { scheduler_.Run(); });
  state_.afterDownload.thread = AfterDownloadThreadState::kRunning;
  virusThread_ = std::thread([this] { virusChecker_.Loop(); });
  afterDownloadThread_ = std::thread([this] { afterDownload_.Loop(); });
}

void WorkerThreads::Stop(const std::function<void()>& waitStep) {
  state_.schedulerStop = true;
  state_.startWalkDue.Raise();  // an idle scheduler sleeps to the next second
  while (!state_.schedulerDone) {
    waitStep();
  }
  schedulerThread_.join();
  state_.virusCheck.thread = VirusThreadState::kStopRequested;
  state_.virusCheck.work.Raise();
  while (state_.virusCheck.thread != VirusThreadState::kStopped) {
    waitStep();
  }
  virusThread_.join();
  state_.afterDownload.thread = AfterDownloadThreadState::kStopRequested;
  state_.afterDownload.work.Raise();
  while (state_.afterDownload.thread != AfterDownloadThreadState::kStopped) {
    waitStep();
  }
  afterDownloadThread_.join();
}

}  // namespace pellmarsh
