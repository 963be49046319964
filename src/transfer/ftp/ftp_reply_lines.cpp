#include "transfer/ftp/ftp_reply_lines.h"

#include "transfer/ftp/ftp_reply.h"

namespace pellmarsh {

bool FtpReplyLines::Append(const char* bytes, size_t count, uint32_t now) {
  if (!started_) {
    started_ = now;
  }
  text_.append(bytes, count);
  return HasWholeLine() || text_.size() <= kLongestLine;
}

std::optional<std::string> FtpReplyLines::Take(uint32_t now, bool& tooLong) {
  std::optional<std::string> line = TakeReplyLine(text_);
  if (!line) {
    return line;
  }
  replyBytes_ += line->size() + 1;
  if (replyBytes_ > kLongestReply) {
    tooLong = true;
    return std::nullopt;
  }
  // A reply ends with its numbered line; what follows it starts the next.
  if (ReplyClass(*line) != 0) {
    replyBytes_ = 0;
    RestartClock(now);
  }
  return line;
}

bool FtpReplyLines::Overdue(uint32_t now, uint32_t limit) const {
  return started_ && now - *started_ > limit;
}

void FtpReplyLines::RestartClock(uint32_t now) {
  started_ = text_.empty() ? std::nullopt : std::optional<uint32_t>(now);
}

}  // namespace pellmarsh
