#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "notify/events.h"
#include "store/item.h"

namespace pellmarsh {

// How a failed attempt ends.
enum class FailOutcome : int {
  kPermanent = 3,  // status 3, "BROKEN"
  kRetry = 5,      // status 5 with a growing delay, "FAIL"
  kOffline = 105,  // status 5 after a short delay, no event
};

// The outcome of a failure to get a descriptor or memory (an errno or a
// socket error number): running short passes, so a later attempt may succeed;
// anything else is for good.
FailOutcome ShortageOutcome(int error);

// One line of an item's log: the tick count (as a signed 32-bit number, eleven
// digits) and the text, ended with CR LF.
std::string FormatLogLine(uint32_t tick, std::string_view text);

// How a command about to be sent is logged: CR and LF show as "|", and no
// credential reaches the log (a PASS line keeps the word PASS only, Basic
// authorization shows as concealed).
std::string LoggedSendLine(const std::string& buffer);
// A received header line as the log shows it: a cookie the server sets is
// concealed.
std::string LoggedReceivedLine(const std::string& line);

// Appends a line to the item's "log" and shows the text as its "process".
void AppendLogLine(Item& item, uint32_t tick, std::string_view text);

// The most one download adds to its item's log. The log is saved with the
// item, and a server could otherwise make it grow without end; past the
// limit one line says so, and each further line is shown only as "process".
class LogBudget {
 public:
  static constexpr size_t kLimitBytes = 1024 * 1024;

  void Log(Item& item, uint32_t tick, std::string_view text);
  // Lines already stamped, from a part of the download.
  void AppendLines(Item& item, uint32_t tick, std::string_view lines);

 private:
  bool Spend(Item& item, uint32_t tick, size_t bytes);

  size_t spent_ = 0;
  bool cut_ = false;
};

// The item's status, retry counters and event for a failure's outcome. Any
// other outcome changes nothing.
void ApplyFailureOutcome(Item& item, FailOutcome outcome, EventSink& events);
// Ends a transfer the user stopped or paused: the item is on hold or paused,
// with what the user did as its last error.
void EndOnRequest(Item& item, int request, EventSink& events);

}  // namespace pellmarsh
