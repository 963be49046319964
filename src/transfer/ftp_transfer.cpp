// The FTP side of a session.
#include "transfer/session_log.h"
#include "transfer/transfer_session.h"

namespace pellmarsh {

bool TransferSession::FtpReserveDataSocket() {
  Fail("FTP transfers are not available in this build.", kOutcomePermanent);
  return false;
}

void TransferSession::FtpStep() {}

void TransferSession::FtpTransfer() {}

}  // namespace pellmarsh
