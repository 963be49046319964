#include "transfer/http/http_exchange.h"

#include <algorithm>

#include "platform/program_version.h"
#include "store/builtin_tree.h"
#include "store/keys.h"
#include "store/number_text.h"
#include "transfer/base64.h"
#include "transfer/http/retry_after.h"
#include "transfer/proxy/proxy_choice.h"
#include "transfer/resume_servers.h"
#include "transfer/session_log.h"
#include "url/content_disposition.h"
#include "url/cookies.h"
#include "url/local_naming.h"
#include "url/url_parser.h"

namespace pellmarsh {
namespace {

constexpr int kFirstInterim = 100;
constexpr int kLastInterim = 199;
constexpr int kUnauthorized = 401;
constexpr int kRequestTimeout = 408;
constexpr int kProxyAuthenticationRequired = 407;
constexpr int kFirstServerError = 500;
constexpr std::string_view kBadChunks = "Failed HTTP Transfer: malformed chunked body";
constexpr int kRangeNotSatisfiable = 416;
constexpr int kOk = 200;
constexpr int kPartialContent = 206;
constexpr int kTooManyRequests = 429;
constexpr int kInternalServerError = 500;
constexpr int kBadGateway = 502;
constexpr int kServiceUnavailable = 503;
constexpr int kGatewayTimeout = 504;
constexpr std::string_view kUserAgentOfOurs = kUserAgent;
constexpr std::string_view kCutWithoutEnd =
    "The server closed the TLS connection without its closing alert: the body may be cut short.";

bool IsForcedTextType(Item& settings, const std::string& type) {
  Item* folder = settings.FindChild(folder::kHttpText);
  if (!folder || type.empty()) {
    return false;
  }
  const Item* found = folder->FindByName(type);
  return found && found != folder;
}

// Answers that say the server cannot serve now, not that it never will: the
// download waits and asks again rather than giving up.
bool IsBusyAnswer(int code) {
  return code == kRequestTimeout || code == kTooManyRequests || code == kInternalServerError ||
         code == kBadGateway || code == kServiceUnavailable || code == kGatewayTimeout;
}

// Every item gets the new-host entry's anonymous FTP login, a convention HTTP
// does not have: a server asking for credentials gets only those the user
// gave, any other login or this one written in the URL.
bool HasUsersCredentials(const Login& login, const UrlParts& url) {
  if (login.user == kAnonymousLogin) {
    return url.GetProp(key::kUserId) == login.user;
  }
  return !login.user.empty() || !login.password.empty();
}

}  // namespace

HttpExchange::HttpExchange(SessionHost& session, bool overTls)
    : session_(session),
      overTls_(overTls),
      typeMayAskForText_(session.urlItem().GetPropInt(key::kTransferCode) == 0 &&
                         session.context().settings.GetPropInt(setting::kConvertLineEnds) != 0) {}

const Proxy* HttpExchange::SpokenProxy() const {
  const Proxy* proxy = session_.connection().proxy();
  return overTls_ || !proxy || proxy->socks() ? nullptr : proxy;
}

SessionState HttpExchange::Start() {
  Item& item = session_.urlItem();
  const UrlParts& url = session_.urlParts();
  // A line break in the URL would end the request line early and let the rest
  // pass as headers of the URL's choosing; a server may end the line at a NUL
  // and read other control characters as it likes. Items of older data files
  // and relative redirects may still hold them.
  for (const std::string& part :
       {url.GetProp(key::kFullPath), url.GetProp(key::kHostName), item.GetProp(key::kValue),
        item.GetProp(key::kReferrer), item.GetProp(key::kUserAgent)}) {
    if (HoldsControlCharacter(part)) {
      session_.Fail("Refused to send an HTTP request holding a control character.",
                    FailOutcome::kPermanent);
      return SessionState::kDone;
    }
  }
  std::string authorization;
  if (const Login& login = session_.login();
      session_.loginAsked() && HasUsersCredentials(login, url)) {
    authorization =
        "Authorization: Basic " + Base64Encode(login.user + ":" + login.password) + "\r\n";
  }
  rangeSent_ = item.GetPropInt(key::kResume) != 0;
  probeSent_ = !rangeSent_ && item.GetPropInt(key::kRangeProbe) != 0;
  std::string range;
  if (const int64_t rangeEnd = item.GetPropInt64(key::kRangeEnd); rangeEnd > 0) {
    range = "Range: bytes=" + FormatInteger(item.GetPropInt64(key::kRangeStart)) + "-" +
            FormatInteger(rangeEnd - 1) + "\r\n";
  } else if (rangeSent_) {
    range = "Range: bytes=" + FormatInteger(item.GetPropInt64(key::kFileSize)) + "-\r\n";
  } else if (probeSent_) {
    // The whole file, asked so that a server serving parts says so in an
    // answer whose body goes on as the first part.
    range = "Range: bytes=0-\r\n";
  }
  // A proxy is asked for the whole URL.
  const Proxy* proxy = SpokenProxy();
  const std::string target = proxy ? FormatUrl(url) : url.GetProp(key::kFullPath);
  if (proxy) {
    authorization += proxy->AuthorizationLine();
  }
  // A browser's download goes as the browser would ask for it.
  const std::string referrer = item.GetProp(key::kReferrer);
  const std::string agent = item.GetProp(key::kUserAgent);
  std::string cookies = CookieHeaderFor(ParseCookieJar(item.GetProp(key::kCookies)), url,
                                        session_.context().clock.UnixTime());
  if (!cookies.empty()) {
    cookies = "Cookie: " + cookies + "\r\n";
  }
  session_.connection().Send(
      "GET " + target + " HTTP/1.0\r\n" + authorization + range +
      "Host: " + url.GetProp(key::kHostName) +
      "\r\nUser-Agent: " + (agent.empty() ? std::string(kUserAgentOfOurs) : agent) +
      "\r\nAccept: */*\r\nReferer: " + (referrer.empty() ? item.GetProp(key::kValue) : referrer) +
      "\r\n" + cookies + "\r\n");
  lastReceive_ = session_.context().clock.TickCount();
  return SessionState::kTransfer;
}

SessionState HttpExchange::TransferStep(size_t byteLimit) {
  // A receive of no bytes would read as the server closing.
  if (byteLimit == 0) {
    return SessionState::kTransfer;
  }
  if (holdingBody_) {
    holdingBody_ = false;
    return Body(header_.body());
  }
  if (HeaderTooSlow()) {
    session_.connection().FailReceive(kErrorTimedOut);
    return SessionState::kDone;
  }
  const std::optional<size_t> got =
      session_.connection().Receive(session_.connection().mainStream(), byteLimit, &lastReceive_);
  if (!got) {
    return SessionState::kTransfer;
  }
  const char* buffer = session_.context().buffer;
  const bool closed = *got == 0;
  if (headerDone_) {
    if (!closed) {
      return Body(std::string_view(buffer, *got));
    }
  } else {
    if (!headerStarted_ && !closed) {
      headerStarted_ = session_.context().clock.TickCount();
    }
    header_.Append(std::string_view(buffer, *got));
    if (closed) {
      header_.EndOfInput();
    }
    if (const SessionState next = ReadHeaderLines(); next != SessionState::kTransfer) {
      return next;
    }
  }
  if (!closed) {
    return SessionState::kTransfer;
  }
  if (!headerDone_) {
    session_.Fail("Failed HTTP Transfer", FailOutcome::kRetry);
    return SessionState::kDone;
  }
  if (chunked_) {
    // The close came before the last chunk: the body was cut short.
    session_.Fail(kBadChunks, FailOutcome::kRetry);
    return SessionState::kDone;
  }
  if (!bodyEnd_ && session_.connection().mainStream().ClosedWithoutEnd()) {
    // Only the close ends this body, and a TLS close without its alert may be a cut.
    session_.Fail(kCutWithoutEnd, FailOutcome::kRetry);
    return SessionState::kDone;
  }
  return SessionState::kComplete;
}

SessionState HttpExchange::Body(std::string_view bytes) {
  if (!chunked_) {
    return WriteBody(bytes, false);
  }
  unchunked_.clear();
  const ChunkedBodyDecoder::Result result = chunks_.Decode(bytes, unchunked_);
  // What arrived whole before a fault is kept for the resume.
  const SessionState next = WriteBody(unchunked_, result == ChunkedBodyDecoder::Result::kDone);
  if (next != SessionState::kTransfer) {
    return next;
  }
  if (result == ChunkedBodyDecoder::Result::kMalformed) {
    session_.Fail(kBadChunks, FailOutcome::kRetry);
    return SessionState::kDone;
  }
  return SessionState::kTransfer;
}

SessionState HttpExchange::WriteBody(std::string_view bytes, bool bodyEnds) {
  if (bodyEnd_) {
    // A running part gives its back half away when another part has ended.
    if (const int64_t rangeEnd = session_.urlItem().GetPropInt64(key::kRangeEnd);
        rangeEnd > 0 && rangeEnd < *bodyEnd_) {
      bodyEnd_ = rangeEnd;
      session_.urlItem().SetPropInt64(key::kSize, rangeEnd);
    }
    // Bytes past the announced length or the part's range are no part of it,
    // however they are framed, and a server that keeps the connection open
    // after them must not hold the item.
    const int64_t left = std::max<int64_t>(*bodyEnd_ - session_.writer().received(), 0);
    if (static_cast<int64_t>(bytes.size()) >= left) {
      bytes = bytes.substr(0, static_cast<size_t>(left));
      bodyEnds = true;
    }
  }
  if (!session_.writer().Write(bytes.data(), bytes.size())) {
    return SessionState::kDone;
  }
  return bodyEnds ? SessionState::kComplete : SessionState::kTransfer;
}

bool HttpExchange::HeaderTooSlow() const {
  return !headerDone_ && headerStarted_ &&
         session_.context().clock.TickCount() - *headerStarted_ > SessionHost::kDialogueLimitMs;
}

Transfer::Wait HttpExchange::NextWait() const {
  if (holdingBody_) {
    return {};
  }
  return session_.connection().mainStream().NextWait(false);
}

SessionState HttpExchange::ReadHeaderLines() {
  std::string line;
  for (;;) {
    switch (header_.Next(line)) {
      case HttpHeaderReader::Result::kNeedMore:
        return SessionState::kTransfer;
      case HttpHeaderReader::Result::kTooLong:
        session_.Fail("Failed HTTP Transfer", FailOutcome::kRetry);
        return SessionState::kDone;
      case HttpHeaderReader::Result::kLine:
        session_.Log(LoggedReceivedLine(line));
        if (!HeaderLine(line)) {
          return SessionState::kDone;
        }
        break;
      case HttpHeaderReader::Result::kComplete:
        if (code_ >= kFirstInterim && code_ <= kLastInterim) {
          // "100 Continue" and the like come before the real answer.
          header_.StartNextHeader();
          code_ = 0;
          chunked_ = false;
          contentLength_.reset();
          break;
        }
        return HeaderComplete();
    }
  }
}

bool HttpExchange::HeaderLine(const std::string& line) {
  using Kind = HttpHeaderField::Kind;
  Item& item = session_.urlItem();
  const HttpHeaderField field = ParseHttpHeaderField(line);
  switch (field.kind) {
    case Kind::kStatus:
      code_ = field.code;
      statusLine_ = line;
      item.SetProp(key::kLocation, "");
      break;
    case Kind::kLocation:
      item.SetProp(key::kLocation, field.text);
      break;
    case Kind::kContentLength:
      contentLength_ = field.number;
      break;
    case Kind::kContentRange:
      rangeTotal_ = field.unsatisfiedTotal;
      partialTotal_ = field.total;
      partialStart_ = field.number;
      // A negative start would have us write before the file begins; a text
      // file can only go on from exactly where its converted bytes end.
      if (field.number < 0 || item.GetPropInt64(key::kFileSize) < field.number ||
          !session_.writer().CanResumeAt(field.number)) {
        item.SetPropInt(key::kResume, 0);
        session_.Fail("Content-Range specifies data beyond our endpoint.  Trying full transfer...",
                      FailOutcome::kRetry);
        return false;
      }
      session_.writer().ResumeAt(field.number);
      break;
    case Kind::kContentType:
      if (typeMayAskForText_ && IsForcedTextType(session_.context().settings, field.text)) {
        session_.writer().SetTextMode(true);
        session_.Log("Mime Content-Type (" + field.text + ") forces text transfer.");
      }
      break;
    case Kind::kTransferEncoding:
      chunked_ = IsChunkedCoding(field.text);
      break;
    case Kind::kRetryAfter:
      retryAfter_ = RetryAfterSeconds(field.text, session_.context().clock.UnixTime());
      break;
    case Kind::kValidator:
      validator_ += validator_.empty() ? field.text : "; " + field.text;
      break;
    case Kind::kContentDisposition:
      serversName_ = FileNameFromContentDisposition(field.text);
      break;
    case Kind::kSetCookie:
      KeepCookie(field.text);
      break;
    case Kind::kDigest:
      if (!serversDigest_) {
        serversDigest_ = field.text;
      }
      break;
    case Kind::kOther:
      break;
  }
  return true;
}

SessionState HttpExchange::HeaderComplete() {
  Item& item = session_.urlItem();
  // A chunked body's Content-Length is no size of the file (RFC 9112 6.3).
  const bool lengthKnown = contentLength_ && !chunked_;
  if (lengthKnown) {
    item.SetPropInt64(key::kSize, *contentLength_);
  }
  if (code_ == kUnauthorized && !session_.loginAsked() &&
      HasUsersCredentials(session_.login(), session_.urlParts())) {
    return session_.AskAgainWithLogin();
  }
  if (const Proxy* proxy = SpokenProxy();
      proxy && (code_ == kProxyAuthenticationRequired || code_ >= kFirstServerError)) {
    session_.Fail("Failure: " + statusLine_ + " (through proxy " + proxy->Name() + ")",
                  ProxyRefusalOutcome(code_));
    return SessionState::kDone;
  }
  // A part follows a redirect as the whole file does.
  if (code_ > 299 && code_ < 400 && !item.GetProp(key::kLocation).empty()) {
    return Redirect();
  }
  if (const int64_t rangeEnd = item.GetPropInt64(key::kRangeEnd); rangeEnd > 0) {
    return PartHeader(rangeEnd);
  }
  if (code_ > 399) {
    // Asking for the bytes after the end of a file that is already whole, or
    // the whole of an empty one.
    if (code_ == kRangeNotSatisfiable && rangeTotal_ >= 0 &&
        ((rangeSent_ && rangeTotal_ == item.GetPropInt64(key::kFileSize)) ||
         (probeSent_ && rangeTotal_ == 0))) {
      return CompleteAlreadyWhole();
    }
    return FailWithAnswer();
  }
  if (!SameFileAsHeld()) {
    return SessionState::kDone;
  }
  item.SetProp(key::kFileValidator, validator_);
  // A file served from its start brings its own digest or none; a resumed one
  // is the same file, whose digest an earlier answer may have named.
  if (serversDigest_ || code_ == kOk) {
    item.SetProp(key::kServerDigest, serversDigest_.value_or(""));
  }
  if (serversName_ && !TakeServersName(*serversName_)) {
    return SessionState::kDone;
  }
  if (ServesParts()) {
    item.SetPropInt64(key::kRangeTotal, partialTotal_);
    item.SetProp(key::kSegmentValidator, validator_);
    session_.Log("The server serves the file in parts.");
    // Its body is the first part's, written once the parts' map is safe.
    holdingBody_ = true;
  }
  if (item.GetPropInt(key::kResume) != 0) {
    if (IsBuggyResumeServer(item)) {
      item.SetPropInt(key::kResume, 0);
      session_.Fail("BUGGY WEBSERVER CAN'T RESUME.  Restart...", FailOutcome::kRetry);
      return SessionState::kDone;
    }
    // The length of a partial answer counts only the bytes after the range start.
    item.SetPropInt64(key::kSize, item.GetPropInt64(key::kSize) + session_.writer().received());
  }
  // A partial answer names the whole file's size: an answer that ends before
  // it is a short transfer, not a complete one, whether a range was asked for
  // or not.
  if (partialTotal_ >= 0) {
    item.SetPropInt64(key::kSize, partialTotal_);
  }
  if (lengthKnown && *contentLength_ >= 0) {
    bodyEnd_ = session_.writer().received() + *contentLength_;
  }
  item.SetPropInt(key::kResume, 1);
  item.SetPropInt64(key::kFileTotal,
                    lengthKnown || partialTotal_ >= 0 ? item.GetPropInt64(key::kSize) : 0);
  session_.Log("HTTP Header complete.  Switching to data mode.");
  headerDone_ = true;
  return holdingBody_ ? SessionState::kTransfer : Body(header_.body());
}

void HttpExchange::KeepCookie(const std::string& setCookie) {
  Item& item = session_.urlItem();
  const int64_t now = session_.context().clock.UnixTime();
  if (std::optional<Cookie> cookie = ParseSetCookie(setCookie, session_.urlParts(), now)) {
    CookieJar jar = ParseCookieJar(item.GetProp(key::kCookies));
    StoreCookie(jar, std::move(*cookie), now);
    item.SetProp(key::kCookies, FormatCookieJar(jar));
  }
}

bool HttpExchange::TakeServersName(const std::string& name) {
  Item& item = session_.urlItem();
  // Bytes on disk keep the name they are under; a name the user chose stays.
  if (item.GetPropInt(key::kNamedByUser) != 0 || session_.writer().received() > 0 ||
      item.GetPropInt64(key::kFileSize) > 0 || item.GetPropInt64(key::kRangeEnd) > 0) {
    return true;
  }
  if (RenameForServer(session_.context().localNames, item, name)) {
    session_.Log("Saving as " + item.GetProp(key::kName) +
                 ", the name the server gives (Content-Disposition).");
    return session_.writer().Reopen();
  }
  return true;
}

bool HttpExchange::SameFileAsHeld() {
  Item& item = session_.urlItem();
  const int64_t held = item.GetPropInt64(key::kRefreshedTotal);
  if (held <= 0) {
    return true;
  }
  const int64_t served = partialTotal_ >= 0                           ? partialTotal_
                         : contentLength_ && !chunked_ && !rangeSent_ ? *contentLength_
                                                                      : -1;
  const std::string heldValidator = item.GetProp(key::kFileValidator);
  if (served != held ||
      (!heldValidator.empty() && !validator_.empty() && heldValidator != validator_)) {
    return ServesAnotherFile(held, served);
  }
  item.SetProp(key::kRefreshedTotal, "");
  session_.Log("The new address serves the same file: going on from its bytes.");
  return true;
}

bool HttpExchange::ServesAnotherFile(int64_t held, int64_t served) {
  Item& item = session_.urlItem();
  item.SetPropInt(key::kOtherFile, 1);
  session_.Fail(std::string(kAnotherFileText) + " (" +
                    (served < 0 ? "of unknown size" : std::to_string(served) + " bytes") +
                    ", the download holds parts of " + std::to_string(held) + ").",
                FailOutcome::kPermanent);
  return false;
}

bool HttpExchange::ServesParts() const {
  return probeSent_ && code_ == kPartialContent && partialStart_ == 0 && !chunked_ &&
         partialTotal_ >= session_.context().settings.GetPropInt64(setting::kSegmentMinSize) &&
         !session_.writer().textMode();
}

SessionState HttpExchange::FailWithAnswer() {
  if (!IsBusyAnswer(code_)) {
    session_.Fail("Failure: " + statusLine_, FailOutcome::kPermanent);
    return SessionState::kDone;
  }
  Item& item = session_.urlItem();
  session_.Fail("Failure: " + statusLine_, FailOutcome::kRetry);
  if (retryAfter_) {
    item.SetPropInt(key::kRetryTimeout, std::max(*retryAfter_, 1));
    // A part told when to come back is no connection the server refuses.
    if (item.GetPropInt64(key::kRangeEnd) > 0) {
      session_.NoteRangeFault(RangeFault::kBusy);
    }
  }
  return SessionState::kDone;
}

SessionState HttpExchange::PartHeader(int64_t rangeEnd) {
  Item& item = session_.urlItem();
  // The file ends before the part begins: it shrank on the server.
  if (code_ == kRangeNotSatisfiable) {
    session_.NoteRangeFault(RangeFault::kChanged);
    session_.Fail("The file on the server has changed since this download began.",
                  FailOutcome::kRetry);
    return SessionState::kDone;
  }
  if (code_ > 399) {
    return FailWithAnswer();
  }
  if (code_ == kOk) {
    session_.NoteRangeFault(RangeFault::kWhole);
    session_.Fail("The server answered a range request with the whole file.", FailOutcome::kRetry);
    return SessionState::kDone;
  }
  // A redirect, another total or another validator: the file is not the one
  // the other parts hold.
  if (code_ != kPartialContent || partialStart_ != item.GetPropInt64(key::kRangeStart) ||
      partialTotal_ != item.GetPropInt64(key::kRangeTotal) ||
      validator_ != item.GetProp(key::kSegmentValidator)) {
    session_.NoteRangeFault(RangeFault::kChanged);
    session_.Fail("The file on the server has changed since this download began.",
                  FailOutcome::kRetry);
    return SessionState::kDone;
  }
  item.SetPropInt64(key::kSize, rangeEnd);
  bodyEnd_ = rangeEnd;
  item.SetPropInt(key::kResume, 1);
  session_.Log("HTTP Header complete.  Switching to data mode.");
  headerDone_ = true;
  return Body(header_.body());
}

SessionState HttpExchange::Redirect() {
  Item& item = session_.urlItem();
  const std::string location = item.GetProp(key::kLocation);
  item.SetProp(key::kLocation, "");
  return session_.FollowRedirect(code_, location);
}

SessionState HttpExchange::CompleteAlreadyWhole() {
  const int64_t whole = rangeTotal_;
  session_.urlItem().SetPropInt64(key::kSize, whole);
  // Completion cuts the file where writing stands: that is its end here.
  session_.writer().ResumeAt(whole);
  return SessionState::kComplete;
}

}  // namespace pellmarsh
