#pragma once

#include <string_view>

#include "platform/sound_player.h"
#include "store/item.h"
#include "store/keys.h"
#include "store/tree.h"

namespace pellmarsh {

// Every event, as "NAME,Description;" entries in table order.
inline constexpr std::string_view kEventTable =
    "BROKEN,Download: Failed, Cannot Retry;"
    "FAIL,Download: Failed, Retry Possible;"
    "START,Download: Started;"
    "STOP,Download: Stopped Manually;"
    "COMPLETE,Download: Successful;"
    "NUKE,File: Deleted;"
    "LAUNCH,File: Launched;"
    "STARTUP,Pellmarsh: Startup;"
    "EMPTY,Pellmarsh: Queue Empty;"
    "FAST,Pellmarsh: Speed - FAST;"
    "SLOW,Pellmarsh: Speed - SLOW;"
    "PAUSE,Pellmarsh: Speed - PAUSE;"
    "ARCHIVE,URL: Archived;"
    "COPY,URL: Copied From Clipboard;"
    "DELETE,URL: Deleted;"
    "QUEUE,URL: Queued;"
    "INFECTED,File: Infected With Virus;"
    "CLEAN,File: No Viruses Found;";

inline constexpr std::string_view kSoundFolder = folder::kSoundConfig;

// Makes one "_soundconfig" entry per event and rewrites its description; the
// user's chosen "file" is never touched.
void BuildSoundTable(Item& root);

// Where the engine announces what happened ("START", "COMPLETE", ...).
class EventSink {
 public:
  virtual ~EventSink() = default;
  // Callable from any thread; never waits.
  virtual void RaiseEvent(std::string_view name) = 0;
};

// For transfers whose starts and ends make no sound.
class SilentEvents final : public EventSink {
 public:
  void RaiseEvent(std::string_view) override {}
};

// Plays the sound the user attached to an event, when sounds are on.
class EventRaiser final : public EventSink {
 public:
  EventRaiser(Tree& tree, SoundPlayer& player) : tree_(tree), player_(player) {}

  // Reads the tree under the tree lock and never waits for the sound. No
  // EXCLUDES: a transfer step raises events with the (recursive) lock held.
  void RaiseEvent(std::string_view name) override;

 private:
  Tree& tree_;
  SoundPlayer& player_;
};

}  // namespace pellmarsh
