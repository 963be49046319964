#pragma once

#include <atomic>
#include <string>

#include "notify/events.h"
#include "platform/clock.h"
#include "platform/thread_annotations.h"
#include "platform/user_messages.h"
#include "store/tree.h"
#include "viruscheck/verdict_listener.h"
#include "viruscheck/virus_check_shared.h"

namespace pellmarsh {

// Runs the user's virus checker on the files of the shared queue, one at a
// time, on the virus-check thread, and records each verdict in the item;
// listDirty tells the window a verdict changed a row.
class VirusChecker {
 public:
  VirusChecker(Tree& tree, VirusCheckShared& shared, std::atomic<bool>& listDirty,
               UserMessages& messages, EventSink& events, Clock& clock)
      : tree_(tree),
        shared_(shared),
        listDirty_(listDirty),
        messages_(messages),
        events_(events),
        clock_(clock) {}

  // The thread body: checks while the shared thread state is kRunning, then
  // answers the stop request with kStopped. A stop ends a running checker.
  void Loop();

  // Checks the item at the head of the queue. False when checking cannot go on
  // (the checker is not set up or did not start): the item stays at the head
  // and the shared halt holds the queue until the settings are confirmed.
  bool CheckHead();

  // Set before the thread starts.
  void TellVerdictsTo(VerdictListener& listener) { listener_ = &listener; }

 private:
  struct Request;
  // With nothing raised meanwhile, an idle checker still looks this often.
  static constexpr int kIdleWaitMs = 10'000;

  bool HasWork() EXCLUDES(tree_.lock());

  // Shows the message first, so without the tree lock.
  bool Halt(Item* item, const std::string& message) EXCLUDES(tree_.lock());
  bool Record(Item* item, const Request& request, int exitCode);
  void DeleteIfUnchanged(const Request& request);

  Tree& tree_;
  VirusCheckShared& shared_;
  std::atomic<bool>& listDirty_;
  UserMessages& messages_;
  EventSink& events_;
  Clock& clock_;
  VerdictListener* listener_ = nullptr;
};

}  // namespace pellmarsh
