#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "transfer/session_host.h"
#include "transfer/transfer.h"

namespace pellmarsh {

// One protocol's side of one attempt of a session. The session does what
// every transfer shares and calls these hooks from its states. A step hook
// returns the state the session goes on in (its own to stay there); once it
// has failed the session, the session is done whatever it returns.
class ProtocolExchange {
 public:
  virtual ~ProtocolExchange() = default;

  // False for a protocol that needs no connection: Init goes on to Start.
  virtual bool connects() const { return true; }
  // True when the connection's bytes go inside TLS, from its first.
  virtual bool overTls() const { return false; }
  // The connection is up and the save file not yet open: kStart, or
  // kDialogue for a protocol with a dialogue of its own.
  virtual SessionState AfterConnect(uint32_t /*resolvedAddress*/, uint32_t /*serverAddress*/) {
    return SessionState::kStart;
  }
  // One step of that dialogue; kStart once the data may be asked for.
  virtual SessionState DialogueStep() { return SessionState::kStart; }
  // The protocol's part of Start: kTransfer once data may flow.
  virtual SessionState Start() = 0;
  // Moves at most `byteLimit` bytes of file data; kInit starts the attempt over.
  virtual SessionState TransferStep(size_t byteLimit) = 0;
  // What the next dialogue or transfer step waits on.
  virtual Transfer::Wait NextWait() const = 0;
  // The transfer is complete: closes what carried the data.
  virtual void CloseData() {}
  // The dialogue's own step, for the log and for debugging.
  virtual std::string_view StateName() const { return "Dialogue"; }
};

}  // namespace pellmarsh
