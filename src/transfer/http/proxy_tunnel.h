#pragma once

#include <cstdint>
#include <string>

#include "transfer/http/http_response.h"
#include "transfer/proxy/proxy_choice.h"
#include "transfer/session_host.h"

namespace pellmarsh {

// The CONNECT exchange that has a proxy open a tunnel to an https origin,
// before any TLS: the request goes out through the session's send, and the
// proxy's answer is read until its header ends.
class ProxyTunnel {
 public:
  ProxyTunnel(SessionHost& session, const Proxy& proxy);

  // Queues the CONNECT request for the URL's host and port; false when it
  // has failed the session instead.
  bool Request();
  // True once the tunnel carries the origin's bytes; false while the answer
  // is still coming and when it has failed the session.
  bool Step();

 private:
  bool AnswerComplete();

  SessionHost& session_;
  const Proxy& proxy_;
  HttpHeaderReader header_;
  std::string statusLine_;
  int code_ = 0;
  uint32_t lastReceive_ = 0;
  uint32_t requested_ = 0;
};

}  // namespace pellmarsh
