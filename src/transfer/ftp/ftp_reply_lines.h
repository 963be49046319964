#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pellmarsh {

// The command connection's replies as they arrive, taken a whole line at a
// time, within the limits that keep a server from filling memory, the log,
// or a connection slot for ever.
class FtpReplyLines {
 public:
  // Far beyond any real reply: a server that never ends its line must not fill
  // memory, nor one that never ends a multi-line reply the item's log.
  static constexpr size_t kLongestLine = 64 * 1024;
  static constexpr size_t kLongestReply = 256 * 1024;
  static constexpr std::string_view kTooLong = "FTP Command Channel Reply Too Long";

  // Received bytes, at `now`; false when they make a line too long.
  bool Append(const char* bytes, size_t count, uint32_t now);
  bool HasWholeLine() const { return text_.find('\n') != std::string::npos; }
  // The next whole line, at `now`; nothing until one has arrived, or once
  // the reply is too long (`tooLong`).
  std::optional<std::string> Take(uint32_t now, bool& tooLong);
  // The reply being received began more than `limit` ms before `now`.
  bool Overdue(uint32_t now, uint32_t limit) const;
  // The reply's time starts at `now` for what has already arrived of it.
  void RestartClock(uint32_t now);

 private:
  std::string text_;  // not yet taken as lines
  // The reply being received: when its first byte came and its lines' bytes.
  std::optional<uint32_t> started_;
  size_t replyBytes_ = 0;
};

}  // namespace pellmarsh
