#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "notify/events.h"
#include "platform/clock.h"
#include "platform/desktop_notifications.h"
#include "platform/file_trash.h"
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

// The real clock, whose tick count a test can move ahead to skip a quiet spell.
class JumpClock final : public Clock {
 public:
  uint32_t TickCount() const override { return real.TickCount() + offset; }
  int64_t UnixTime() const override { return real.UnixTime() + unixOffset; }
  void SleepMs(int milliseconds) override { real.SleepMs(milliseconds); }
  // Sleeps are real time, so a raise must end them as it does the program's:
  // the idle virus checker sleeps ten seconds, and every stop waits for it.
  void SleepMsUnless(int milliseconds, WakeFlag& flag) override {
    real.SleepMsUnless(milliseconds, flag);
  }

  SystemClock real;
  std::atomic<uint32_t> offset{0};
  std::atomic<int64_t> unixOffset{0};
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

// A trash that takes a file off the disk and remembers its path. The files
// in noTrashFor are on a filesystem without one; `works` says whether a move
// succeeds.
class FakeTrash final : public FileTrash {
 public:
  bool CanTrash(const std::string& path) override {
    return std::find(noTrashFor.begin(), noTrashFor.end(), path) == noTrashFor.end();
  }
  bool MoveToTrash(const std::string& path) override {
    std::error_code failed;
    if (!works || !std::filesystem::remove(path, failed)) {
      return false;
    }
    trashed.push_back(path);
    return true;
  }

  std::vector<std::string> noTrashFor;
  bool works = true;
  std::vector<std::string> trashed;
};

class RecordingNotifications final : public DesktopNotifications {
 public:
  void Show(const Notification& notification) override { shown.push_back(notification); }
  std::vector<Notification> shown;
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
