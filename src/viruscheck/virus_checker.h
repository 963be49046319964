#pragma once

#include <string>

#include "app/app_state.h"
#include "notify/events.h"
#include "platform/clock.h"
#include "platform/user_messages.h"

namespace pellmarsh {

// Runs the user's virus checker on the files of virusQueue, one at a time, on
// the virus-check thread, and records each verdict in the item.
class VirusChecker {
 public:
  VirusChecker(AppState& state, UserMessages& messages, EventSink& events, Clock& clock)
      : state_(state), messages_(messages), events_(events), clock_(clock) {}

  // The thread body: checks while virusState is kRunning, then answers the
  // stop request with kStopped. A stop ends a running checker.
  void Loop();

  // Checks the item at the head of the queue. False when checking cannot go on
  // (the checker is not set up or did not start): the item stays at the head
  // and virusHalted holds the queue until the settings are confirmed.
  bool CheckHead();

 private:
  struct Request;

  bool Halt(Item* item, const std::string& message);
  bool Record(Item* item, const Request& request, int exitCode);
  void DeleteIfUnchanged(const Request& request);

  AppState& state_;
  UserMessages& messages_;
  EventSink& events_;
  Clock& clock_;
};

}  // namespace pellmarsh
