#include "app/app.h"

#include "store/builtin_tree.h"

namespace pellmarsh {

App::App(std::string programDir, UserMessages& messages, SoundPlayer& sounds, Clock& clock)
    : state_(std::move(programDir)),
      messages_(messages),
      clock_(clock),
      dataFile_(state_.programDir, SaveGuards{state_.treeLock, state_.commandBusy, state_.saving},
                messages, clock, replacer_),
      events_(state_.rootItem, state_.treeLock, sounds),
      speed_(state_, events_),
      localNames_(state_.treeLock, state_.rootItem),
      sessions_(state_.rootItem, state_.treeLock, clock, events_, resolver_, localNames_),
      scheduler_(state_, sessions_, handOffs_, events_, clock),
      workers_(state_, scheduler_, clock) {}

App::~App() {
  if (workers_.running()) {
    workers_.Stop([this] { clock_.SleepMs(100); });
  }
  // Transfers borrow the receive buffer and the factory's services.
  std::lock_guard lock(state_.treeLock);
  state_.activeTransfers.clear();
}

void App::LoadTree() {
  dataFile_.LoadAtStartup(state_.rootItem);
  std::lock_guard lock(state_.treeLock);
  SetUpRootAndFolders(state_.rootItem, state_.programDir);
}

void App::CompleteBuiltInTree() {
  std::lock_guard lock(state_.treeLock);
  SetUpDefaultsAndSettings(state_.rootItem, state_.programDir);
  BuildSoundTable(state_.rootItem);
}

bool App::MarkFirstStart() {
  std::lock_guard lock(state_.treeLock);
  return pellmarsh::MarkFirstStart(state_.rootItem, clock_.UnixTime());
}

}  // namespace pellmarsh
