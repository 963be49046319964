// The HTTP side of a session.
#include "transfer/session_log.h"
#include "transfer/transfer_session.h"

namespace pellmarsh {

void TransferSession::HttpStart() {
  Fail("HTTP transfers are not available in this build.", kOutcomePermanent);
}

void TransferSession::HttpTransfer() {}

}  // namespace pellmarsh
