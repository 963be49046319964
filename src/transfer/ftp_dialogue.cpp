#include "transfer/ftp_dialogue.h"

#include <netinet/in.h>

#include <iterator>

#include "store/keys.h"
#include "store/number_text.h"
#include "transfer/ftp_data_socket.h"
#include "transfer/ftp_reply.h"
#include "transfer/session_log.h"
#include "transfer/socket_error_text.h"
#include "url/ftp_data_memory.h"

namespace pellmarsh {
namespace {

// Far beyond any real reply: a server that never ends its line must not fill
// memory, nor one that never ends a multi-line reply the item's log.
constexpr size_t kLongestReplyLine = 64 * 1024;
constexpr size_t kLongestReply = 256 * 1024;
constexpr std::string_view kReplyTooLong = "FTP Command Channel Reply Too Long";
// Refused data connections beyond this many are still closed, just not logged,
// so a flood of them cannot bloat the item's log.
constexpr int kLoggedRefusals = 20;

}  // namespace

struct FtpDialogue::Reply {
  const std::string& line;
  char replyClass;

  bool completed() const { return replyClass == '2'; }
  bool accepted() const { return completed() || replyClass == '3'; }
  bool refused() const { return replyClass == '5'; }
};

struct FtpDialogue::Step {
  // What a class-5 reply does in a command state, before its handler sees it.
  enum class Refusal { kError, kLoginFailure, kHandled };

  std::string_view name;
  ReplyHandler onReply;  // none outside the command states
  Refusal refusal;
};

const FtpDialogue::Step& FtpDialogue::StepOf(FtpState state) {
  using enum Step::Refusal;
  // In the order of FtpState.
  static constexpr Step kSteps[] = {
      {"FtpGreeting", &FtpDialogue::OnGreeting, kError},
      {"FtpUser", &FtpDialogue::OnUser, kLoginFailure},
      {"FtpPass", &FtpDialogue::OnPass, kLoginFailure},
      {"FtpPwd", &FtpDialogue::OnPwd, kError},
      {"FtpType", &FtpDialogue::OnType, kError},
      {"FtpEpsv", &FtpDialogue::OnEpsv, kHandled},
      {"FtpPasv", &FtpDialogue::OnPasv, kHandled},
      {"FtpPassiveConnect", nullptr, kError},
      {"FtpPassiveSocks", nullptr, kError},
      {"FtpPort", &FtpDialogue::OnPort, kHandled},
      {"FtpPortResume", &FtpDialogue::OnPortResume, kHandled},
      {"FtpRest", &FtpDialogue::OnRest, kHandled},
      {"FtpRetrieve", &FtpDialogue::OnRetrieve, kHandled},
      {"FtpDataWait", nullptr, kError},
      {"FtpData", nullptr, kError},
      {"FtpFinalReply", nullptr, kError},
  };
  static_assert(std::size(kSteps) == static_cast<size_t>(FtpState::kFinalReply) + 1);
  return kSteps[static_cast<size_t>(state)];
}

FtpDialogue::FtpDialogue(SessionHost& session)
    : session_(session), fullPath_(session.urlParts().GetProp(key::kFullPath)) {}

std::string_view FtpDialogue::StateName() const {
  return StepOf(state_).name;
}

SessionState FtpDialogue::AfterConnect(uint32_t resolvedAddress, uint32_t serverAddress) {
  resolvedAddress_ = resolvedAddress;
  serverAddress_ = serverAddress;
  if (session_.mainSocket().PeerAddress(serverPeer_) != 0) {
    serverPeer_ = {};
  }
  lastActivity_ = session_.context().clock.TickCount();
  FtpDataMode mode = session_.context().settings.GetPropEnum(setting::kFtpMode);
  if (const Proxy* proxy = session_.proxy(); proxy && proxy->socks()) {
    if (mode == FtpDataMode::kActiveOnly) {
      session_.Log("Using passive FTP: through a SOCKS proxy the server cannot connect back.");
    }
    mode = FtpDataMode::kPassiveOnly;
  }
  const std::string remembered = RememberedFtpDataCommand(
      session_.context().settings, session_.urlParts().GetProp(key::kHostName));
  dataCommands_ = DataCommandOrder(mode, remembered);
  const FtpDataCommand first = dataCommands_.front();
  if (first != DataCommandOrder(mode, "").front()) {
    session_.Log("Using " + std::string(DataCommandName(first)) +
                 " first: it worked with this host before.");
  }
  // An active-only session fails at once, as ever, when it cannot listen.
  if (first == FtpDataCommand::kPort && !ReserveDataSocket()) {
    return SessionState::kDone;
  }
  return SessionState::kDialogue;
}

bool FtpDialogue::ReserveDataSocket() {
  // The server connects back to the address that reaches it.
  SocketAddress local{INADDR_LOOPBACK, 0};
  if (resolvedAddress_ != INADDR_LOOPBACK) {
    if (const int error = session_.mainSocket().LocalAddress(local); error != 0) {
      session_.Fail("Could not bind ftp data socket: " + SocketErrorText(error),
                    FailOutcome::kRetry);
      return false;
    }
  }
  session_.Log("Reserving datasocket for FTP");
  TcpListenerCalls calls(listenSocket_, local.family);
  local.port = 0;
  const DataListenResult listening = ListenForData(calls, local);
  if (!listening.failure.empty()) {
    session_.Fail(listening.failure, FailOutcome::kRetry);
    return false;
  }
  dataAddress_ = listening.bound;
  return true;
}

SessionState FtpDialogue::DialogueStep() {
  if (state_ == FtpState::kPassiveConnect) {
    return AwaitPassiveConnect();
  }
  if (state_ == FtpState::kPassiveSocks) {
    return AwaitPassiveSocks();
  }
  if (state_ == FtpState::kDataWait) {
    // A passive data connection is already up.
    return passive_ ? DataChannelOpen() : AcceptDataConnection();
  }
  if (ReadReplies()) {
    HandleLines();
  }
  return SessionState::kDialogue;
}

SessionState FtpDialogue::Start() {
  session_.urlItem().SetPropInt(key::kResume, 1);
  return SessionState::kTransfer;
}

Transfer::Wait FtpDialogue::NextWait() const {
  switch (state_) {
    case FtpState::kPassiveConnect:
      return {dataConnection_.fd(), true};
    case FtpState::kPassiveSocks:
      return dataSocks_->NextWait(dataConnection_);
    case FtpState::kDataWait:
      return passive_ ? Transfer::Wait{} : Transfer::Wait{listenSocket_.fd(), false};
    case FtpState::kData:
      return {dataConnection_.fd(), false};
    default:
      // Lines held back behind a command need no new bytes to be handled.
      return HasWholeLine() ? Transfer::Wait{} : Transfer::Wait{session_.mainSocket().fd(), false};
  }
}

bool FtpDialogue::HasWholeLine() const {
  return lines_.find('\n') != std::string::npos;
}

bool FtpDialogue::ReadReplies() {
  if (session_.SilentTooLong(lastActivity_)) {
    return LoseCommandChannel("FTP Command Channel Timeout");
  }
  if (replyStarted_ &&
      session_.context().clock.TickCount() - *replyStarted_ > SessionHost::kDialogueLimitMs) {
    return LoseCommandChannel("Receive Error: " + SocketErrorText(kErrorTimedOut));
  }
  if (HasWholeLine()) {
    return true;
  }
  // Only reply lines count as activity here.
  const std::optional<size_t> got =
      session_.Receive(session_.mainSocket(), session_.context().bufferSize, nullptr);
  if (!got) {
    return false;
  }
  if (*got == 0) {
    return LoseCommandChannel("FTP Command Channel Closed Prematurely");
  }
  if (!replyStarted_) {
    replyStarted_ = session_.context().clock.TickCount();
  }
  lines_.append(session_.context().buffer, *got);
  if (!HasWholeLine() && lines_.size() > kLongestReplyLine) {
    session_.Fail(kReplyTooLong, FailOutcome::kRetry);
    return false;
  }
  return true;
}

bool FtpDialogue::LoseCommandChannel(std::string_view message) {
  if (state_ == FtpState::kFinalReply && WholeFileArrived()) {
    session_.Log(message);
    wholeWithoutFinalReply_ = true;
    return false;
  }
  session_.Fail(message, FailOutcome::kRetry);
  return false;
}

bool FtpDialogue::WholeFileArrived() const {
  return announcedSize_ && session_.writer().received() == *announcedSize_;
}

std::optional<std::string> FtpDialogue::TakeLine() {
  std::optional<std::string> line = TakeReplyLine(lines_);
  if (!line) {
    return line;
  }
  const uint32_t now = session_.context().clock.TickCount();
  lastActivity_ = now;
  replyBytes_ += line->size() + 1;
  if (replyBytes_ > kLongestReply) {
    session_.Fail(kReplyTooLong, FailOutcome::kRetry);
    return std::nullopt;
  }
  session_.Log("Recv Line: " + *line);
  // A reply ends with its numbered line; what follows it starts the next.
  if (ReplyClass(*line) != 0) {
    replyBytes_ = 0;
    replyStarted_ = lines_.empty() ? std::nullopt : std::optional<uint32_t>(now);
  }
  return line;
}

void FtpDialogue::HandleLines() {
  // A second command would replace one not yet sent, so a queued command ends
  // the loop; lines after the class-1 reply wait for the final reply.
  while (!session_.Sending() && StepOf(state_).onReply) {
    const std::optional<std::string> line = TakeLine();
    if (!line) {
      return;
    }
    const Next next = HandleReply(*line);
    if (!next) {
      return;
    }
    state_ = *next;
  }
}

FtpDialogue::Next FtpDialogue::HandleReply(const std::string& line) {
  const Reply reply{line, ReplyClass(line)};
  if (reply.replyClass == 0) {
    return state_;
  }
  const Step& step = StepOf(state_);
  if (reply.replyClass == '4') {
    return Failed("FTP Failure: " + line, FailOutcome::kRetry);
  }
  if (reply.refused() && step.refusal == Step::Refusal::kLoginFailure) {
    return Failed("FTP Login Failure: " + line, FailOutcome::kRetry);
  }
  if (reply.refused() && step.refusal == Step::Refusal::kError) {
    return Failed("FTP Error: " + line, FailOutcome::kPermanent);
  }
  return (this->*step.onReply)(reply);
}

FtpDialogue::Next FtpDialogue::OnGreeting(const Reply& reply) {
  if (!reply.completed()) {
    return FtpState::kGreeting;
  }
  return SendThen("USER ", session_.login().user, FtpState::kUser);
}

FtpDialogue::Next FtpDialogue::OnUser(const Reply& reply) {
  if (reply.completed()) {
    return SendThen("PWD", "", FtpState::kPwd);
  }
  if (reply.replyClass == '3') {
    return SendThen("PASS ", session_.login().password, FtpState::kPass);
  }
  return FtpState::kUser;
}

FtpDialogue::Next FtpDialogue::OnPass(const Reply& reply) {
  return reply.completed() ? SendThen("PWD", "", FtpState::kPwd) : FtpState::kPass;
}

FtpDialogue::Next FtpDialogue::OnPwd(const Reply& reply) {
  return reply.completed() ? SendThen("TYPE I", "", FtpState::kType) : FtpState::kPwd;
}

FtpDialogue::Next FtpDialogue::OnType(const Reply& reply) {
  if (!reply.completed()) {
    return FtpState::kType;
  }
  Item& item = session_.urlItem();
  if (item.GetPropInt(key::kResume) == 0) {
    item.SetPropInt64(key::kFileSize, 0);
  }
  return SendDataCommand();
}

FtpDialogue::Next FtpDialogue::SendDataCommand() {
  switch (dataCommands_[dataCommand_]) {
    case FtpDataCommand::kEpsv:
      return SendThen("EPSV", "", FtpState::kEpsv);
    case FtpDataCommand::kPasv:
      return SendThen("PASV", "", FtpState::kPasv);
    case FtpDataCommand::kPort:
      break;
  }
  if (!listenSocket_.valid() && !ReserveDataSocket()) {
    return std::nullopt;
  }
  const bool resume = session_.urlItem().GetPropInt(key::kResume) != 0;
  const FtpState next = resume ? FtpState::kPortResume : FtpState::kPort;
  // PORT can name only an IPv4 address.
  if (dataAddress_.ipv6()) {
    return SendThen(
        "EPRT ", "|2|" + AddressText(dataAddress_) + "|" + std::to_string(dataAddress_.port) + "|",
        next);
  }
  return SendThen("PORT ", PortArgument(dataAddress_.address, dataAddress_.port), next);
}

FtpDialogue::Next FtpDialogue::OnEpsv(const Reply& reply) {
  if (reply.refused()) {
    return TryNextDataCommand(reply, "refused");
  }
  if (!reply.completed()) {
    return FtpState::kEpsv;
  }
  const std::optional<uint16_t> port = ExtendedPassivePort(reply.line);
  return port ? ConnectPassive(*port) : TryNextDataCommand(reply, "gave no port");
}

FtpDialogue::Next FtpDialogue::OnPasv(const Reply& reply) {
  if (reply.refused()) {
    return TryNextDataCommand(reply, "refused");
  }
  if (!reply.completed()) {
    return FtpState::kPasv;
  }
  const std::optional<PassiveReply> named = PassiveAddress(reply.line);
  if (!named) {
    return TryNextDataCommand(reply, "gave no address");
  }
  // The reply's address may be a NAT's private one, or another host the
  // server wants us to attack (FTP bounce): only the port is taken.
  SocketAddress peer;
  if (session_.mainSocket().PeerAddress(peer) == 0 && peer.address != named->address) {
    session_.Log("Ignored the address " + DottedQuad(named->address) +
                 " in the PASV reply: the data channel goes to the FTP server's address.");
  }
  return ConnectPassive(named->port);
}

FtpDialogue::Next FtpDialogue::TryNextDataCommand(const Reply& reply, std::string_view why) {
  const bool anotherMayDo = !reply.refused() || RefusesDataCommand(reply.line);
  if (!anotherMayDo || dataCommand_ + 1 == dataCommands_.size()) {
    return Failed("FTP Error: " + reply.line, FailOutcome::kPermanent);
  }
  const std::string_view tried = DataCommandName(dataCommands_[dataCommand_]);
  ++dataCommand_;
  session_.Log(std::string(tried) + " " + std::string(why) + "; trying " +
               std::string(DataCommandName(dataCommands_[dataCommand_])) + ".");
  return SendDataCommand();
}

FtpDialogue::Next FtpDialogue::ConnectPassive(uint16_t port) {
  SocketAddress to;
  int error = session_.mainSocket().PeerAddress(to);
  // Through a SOCKS proxy the connection goes to the proxy, which is asked on to the port.
  dataSocks_ = session_.SocksHandshakeTo(port);
  if (!dataSocks_) {
    to.port = port;
  }
  if (error == 0) {
    session_.Log("Connecting FTP data channel to " + AddressText(to) + ", port " +
                 std::to_string(to.port));
    error = ConnectForData(dataConnection_, to);
  }
  if (error != 0) {
    return Failed("Could not connect FTP data channel: " + SocketErrorText(error),
                  FailOutcome::kRetry);
  }
  passive_ = true;
  dataConnectStarted_ = session_.context().clock.TickCount();
  return FtpState::kPassiveConnect;
}

FtpDialogue::Next FtpDialogue::AfterDataCommand() {
  return session_.urlItem().GetPropInt(key::kResume) != 0 ? SendRest() : RequestFile();
}

FtpDialogue::Next FtpDialogue::OnPort(const Reply& reply) {
  if (reply.refused()) {
    return TryNextDataCommand(reply, "refused");
  }
  return reply.completed() ? RequestFile() : FtpState::kPort;
}

FtpDialogue::Next FtpDialogue::OnPortResume(const Reply& reply) {
  if (reply.refused()) {
    return TryNextDataCommand(reply, "refused");
  }
  return reply.accepted() ? SendRest() : FtpState::kPortResume;
}

FtpDialogue::Next FtpDialogue::OnRest(const Reply& reply) {
  if (reply.refused()) {
    // The server cannot restart: fetch it all.
    session_.urlItem().SetPropInt64(key::kFileSize, 0);
    return RequestFile();
  }
  return reply.accepted() ? RequestFile() : FtpState::kRest;
}

FtpDialogue::Next FtpDialogue::OnRetrieve(const Reply& reply) {
  if (reply.refused()) {
    return RetryRefusedPath(reply);
  }
  if (reply.replyClass != '1') {
    return FtpState::kRetrieve;
  }
  announcedSize_ = AnnouncedSize(reply.line);
  if (announcedSize_) {
    session_.urlItem().SetPropInt64(key::kSize, *announcedSize_);
  }
  session_.Log("Waiting for FTP Data Channel...");
  return FtpState::kDataWait;
}

FtpDialogue::Next FtpDialogue::SendThen(std::string_view verb, std::string_view argument,
                                        FtpState next) {
  // A line break would end the command early and let the rest pass as a
  // command of its own (a URL could smuggle in a DELE).
  if (!IsSafeCommandArgument(argument)) {
    return Failed("Refused to send an FTP command holding a line break.", FailOutcome::kPermanent);
  }
  session_.Send(std::string(verb).append(argument).append("\r\n"));
  return next;
}

FtpDialogue::Next FtpDialogue::SendRest() {
  return SendThen("REST ", FormatInteger(session_.urlItem().GetPropInt64(key::kFileSize)),
                  FtpState::kRest);
}

FtpDialogue::Next FtpDialogue::RequestFile() {
  Item& item = session_.urlItem();
  // Where a resume takes effect: "filesize" is 0 unless the server accepted REST.
  session_.writer().ResumeAt(item.GetPropInt64(key::kFileSize));
  const FileRequest request = RequestForPath(fullPath_);
  if (request.listing) {
    session_.Log("FTP Directory Mode.  Forcing TEXT.");
    session_.writer().SetTextMode(true);
  }
  const Next next = SendThen(request.verb, request.argument, FtpState::kRetrieve);
  if (next) {
    item.SetPropInt(key::kWasIndex, request.listing ? 1 : 0);
  }
  return next;
}

FtpDialogue::Next FtpDialogue::RetryRefusedPath(const Reply& reply) {
  const std::optional<std::string> rewritten = RewriteRefusedPath(fullPath_);
  if (!rewritten) {
    return Failed("FTP Error: " + reply.line, FailOutcome::kPermanent);
  }
  fullPath_ = *rewritten;
  return session_.urlItem().GetPropInt(key::kResume) == 0 ? RequestFile() : SendRest();
}

std::nullopt_t FtpDialogue::Failed(std::string_view message, FailOutcome outcome) {
  session_.Fail(message, outcome);
  return std::nullopt;
}

SessionState FtpDialogue::AcceptDataConnection() {
  if (session_.SilentTooLong(lastActivity_)) {
    session_.Fail("FTP Timeout Waiting for data Channel", FailOutcome::kRetry);
    return SessionState::kDone;
  }
  SocketAddress peer;
  int error = 0;
  TcpSocket accepted = listenSocket_.Accept(peer, error);
  if (!accepted.valid()) {
    if (error != kErrorWouldBlock) {
      session_.FailReceive(error);
    }
    return SessionState::kDialogue;
  }
  // Anyone who can reach the port could otherwise hand us the file's contents.
  const bool fromServer = serverPeer_.ipv6() ? peer.ipv6() && peer.address6 == serverPeer_.address6
                                             : !peer.ipv6() && peer.address == serverAddress_;
  if (!fromServer) {
    if (++refusedDataConnections_ <= kLoggedRefusals) {
      session_.Log("Refused a data connection from " + AddressText(peer) +
                   ": not the FTP server's address.");
    }
    return SessionState::kDialogue;
  }
  dataConnection_ = std::move(accepted);
  return DataChannelOpen();
}

SessionState FtpDialogue::AwaitPassiveConnect() {
  const Readiness writable = dataConnection_.PollWritable();
  int error = writable.error;
  if (error == 0 && !writable.ready) {
    const uint32_t waited = session_.context().clock.TickCount() - dataConnectStarted_;
    if (waited <= SessionHost::kConnectTimeoutMs) {
      return SessionState::kDialogue;
    }
    error = kErrorTimedOut;
  }
  // Writable also means the connect has ended; whether it succeeded is in the socket.
  if (error == 0) {
    error = dataConnection_.PendingError();
  }
  if (error != 0) {
    session_.Fail("Could not connect FTP data channel: " + SocketErrorText(error),
                  FailOutcome::kRetry);
    return SessionState::kDone;
  }
  if (dataSocks_) {
    state_ = FtpState::kPassiveSocks;
    return AwaitPassiveSocks();
  }
  if (const Next next = AfterDataCommand()) {
    state_ = *next;
  }
  return SessionState::kDialogue;
}

SessionState FtpDialogue::AwaitPassiveSocks() {
  switch (dataSocks_->Step(dataConnection_, session_.context().clock.TickCount())) {
    case SocksHandshake::Progress::kWaiting:
      return SessionState::kDialogue;
    case SocksHandshake::Progress::kFailed:
      session_.Fail("Could not connect FTP data channel: " + dataSocks_->failure(),
                    dataSocks_->outcome());
      return SessionState::kDone;
    case SocksHandshake::Progress::kOpen:
      break;
  }
  session_.Log("FTP data channel connected to " + dataSocks_->destination().Name() +
               " through the SOCKS proxy.");
  dataSocks_.reset();
  if (const Next next = AfterDataCommand()) {
    state_ = *next;
  }
  return SessionState::kDialogue;
}

SessionState FtpDialogue::DataChannelOpen() {
  lastActivity_ = session_.context().clock.TickCount();
  RememberDataCommand();
  session_.Log("Opening Files...");
  state_ = FtpState::kData;
  return SessionState::kStart;
}

void FtpDialogue::RememberDataCommand() {
  // Active only ignores what the host did before, and teaches nothing either.
  Item& root = session_.context().settings;
  if (root.GetPropEnum(setting::kFtpMode) == FtpDataMode::kActiveOnly) {
    return;
  }
  const FtpDataCommand used = dataCommands_[dataCommand_];
  RememberFtpDataCommand(root, session_.urlParts().GetProp(key::kHostName), DataCommandName(used),
                         DataCommandName(FtpDataCommand::kEpsv));
}

SessionState FtpDialogue::TransferStep(size_t byteLimit) {
  if (state_ == FtpState::kFinalReply) {
    return AwaitFinalReply();
  }
  // A receive of no bytes would read as the end of the file.
  if (byteLimit == 0) {
    return SessionState::kTransfer;
  }
  const std::optional<size_t> got = session_.Receive(dataConnection_, byteLimit, &lastActivity_);
  if (!got) {
    return SessionState::kTransfer;
  }
  if (*got == 0) {
    dataConnection_.Close();
    state_ = FtpState::kFinalReply;
    // The final reply's time starts now, not when it began to arrive during the data.
    replyStarted_ = lines_.empty() ? std::nullopt : std::optional<uint32_t>(lastActivity_);
    return SessionState::kTransfer;
  }
  return session_.writer().Write(session_.context().buffer, *got) ? SessionState::kTransfer
                                                                  : SessionState::kDone;
}

// The end of the data connection looks the same whether the file was sent
// whole or the server gave up half-way; only its reply tells, so a cut-off
// file is retried from the bytes on disk instead of being reported complete.
SessionState FtpDialogue::AwaitFinalReply() {
  if (!ReadReplies()) {
    return wholeWithoutFinalReply_ ? SessionState::kComplete : SessionState::kTransfer;
  }
  while (const std::optional<std::string> line = TakeLine()) {
    const char replyClass = ReplyClass(*line);
    if (replyClass == '2') {
      return SessionState::kComplete;
    }
    if (replyClass == '4' || replyClass == '5') {
      session_.Fail("FTP Failure: " + *line, FailOutcome::kRetry);
      return SessionState::kDone;
    }
  }
  return SessionState::kTransfer;
}

}  // namespace pellmarsh
