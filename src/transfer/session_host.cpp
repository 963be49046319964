#include "transfer/session_host.h"

namespace pellmarsh {

std::string_view StateName(SessionState state) {
  switch (state) {
    case SessionState::kInit:
      return "Init";
    case SessionState::kConnect:
      return "Connect";
    case SessionState::kConnectWait:
      return "ConnectWait";
    case SessionState::kTlsHandshake:
      return "TlsHandshake";
    case SessionState::kProxyTunnel:
      return "ProxyTunnel";
    case SessionState::kSocksHandshake:
      return "SocksHandshake";
    case SessionState::kDialogue:
      return "Dialogue";
    case SessionState::kStart:
      return "Start";
    case SessionState::kTransfer:
      return "Transfer";
    case SessionState::kComplete:
      return "Complete";
    case SessionState::kDone:
      return "Done";
    case SessionState::kChecking:
      return "Checking";
  }
  return "?";
}

}  // namespace pellmarsh
