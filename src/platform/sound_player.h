#pragma once

#include <string>

namespace pellmarsh {

// Starts playing a sound file and returns at once; a sound already playing is
// not waited for. A missing or unreadable file plays nothing and reports nothing.
class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  virtual void Play(const std::string& path) = 0;
};

}  // namespace pellmarsh
