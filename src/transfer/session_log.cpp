#include "transfer/session_log.h"

#include <cstdio>

#include "store/item_status.h"

namespace pellmarsh {
namespace {

constexpr int kOfflineDelay = 5;
constexpr int kFirstDelay = 10;
constexpr int kDelayStep = 10;
constexpr int kLongestDelay = 600;

int NextRetryDelay(const Item& item) {
  if (item.GetPropInt("ruderetries") != 0) {
    return 1;
  }
  const int delay = item.GetPropInt("retrydelay");
  if (delay < kFirstDelay) {
    return kFirstDelay;
  }
  return delay < kLongestDelay ? delay + kDelayStep : delay;
}

void CountRetry(Item& item) {
  item.SetPropInt("retrycount", item.GetPropInt("retrycount") + 1);
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
  const size_t pass = buffer.find("PASS ");
  if (pass != std::string::npos) {
    return buffer.substr(0, pass + 5) + " (concealed)";
  }
  std::string shown = buffer;
  for (char& c : shown) {
    if (c == '\n' || c == '\r') {
      c = '|';
    }
  }
  return "Send Line: " + shown;
}

void AppendLogLine(Item& item, uint32_t tick, std::string_view text) {
  item.SetProp("log", item.GetProp("log") + FormatLogLine(tick, text));
  item.SetProp("process", text);
}

void ApplyFailureOutcome(Item& item, int outcome, EventSink& events) {
  switch (outcome) {
    case kOutcomeOffline:
      item.SetPropInt("retrydelay", kOfflineDelay);
      item.SetPropInt("retrytimeout", kOfflineDelay);
      CountRetry(item);
      item.SetPropInt("status", kStatusWaitingToRetry);
      break;
    case kOutcomeRetry: {
      item.SetPropInt("status", kStatusWaitingToRetry);
      events.RaiseEvent("FAIL");
      CountRetry(item);
      const int delay = NextRetryDelay(item);
      item.SetPropInt("retrydelay", delay);
      item.SetPropInt("retrytimeout", delay);
      break;
    }
    case kOutcomePermanent:
      item.SetPropInt("status", kStatusFailed);
      events.RaiseEvent("BROKEN");
      break;
    default:
      break;
  }
}

}  // namespace pellmarsh
