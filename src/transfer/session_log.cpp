#include "transfer/session_log.h"

#include <cerrno>
#include <cstdio>

#include "platform/socket.h"
#include "store/item_status.h"
#include "store/keys.h"

namespace pellmarsh {
namespace {

constexpr int kOfflineDelay = 5;
constexpr int kFirstDelay = 10;
constexpr int kDelayStep = 10;
constexpr int kLongestDelay = 600;

int NextRetryDelay(const Item& item) {
  if (item.GetPropInt(key::kRudeRetries) != 0) {
    return 1;
  }
  const int delay = item.GetPropInt(key::kRetryDelay);
  if (delay < kFirstDelay) {
    return kFirstDelay;
  }
  return delay < kLongestDelay ? delay + kDelayStep : delay;
}

void CountRetry(Item& item) {
  item.SetPropInt(key::kRetryCount, item.GetPropInt(key::kRetryCount) + 1);
}

}  // namespace

std::string FormatLogLine(uint32_t tick, std::string_view text) {
  char stamp[24];
  std::snprintf(stamp, sizeof stamp, "%011ld ", static_cast<long>(static_cast<int32_t>(tick)));
  std::string line(stamp);
  line.append(text);
  line.append("\r\n");
  return line;
}

std::string LoggedSendLine(const std::string& buffer) {
  std::string shown = buffer;
  // The log is shown to the user and saved with the item, and Base64 hides
  // nothing. A request through a proxy may carry the proxy's credentials as
  // well; a browser's cookies are a login too.
  for (std::string_view secret : {"Authorization: Basic ", "\nCookie: "}) {
    for (size_t at = shown.find(secret); at != std::string::npos; at = shown.find(secret, at + 1)) {
      const size_t value = at + secret.size();
      const size_t end = shown.find_first_of("\r\n", value);
      shown.replace(value, end == std::string::npos ? std::string::npos : end - value,
                    "(concealed)");
    }
  }
  const size_t pass = shown.find("PASS ");
  if (pass != std::string::npos) {
    return shown.substr(0, pass + 5) + " (concealed)";
  }
  for (char& c : shown) {
    if (c == '\n' || c == '\r') {
      c = '|';
    }
  }
  return "Send Line: " + shown;
}

std::string LoggedReceivedLine(const std::string& line) {
  static constexpr std::string_view kSetCookie = "set-cookie:";
  if (line.size() >= kSetCookie.size() &&
      NamesEqual(line.substr(0, kSetCookie.size()), kSetCookie)) {
    return "Recv Line: " + line.substr(0, kSetCookie.size()) + " (concealed)";
  }
  return "Recv Line: " + line;
}

void AppendLogLine(Item& item, uint32_t tick, std::string_view text) {
  item.AppendProp(key::kLog, FormatLogLine(tick, text));
  item.SetProp(key::kProcess, text);
}

void LogBudget::Log(Item& item, uint32_t tick, std::string_view text) {
  constexpr size_t kStampAndLineEnd = 14;
  if (Spend(item, tick, text.size() + kStampAndLineEnd)) {
    AppendLogLine(item, tick, text);
  } else {
    item.SetProp(key::kProcess, text);
  }
}

void LogBudget::AppendLines(Item& item, uint32_t tick, std::string_view lines) {
  if (Spend(item, tick, lines.size())) {
    item.AppendProp(key::kLog, lines);
  }
}

bool LogBudget::Spend(Item& item, uint32_t tick, size_t bytes) {
  spent_ += bytes;
  if (spent_ <= kLimitBytes) {
    return true;
  }
  if (!cut_) {
    cut_ = true;
    AppendLogLine(item, tick, "Log too long: the rest of this session's lines are left out.");
  }
  return false;
}

FailOutcome ShortageOutcome(int error) {
  const bool shortage = error == EMFILE || error == ENFILE || error == ENOMEM ||
                        error == kErrorTooManyFiles || error == kErrorNoBuffers;
  return shortage ? FailOutcome::kRetry : FailOutcome::kPermanent;
}

void ApplyFailureOutcome(Item& item, FailOutcome outcome, EventSink& events) {
  switch (outcome) {
    case FailOutcome::kOffline:
      item.SetPropInt(key::kRetryDelay, kOfflineDelay);
      item.SetPropInt(key::kRetryTimeout, kOfflineDelay);
      CountRetry(item);
      item.SetPropInt(key::kStatus, kStatusWaitingToRetry);
      break;
    case FailOutcome::kRetry: {
      item.SetPropInt(key::kStatus, kStatusWaitingToRetry);
      events.RaiseEvent("FAIL");
      CountRetry(item);
      const int delay = NextRetryDelay(item);
      item.SetPropInt(key::kRetryDelay, delay);
      item.SetPropInt(key::kRetryTimeout, delay);
      break;
    }
    case FailOutcome::kPermanent:
      item.SetPropInt(key::kStatus, kStatusFailed);
      events.RaiseEvent("BROKEN");
      break;
    default:
      break;
  }
}

void EndOnRequest(Item& item, int request, EventSink& events) {
  const bool pause = request == kStatusPauseRequested;
  item.SetProp(key::kError, pause ? "User paused transfer." : "User cancelled transfer.");
  item.SetPropInt(key::kStatus, StatusAfterStopRequest(request));
  events.RaiseEvent(pause ? "PAUSE" : "STOP");
}

}  // namespace pellmarsh
