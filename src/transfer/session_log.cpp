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
  std::string shown = buffer;
  // The log is shown to the user and saved with the item, and Base64 hides nothing.
  static constexpr std::string_view kBasic = "Authorization: Basic ";
  if (const size_t at = shown.find(kBasic); at != std::string::npos) {
    const size_t value = at + kBasic.size();
    const size_t end = shown.find_first_of("\r\n", value);
    shown.replace(value, end == std::string::npos ? std::string::npos : end - value, "(concealed)");
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

void AppendLogLine(Item& item, uint32_t tick, std::string_view text) {
  item.AppendProp("log", FormatLogLine(tick, text));
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
