#pragma once

#include <cstdio>
#include <string>

#include "platform/sound_player.h"
#include "platform/user_messages.h"

namespace pellmarsh::bench {

// Messages go to the error stream, as nobody is there to press OK.
class PrintedMessages final : public UserMessages {
 public:
  MessageAnswer Show(const UserMessage& message) override {
    std::fprintf(stderr, "message: %s\n", message.text.c_str());
    return MessageAnswer::kOk;
  }
};

class Silence final : public SoundPlayer {
 public:
  void Play(const std::string&) override {}
};

}  // namespace pellmarsh::bench
