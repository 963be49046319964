// The HTTP side of a session: one GET per connection, the response header
// read line by line, then the body until the server closes.
#include <sys/stat.h>
#include <unistd.h>

#include "store/keys.h"
#include "store/number_text.h"
#include "transfer/base64.h"
#include "transfer/http_response.h"
#include "transfer/resume_servers.h"
#include "transfer/session_log.h"
#include "transfer/transfer_session.h"
#include "url/local_naming.h"

namespace pellmarsh {
namespace {

constexpr int kUnauthorized = 401;
constexpr int kRangeNotSatisfiable = 416;

// "local" may name a device or a directory; only a file of our own may go.
void DeleteRegularFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    ::unlink(path.c_str());
  }
}

bool IsForcedTextType(Item& settings, const std::string& type) {
  Item* folder = settings.FindChild("nkw-httptext");
  if (!folder || type.empty()) {
    return false;
  }
  const Item* found = folder->FindByName(type);
  return found && found != folder;
}

bool SameServer(const UrlParts& a, const UrlParts& b) {
  return a.GetProp(key::kProtocol) == b.GetProp(key::kProtocol) &&
         NamesEqual(a.GetProp(key::kHostName), b.GetProp(key::kHostName)) &&
         a.GetProp(key::kPort) == b.GetProp(key::kPort);
}

// The first server's credentials never travel to the server a redirect names:
// that one gets what the settings give for its own host.
void CredentialsForRedirect(Item& root, LocalNameRegistry& names, const UrlParts& from,
                            Item& item) {
  std::string location = item.GetProp(key::kLocation);
  const std::unique_ptr<UrlParts> target = ParseUrl(location);
  const bool parsed = target->GetProp(key::kError).empty();
  if (parsed && SameServer(from, *target)) {
    return;
  }
  item.SetPropInt(key::kHttpAuth, 0);
  item.SetProp(key::kLogin, "");
  item.SetProp(key::kPassword, "");
  if (parsed) {
    ChooseNewItemSettings(root, names, *target, item);
  }
}

}  // namespace

void TransferSession::HttpStart() {
  // A line break in the URL would end the request line early and let the rest
  // pass as headers of the URL's choosing.
  for (const std::string& part :
       {urlParts_->GetProp(key::kFullPath), urlParts_->GetProp(key::kHostName),
        item_->GetProp(key::kValue)}) {
    if (part.find_first_of("\r\n") != std::string::npos) {
      Fail("Refused to send an HTTP request holding a line break.", FailOutcome::kPermanent);
      return;
    }
  }
  std::string authorization;
  if (item_->GetPropInt(key::kHttpAuth) != 0) {
    authorization =
        "Authorization: Basic " +
        Base64Encode(item_->GetProp(key::kLogin) + ":" + item_->GetProp(key::kPassword)) + "\r\n";
  }
  httpRangeSent_ = item_->GetPropInt(key::kResume) != 0;
  std::string range;
  if (httpRangeSent_) {
    range = "Range: bytes=" + FormatInteger(item_->GetPropInt64(key::kFileSize)) + "-\r\n";
  }
  sendBuffer_ =
      "GET " + urlParts_->GetProp(key::kFullPath) + " HTTP/1.0\r\n" + authorization + range +
      "Host: " + urlParts_->GetProp(key::kHostName) +
      "\r\nUser-Agent: Pellmarsh 1.2\r\nAccept: *\r\nReferer: " + item_->GetProp(key::kValue) +
      "\r\n\r\n";
  lineBuffer_.clear();
  httpHeader_.Reset();
  statusLine_.clear();
  httpCode_ = 0;
  headerDone_ = false;
  httpRangeTotal_ = -1;
  httpLastReceive_ = context_.clock.TickCount();
  state_ = SessionState::kTransfer;
}

void TransferSession::HttpTransfer() {
  // A receive of no bytes would read as the server closing.
  if (stepLimit_ == 0) {
    return;
  }
  const std::optional<size_t> got = Receive(mainSocket_, stepLimit_, &httpLastReceive_);
  if (!got) {
    return;
  }
  const bool closed = *got == 0;
  if (headerDone_) {
    if (!closed && !AcceptChunk(context_.buffer, *got)) {
      return;
    }
  } else {
    httpHeader_.Append(std::string_view(context_.buffer, *got));
    if (closed) {
      httpHeader_.EndOfInput();
    }
    if (!HttpReadHeaderLines()) {
      return;
    }
  }
  if (closed) {
    if (headerDone_) {
      state_ = SessionState::kComplete;
    } else {
      Fail("Failed HTTP Transfer", FailOutcome::kRetry);
    }
  }
}

bool TransferSession::HttpReadHeaderLines() {
  std::string line;
  for (;;) {
    switch (httpHeader_.Next(line)) {
      case HttpHeaderReader::Result::kNeedMore:
        return true;
      case HttpHeaderReader::Result::kTooLong:
        Fail("Failed HTTP Transfer", FailOutcome::kRetry);
        return false;
      case HttpHeaderReader::Result::kLine:
        Log("Recv Line: " + line);
        if (!HttpHeaderLine(line)) {
          return false;
        }
        break;
      case HttpHeaderReader::Result::kComplete:
        return HttpHeaderComplete();
    }
  }
}

bool TransferSession::HttpHeaderLine(const std::string& line) {
  using Kind = HttpHeaderField::Kind;
  const HttpHeaderField field = ParseHttpHeaderField(line);
  switch (field.kind) {
    case Kind::kStatus:
      httpCode_ = field.code;
      statusLine_ = line;
      item_->SetProp(key::kLocation, "");
      break;
    case Kind::kLocation:
      item_->SetProp(key::kLocation, field.text);
      break;
    case Kind::kContentLength:
      item_->SetPropInt64(key::kSize, field.number);
      break;
    case Kind::kContentRange:
      httpRangeTotal_ = field.unsatisfiedTotal;
      // A negative start would have us write before the file begins.
      if (field.number < 0 || item_->GetPropInt64(key::kFileSize) < field.number) {
        item_->SetPropInt(key::kResume, 0);
        Fail("Content-Range specifies data beyond our endpoint.  Trying full transfer...",
             FailOutcome::kRetry);
        return false;
      }
      saveFile_.SeekTo(field.number);
      received_ = field.number;
      item_->SetPropInt64(key::kReceived, received_);
      break;
    case Kind::kContentType:
      if (transferCode_ == 0 && IsForcedTextType(context_.settings, field.text)) {
        textMode_ = true;
        Log("Mime Content-Type (" + field.text + ") forces text transfer.");
      }
      break;
    case Kind::kOther:
      break;
  }
  return true;
}

bool TransferSession::HttpHeaderComplete() {
  if (httpCode_ == kUnauthorized && item_->GetPropInt(key::kHttpAuth) == 0) {
    item_->SetPropInt(key::kHttpAuth, 1);
    // Starting over with the credentials keeps a partial file a resume
    // depends on; Reset removes the save file only when it is empty.
    Reset();
    return false;
  }
  if (httpCode_ > 399) {
    // Asking for the bytes after the end of a file that is already whole.
    if (httpCode_ == kRangeNotSatisfiable && httpRangeSent_ && httpRangeTotal_ >= 0 &&
        httpRangeTotal_ == item_->GetPropInt64(key::kFileSize)) {
      HttpCompleteAlreadyWhole();
      return false;
    }
    Fail("Failure: " + statusLine_, FailOutcome::kPermanent);
    return false;
  }
  if (httpCode_ > 299 && !item_->GetProp(key::kLocation).empty()) {
    HttpRedirect();
    return false;
  }
  if (item_->GetPropInt(key::kResume) != 0) {
    if (IsBuggyResumeServer(*item_)) {
      item_->SetPropInt(key::kResume, 0);
      Fail("BUGGY WEBSERVER CAN'T RESUME.  Restart...", FailOutcome::kRetry);
      return false;
    }
    // The length of a partial answer counts only the bytes after the range start.
    item_->SetPropInt64(key::kSize, item_->GetPropInt64(key::kSize) + received_);
  }
  item_->SetPropInt(key::kResume, 1);
  Log("HTTP Header complete.  Switching to data mode.");
  headerDone_ = true;
  const std::string_view body = httpHeader_.body();
  return AcceptChunk(body.data(), body.size());
}

void TransferSession::HttpRedirect() {
  saveFile_.Close();
  DeleteRegularFile(item_->GetProp(key::kLocal));
  RenameForRedirect(context_.localNames, *item_);
  const std::string location = item_->GetProp(key::kLocation);
  CredentialsForRedirect(context_.settings, context_.localNames, *urlParts_, *item_);
  item_->SetProp(key::kValue, location);
  const std::string text = "HTTP Redirect " + std::to_string(httpCode_) + " to: " + location;
  item_->SetProp(key::kLocation, "");
  Fail(text, FailOutcome::kRetry);
}

void TransferSession::HttpCompleteAlreadyWhole() {
  const int64_t whole = httpRangeTotal_;
  item_->SetPropInt64(key::kSize, whole);
  received_ = whole;
  item_->SetPropInt64(key::kReceived, whole);
  // Completion cuts the file where writing stands: that is its end here.
  saveFile_.SeekTo(whole);
  state_ = SessionState::kComplete;
}

}  // namespace pellmarsh
