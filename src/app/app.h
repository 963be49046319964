#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "app/app_state.h"
#include "app/background_work.h"
#include "app/speed_control.h"
#include "app/window_settings.h"
#include "notify/events.h"
#include "platform/clock.h"
#include "platform/data_folders.h"
#include "platform/files.h"
#include "platform/sound_player.h"
#include "platform/user_messages.h"
#include "store/data_file.h"
#include "url/local_name_registry.h"

namespace pellmarsh {

// The window-free half of the program: the shared state, the data file, the
// events and the worker threads, with the start-up and shutdown steps the
// window runs in its order.
class App {
 public:
  // Everything beside the program, as in a build or a portable copy.
  App(std::string programDir, UserMessages& messages, SoundPlayer& sounds, Clock& clock);
  App(DataFolders folders, UserMessages& messages, SoundPlayer& sounds, Clock& clock);
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  AppState& state() { return state_; }
  Tree& tree() { return state_.tree; }
  Clock& clock() { return clock_; }
  UserMessages& messages() { return messages_; }
  EventRaiser& events() { return events_; }
  SoundPlayer& sounds() { return sounds_; }
  SpeedControl& speed() { return speed_; }
  const DataFile& dataFile() const { return dataFile_; }
  const DataFolders& folders() const { return folders_; }
  LocalNameRegistry& localNames() { return localNames_; }
  ExtractionWorker& extraction() { return work_.extraction(); }
  // Connect the desktop before StartWorkers.
  ProgramHandOffs& handOffs() { return work_.handOffs(); }

  // Loads the data file with the load-time reset, then the root's properties,
  // the type list and the two download folders; without a data file, what a
  // new one starts with. What the user must be told comes back, to be shown
  // once the queue runs.
  LoadOutcome LoadTree();
  // Host defaults, text types, setting defaults and the sound events.
  void CompleteBuiltInTree();
  // True on the first start of this program directory (and remembers it).
  bool MarkFirstStart();
  void StartWorkers() { work_.Start(); }
  // Lets the virus checker go on after a set-up failure halted it (the
  // settings were confirmed).
  void ResumeVirusChecks() {
    state_.virusCheck.halted = false;
    state_.virusCheck.work.Raise();
  }
  void StopWorkers(const std::function<void()>& waitStep) { work_.Stop(waitStep); }
  bool workersRunning() const { return work_.running(); }

  // Never while a worker thread runs during shutdown; see the window's close.
  void SaveTree() { dataFile_.Save(state_.tree); }
  // The save of a close that no one watches; the reason it failed, if it did.
  std::optional<std::string> SaveTreeUnattended() { return dataFile_.SaveUnattended(state_.tree); }
  // The one-second timer's save of what the scheduler asked to keep.
  void SaveIfRequested() {
    // The first parts of a download wait for the save that holds their map.
    if (dataFile_.SaveIfRequested(state_.tree, state_.saveRequested)) {
      state_.startWalkDue.Raise();
    }
  }

  // What the window shows and stores of the settings.
  std::optional<WindowRect> SavedWindowRect(int screenWidth, int screenHeight);
  void StoreWindowState(const WindowRect& rect, const std::array<int, kListColumns>& widths);
  // Go Fast and Offline as they were at the last exit.
  void RestoreToggles();
  void SetGoFast(bool on);
  // The rate text of the one-second timer, in the unit the settings ask for.
  std::string CurrentRateText();
  // What the weekly plan holds now, while it is followed; empty otherwise.
  std::string PlanText();
  // True once a month while the upgrade check is on; stamps the check's time.
  bool TakeUpgradeCheckDue();

 private:
  AppState state_;
  UserMessages& messages_;
  SoundPlayer& sounds_;
  Clock& clock_;
  const DataFolders folders_;
  AtomicFileReplacer replacer_{DataFile::kFileMode};
  DataFile dataFile_;
  EventRaiser events_;
  SpeedControl speed_;
  LocalNameRegistry localNames_;
  // Last member: its threads stop before anything they use is destroyed.
  BackgroundWork work_;
};

}  // namespace pellmarsh
