#include "transfer/http/proxy_tunnel.h"

#include "platform/program_version.h"
#include "store/keys.h"
#include "url/url_parser.h"

namespace pellmarsh {
namespace {

constexpr int kFirstSuccess = 200;
constexpr int kLastSuccess = 299;
// Receives stop short of the end of the answer's header, so no byte of the
// origin's TLS is ever taken for it.
constexpr size_t kAnswerReceive = 1;

}  // namespace

ProxyTunnel::ProxyTunnel(SessionHost& session, const Proxy& proxy)
    : session_(session), proxy_(proxy) {}

bool ProxyTunnel::Request() {
  const UrlParts& url = session_.urlParts();
  const Proxy origin{url.GetProp(key::kHostName), url.GetPropInt(key::kPort), "", ""};
  const std::string target = origin.Name();
  // A line break in the host would end the request line early: the proxy
  // would take what follows as headers and requests of the URL's choosing,
  // with our credentials after them.
  if (HoldsControlCharacter(target)) {
    session_.Fail("Refused to send a proxy CONNECT request holding a control character.",
                  FailOutcome::kPermanent);
    return false;
  }
  session_.connection().Send("CONNECT " + target + " HTTP/1.1\r\nHost: " + target +
                             "\r\nUser-Agent: " + std::string(kUserAgent) + "\r\n" +
                             proxy_.AuthorizationLine() + "\r\n");
  requested_ = lastReceive_ = session_.context().clock.TickCount();
  return true;
}

bool ProxyTunnel::Step() {
  if (session_.context().clock.TickCount() - requested_ > SessionHost::kDialogueLimitMs) {
    session_.connection().FailReceive(kErrorTimedOut);
    return false;
  }
  const std::optional<size_t> got = session_.connection().Receive(
      session_.connection().mainStream(), kAnswerReceive, &lastReceive_);
  if (!got) {
    return false;
  }
  if (*got == 0) {
    header_.EndOfInput();
  } else {
    header_.Append(std::string_view(session_.context().buffer, *got));
  }
  std::string line;
  for (;;) {
    switch (header_.Next(line)) {
      case HttpHeaderReader::Result::kNeedMore:
        if (*got == 0) {
          session_.Fail("Proxy " + proxy_.Name() + " closed the connection before its answer.",
                        FailOutcome::kRetry);
          return false;
        }
        return false;
      case HttpHeaderReader::Result::kTooLong:
        session_.Fail("Proxy " + proxy_.Name() + " gave no answer to read.", FailOutcome::kRetry);
        return false;
      case HttpHeaderReader::Result::kLine:
        session_.Log("Recv Line: " + line);
        if (statusLine_.empty()) {
          statusLine_ = line;
          code_ = ParseHttpHeaderField(line).code;
        }
        break;
      case HttpHeaderReader::Result::kComplete:
        return AnswerComplete();
    }
  }
}

bool ProxyTunnel::AnswerComplete() {
  if (code_ >= kFirstSuccess && code_ <= kLastSuccess) {
    session_.Log("Proxy " + proxy_.Name() + " opened the tunnel.");
    return true;
  }
  session_.Fail("Proxy " + proxy_.Name() + " refused the tunnel: " + statusLine_,
                ProxyRefusalOutcome(code_));
  return false;
}

}  // namespace pellmarsh
