#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "notify/events.h"
#include "platform/clock.h"
#include "platform/sound_player.h"
#include "platform/user_messages.h"
#include "store/tree.h"

namespace pellmarsh::testing {

// A clock that moves only when slept on, so waits cost no real time.
class FakeClock final : public Clock {
 public:
  uint32_t TickCount() const override { return tick; }
  int64_t UnixTime() const override { return unixTime; }
  void SleepMs(int milliseconds) override {
    sleeps.push_back(milliseconds);
    tick += static_cast<uint32_t>(milliseconds);
  }

  uint32_t tick = 0;
  int64_t unixTime = 1'000'000'000;
  std::vector<int> sleeps;
};

// Records every message and answers with a fixed reply; stops the program
// under the tree lock, as the program's own messages do.
class RecordingMessages final : public UserMessages {
 public:
  MessageAnswer Show(const UserMessage& message) override {
    AbortIfTreeLockHeld();
    std::lock_guard lock(mutex);
    shown.push_back(message);
    return answer;
  }

  std::mutex mutex;
  std::vector<UserMessage> shown;
  MessageAnswer answer = MessageAnswer::kOk;
};

class RecordingSounds final : public SoundPlayer {
 public:
  void Play(const std::string& path) override {
    std::lock_guard lock(mutex);
    played.push_back(path);
  }

  std::mutex mutex;
  std::vector<std::string> played;
};

}  // namespace pellmarsh::testing

namespace pellmarsh::testing {

class RecordingEvents final : public EventSink {
 public:
  void RaiseEvent(std::string_view name) override {
    std::lock_guard lock(mutex);
    raised.emplace_back(name);
  }

  std::mutex mutex;
  std::vector<std::string> raised;
};

}  // namespace pellmarsh::testing
