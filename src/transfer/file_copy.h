#pragma once

#include "platform/unique_fd.h"
#include "transfer/protocol_exchange.h"

namespace pellmarsh {

// A file URL: the local file copied through the session's writer, one read a
// step. No connection and no dialogue.
class FileCopy final : public ProtocolExchange {
 public:
  explicit FileCopy(SessionHost& session) : session_(session) {}

  bool connects() const override { return false; }
  SessionState Start() override;
  SessionState TransferStep(size_t byteLimit) override;
  Transfer::Wait NextWait() const override { return {}; }
  void CloseData() override { source_.Reset(); }

 private:
  SessionHost& session_;
  UniqueFd source_;
};

}  // namespace pellmarsh
