// The FTP side of a session: the login dialogue, an active data connection to
// a socket of our own, REST resumes and directory listings.
#include <netinet/in.h>

#include <optional>

#include "store/keys.h"
#include "store/number_text.h"
#include "transfer/ftp_data_socket.h"
#include "transfer/ftp_reply.h"
#include "transfer/session_log.h"
#include "transfer/socket_error_text.h"
#include "transfer/transfer_session.h"

namespace pellmarsh {
namespace {

// Far beyond any real reply: a server that never ends its line must not fill memory.
constexpr size_t kLongestReplyLine = 64 * 1024;
// Refused data connections beyond this many are still closed, just not logged,
// so a flood of them cannot bloat the item's log.
constexpr int kLoggedRefusals = 20;

}  // namespace

bool TransferSession::FtpReserveDataSocket() {
  // The server connects back to the address that reaches it.
  SocketAddress local{INADDR_LOOPBACK, 0};
  if (remoteAddress_ != INADDR_LOOPBACK) {
    if (const int error = mainSocket_.LocalAddress(local); error != 0) {
      Fail("Could not bind ftp data socket: " + SocketErrorText(error), FailOutcome::kRetry);
      return false;
    }
  }
  dataSockAddr_ = {local.address, 0};
  ftpServerAddress_ = remoteSockAddr_.address;
  lastActivity_ = context_.clock.TickCount();
  dataPort_ = 0;
  refusedDataConnections_ = 0;
  Log("Reserving datasocket for FTP");

  TcpListenerCalls calls(listenSocket_);
  const DataListenResult listening = ListenForData(calls, dataSockAddr_);
  if (!listening.failure.empty()) {
    Fail(listening.failure, FailOutcome::kRetry);
    return false;
  }
  dataSockAddr_ = listening.bound;
  dataAddress_ = listening.bound.address;
  dataPort_ = listening.bound.port;
  return true;
}

void TransferSession::FtpStep() {
  if (state_ == SessionState::kFtpDataWait) {
    FtpDataWait();
  } else if (FtpReadReplies()) {
    FtpHandleLines();
  }
}

bool TransferSession::FtpHasWholeLine() const {
  return lineBuffer_.find('\n') != std::string::npos;
}

bool TransferSession::FtpReadReplies() {
  if (SilentTooLong(lastActivity_)) {
    Fail("FTP Command Channel Timeout", FailOutcome::kRetry);
    return false;
  }
  if (FtpHasWholeLine()) {
    return true;
  }
  // Only reply lines count as activity here.
  const std::optional<size_t> got = Receive(mainSocket_, context_.bufferSize, nullptr);
  if (!got) {
    return false;
  }
  if (*got == 0) {
    Fail("FTP Command Channel Closed Prematurely", FailOutcome::kRetry);
    return false;
  }
  lineBuffer_.append(context_.buffer, *got);
  if (!FtpHasWholeLine() && lineBuffer_.size() > kLongestReplyLine) {
    Fail("FTP Command Channel Reply Too Long", FailOutcome::kRetry);
    return false;
  }
  return true;
}

void TransferSession::FtpHandleLines() {
  // A second command would replace one not yet sent, so a queued command ends
  // the loop; lines after the class-1 reply wait for the final reply.
  while (sendBuffer_.empty() && IsFtpCommandState(state_)) {
    const std::optional<std::string> line = TakeReplyLine(lineBuffer_);
    if (!line) {
      return;
    }
    lastActivity_ = context_.clock.TickCount();
    Log("Recv Line: " + *line);
    FtpHandleReply(*line);
  }
}

void TransferSession::FtpHandleReply(const std::string& line) {
  const char replyClass = ReplyClass(line);
  if (replyClass == 0) {
    return;
  }
  if (replyClass == '5' && (state_ == SessionState::kFtpUser || state_ == SessionState::kFtpPass)) {
    Fail("FTP Login Failure: " + line, FailOutcome::kRetry);
    return;
  }
  if (replyClass == '5' && state_ != SessionState::kFtpRest &&
      state_ != SessionState::kFtpRetrieve) {
    Fail("FTP Error: " + line, FailOutcome::kPermanent);
    return;
  }
  if (replyClass == '4') {
    Fail("FTP Failure: " + line, FailOutcome::kRetry);
    return;
  }
  const bool completed = replyClass == '2';
  const bool accepted = completed || replyClass == '3';
  switch (state_) {
    case SessionState::kFtpGreeting:
      if (completed && FtpSend("USER ", item_->GetProp(key::kLogin))) {
        state_ = SessionState::kFtpUser;
      }
      break;
    case SessionState::kFtpUser:
      if (completed) {
        FtpSend("PWD", "");
        state_ = SessionState::kFtpPwd;
      } else if (replyClass == '3' && FtpSend("PASS ", item_->GetProp(key::kPassword))) {
        state_ = SessionState::kFtpPass;
      }
      break;
    case SessionState::kFtpPass:
      if (completed) {
        FtpSend("PWD", "");
        state_ = SessionState::kFtpPwd;
      }
      break;
    case SessionState::kFtpPwd:
      if (completed) {
        FtpSend("TYPE I", "");
        state_ = SessionState::kFtpType;
      }
      break;
    case SessionState::kFtpType:
      if (completed) {
        FtpSend("PORT ", PortArgument(dataAddress_, static_cast<uint16_t>(dataPort_)));
        if (item_->GetPropInt(key::kResume) != 0) {
          state_ = SessionState::kFtpPortResume;
        } else {
          item_->SetPropInt64(key::kFileSize, 0);
          state_ = SessionState::kFtpPort;
        }
      }
      break;
    case SessionState::kFtpPort:
      if (completed) {
        FtpRequestFile();
      }
      break;
    case SessionState::kFtpPortResume:
      if (accepted) {
        FtpSend("REST ", FormatInteger(item_->GetPropInt64(key::kFileSize)));
        state_ = SessionState::kFtpRest;
      }
      break;
    case SessionState::kFtpRest:
      if (replyClass == '5') {
        item_->SetPropInt64(key::kFileSize, 0);  // the server cannot restart: fetch it all
      }
      if (accepted || replyClass == '5') {
        FtpRequestFile();
      }
      break;
    case SessionState::kFtpRetrieve:
      if (replyClass == '5') {
        FtpRetryRefusedPath(line);
      } else if (replyClass == '1') {
        if (const std::optional<int64_t> size = AnnouncedSize(line)) {
          item_->SetPropInt64(key::kSize, *size);
        }
        Log("Waiting for FTP Data Channel...");
        state_ = SessionState::kFtpDataWait;
      }
      break;
    default:
      break;
  }
}

bool TransferSession::FtpSend(std::string_view verb, std::string_view argument) {
  // A line break would end the command early and let the rest pass as a
  // command of its own (a URL could smuggle in a DELE).
  if (!IsSafeCommandArgument(argument)) {
    Fail("Refused to send an FTP command holding a line break.", FailOutcome::kPermanent);
    return false;
  }
  sendBuffer_.assign(verb).append(argument).append("\r\n");
  return true;
}

void TransferSession::FtpRequestFile() {
  // Where a resume takes effect: "filesize" is 0 unless the server accepted REST.
  received_ = item_->GetPropInt64(key::kFileSize);
  saveFile_.SeekTo(received_);
  item_->SetPropInt64(key::kReceived, received_);
  const FileRequest request = RequestForPath(urlParts_->GetProp(key::kFullPath));
  if (request.listing) {
    Log("FTP Directory Mode.  Forcing TEXT.");
    textMode_ = true;
  }
  if (!FtpSend(request.verb, request.argument)) {
    return;
  }
  item_->SetPropInt(key::kWasIndex, request.listing ? 1 : 0);
  state_ = SessionState::kFtpRetrieve;
}

void TransferSession::FtpRetryRefusedPath(const std::string& line) {
  const std::optional<std::string> next = RewriteRefusedPath(urlParts_->GetProp(key::kFullPath));
  if (!next) {
    Fail("FTP Error: " + line, FailOutcome::kPermanent);
    return;
  }
  urlParts_->SetProp(key::kFullPath, *next);
  if (item_->GetPropInt(key::kResume) == 0) {
    FtpRequestFile();
  } else if (FtpSend("REST ", FormatInteger(item_->GetPropInt64(key::kFileSize)))) {
    state_ = SessionState::kFtpRest;
  }
}

void TransferSession::FtpDataWait() {
  if (SilentTooLong(lastActivity_)) {
    Fail("FTP Timeout Waiting for data Channel", FailOutcome::kRetry);
    return;
  }
  SocketAddress peer;
  int error = 0;
  TcpSocket accepted = listenSocket_.Accept(peer, error);
  if (!accepted.valid()) {
    if (error != kErrorWouldBlock) {
      FailReceive(error);
    }
    return;
  }
  // Anyone who can reach the port could otherwise hand us the file's contents.
  if (peer.address != ftpServerAddress_) {
    if (++refusedDataConnections_ <= kLoggedRefusals) {
      Log("Refused a data connection from " + DottedQuad(peer.address) +
          ": not the FTP server's address.");
    }
    return;
  }
  dataConnection_ = std::move(accepted);
  lastActivity_ = context_.clock.TickCount();
  Log("Opening Files...");
  state_ = SessionState::kStart;
}

void TransferSession::FtpTransfer() {
  if (!dataConnection_.valid()) {
    FtpAwaitFinalReply();
    return;
  }
  // A receive of no bytes would read as the end of the file.
  if (stepLimit_ == 0) {
    return;
  }
  const std::optional<size_t> got = Receive(dataConnection_, stepLimit_, &lastActivity_);
  if (!got) {
    return;
  }
  if (*got == 0) {
    dataConnection_.Close();
    return;
  }
  AcceptChunk(context_.buffer, *got);
}

// The end of the data connection looks the same whether the file was sent
// whole or the server gave up half-way; only its reply tells, so a cut-off
// file is retried from the bytes on disk instead of being reported complete.
void TransferSession::FtpAwaitFinalReply() {
  if (!FtpReadReplies()) {
    return;
  }
  while (const std::optional<std::string> line = TakeReplyLine(lineBuffer_)) {
    lastActivity_ = context_.clock.TickCount();
    Log("Recv Line: " + *line);
    const char replyClass = ReplyClass(*line);
    if (replyClass == '2') {
      state_ = SessionState::kComplete;
      return;
    }
    if (replyClass == '4' || replyClass == '5') {
      Fail("FTP Failure: " + *line, FailOutcome::kRetry);
      return;
    }
  }
}

}  // namespace pellmarsh
