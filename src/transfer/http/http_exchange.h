#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "transfer/http/http_response.h"
#include "transfer/protocol_exchange.h"

namespace pellmarsh {

// HTTP/1.0: one GET per connection, the response header read line by line,
// then the body until the server closes. For https:// all of it inside TLS.
// Why a download with a new address stopped: the bytes it holds are kept
// until the user says to start over.
inline constexpr std::string_view kAnotherFileText =
    "The new address serves another file: start it again to download that one from the start";

class HttpExchange final : public ProtocolExchange {
 public:
  HttpExchange(SessionHost& session, bool overTls);

  bool overTls() const override { return overTls_; }
  SessionState Start() override;
  SessionState TransferStep(size_t byteLimit) override;
  Transfer::Wait NextWait() const override;

 private:
  // The HTTP proxy the requests speak to: none inside a CONNECT tunnel, where
  // the origin itself talks, nor through SOCKS, which carries bytes as they are.
  const Proxy* SpokenProxy() const;
  SessionState ReadHeaderLines();
  // The body's bytes as received: written, or first unchunked.
  SessionState Body(std::string_view bytes);
  // Writes the body's bytes up to where it ends, at the announced length or
  // the part's range end where there is one, else where `bodyEnds` says.
  SessionState WriteBody(std::string_view bytes, bool bodyEnds);
  // A header, from its first byte, has this long to arrive whole.
  bool HeaderTooSlow() const;
  // False when the attempt has ended in it.
  bool HeaderLine(const std::string& line);
  SessionState HeaderComplete();
  SessionState Redirect();
  SessionState CompleteAlreadyWhole();
  // The answer to one part's range request: the asked part of the same file.
  SessionState PartHeader(int64_t rangeEnd);
  // A first answer that shows the file can be fetched in parts: its session
  // holds the body back until the parts take it over as their first.
  bool ServesParts() const;
  // After a new address: false when its answer shows another file than the
  // bytes on disk belong to (the session has failed).
  bool SameFileAsHeld();
  // Names the file as the server says, before its first byte; false when the
  // file could not be opened under the new name (the session has failed).
  bool TakeServersName(const std::string& name);
  // A cookie the server sets during the download's own requests joins its jar.
  void KeepCookie(const std::string& setCookie);
  bool ServesAnotherFile(int64_t held, int64_t served);
  // An error answer: waited out when the server is busy, else final.
  SessionState FailWithAnswer();

  SessionHost& session_;
  const bool overTls_;
  // "transfercode" 0 with line-end conversion switched on: the content type
  // may ask for text.
  const bool typeMayAskForText_;
  HttpHeaderReader header_;
  std::string statusLine_;
  int code_ = 0;
  bool headerDone_ = false;
  bool rangeSent_ = false;
  bool probeSent_ = false;  // the whole file asked as a range, to learn whether parts can be had
  bool holdingBody_ = false;
  int64_t rangeTotal_ = -1;                 // the N of an unsatisfiable range's "*/N"
  int64_t partialTotal_ = -1;               // the N of a partial answer's "a-b/N": the file's size
  int64_t partialStart_ = -1;               // the a of a partial answer's "a-b/N"
  std::optional<int> retryAfter_;           // seconds, from a busy server's Retry-After
  std::optional<std::string> serversName_;  // from Content-Disposition
  std::optional<std::string> serversDigest_;  // "sha256:HEX", from Repr-Digest or Digest
  std::string validator_;                     // the answer's ETag and Last-Modified lines
  std::optional<int64_t> contentLength_;
  std::optional<int64_t> bodyEnd_;  // the file offset the body ends at, when announced
  uint32_t lastReceive_ = 0;
  std::optional<uint32_t> headerStarted_;
  // Some servers chunk their answer even to an HTTP/1.0 request.
  bool chunked_ = false;
  ChunkedBodyDecoder chunks_;
  std::string unchunked_;
};

}  // namespace pellmarsh
