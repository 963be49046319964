#include "transfer/ftp/ftp_dialogue.h"

#include <netinet/in.h>

#include <iterator>

#include "store/keys.h"
#include "store/number_text.h"
#include "transfer/ftp/ftp_data_socket.h"
#include "transfer/ftp/ftp_reply.h"
#include "transfer/session_log.h"
#include "transfer/socket_error_text.h"
#include "url/ftp_data_memory.h"

namespace pellmarsh {
namespace {

// Where the dialogue goes while the data channel is not open: on waiting, or
// done once it has failed the session; nothing once it is open.
std::optional<SessionState> UnlessOpen(FtpDataChannel::Progress progress) {
  switch (progress) {
    case FtpDataChannel::Progress::kWaiting:
      return SessionState::kDialogue;
    case FtpDataChannel::Progress::kFailed:
      return SessionState::kDone;
    case FtpDataChannel::Progress::kOpen:
      break;
  }
  return std::nullopt;
}

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
    : session_(session), fullPath_(session.urlParts().GetProp(key::kFullPath)), data_(session) {}

std::string_view FtpDialogue::StateName() const {
  return StepOf(state_).name;
}

SessionState FtpDialogue::AfterConnect(uint32_t resolvedAddress, uint32_t serverAddress) {
  data_.Begin(resolvedAddress, serverAddress);
  lastActivity_ = session_.context().clock.TickCount();
  FtpDataMode mode = session_.context().settings.GetPropEnum(setting::kFtpMode);
  if (const Proxy* proxy = session_.connection().proxy(); proxy && proxy->socks()) {
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
  if (first == FtpDataCommand::kPort && !data_.Reserve()) {
    return SessionState::kDone;
  }
  return SessionState::kDialogue;
}

SessionState FtpDialogue::DialogueStep() {
  if (state_ == FtpState::kPassiveConnect) {
    return AwaitPassiveConnect();
  }
  if (state_ == FtpState::kPassiveSocks) {
    return PassiveStep(data_.AwaitSocks());
  }
  if (state_ == FtpState::kDataWait) {
    // A passive data connection is already up.
    return data_.passive() ? DataChannelOpen() : AcceptDataConnection();
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
      return data_.ConnectWait();
    case FtpState::kPassiveSocks:
      return data_.SocksWait();
    case FtpState::kDataWait:
      return data_.AcceptWait();
    case FtpState::kData:
      return data_.DataWait();
    default:
      // Lines held back behind a command need no new bytes to be handled.
      return replies_.HasWholeLine()
                 ? Transfer::Wait{}
                 : Transfer::Wait{session_.connection().mainSocket().fd(), false};
  }
}

bool FtpDialogue::ReadReplies() {
  if (session_.connection().SilentTooLong(lastActivity_)) {
    return LoseCommandChannel("FTP Command Channel Timeout");
  }
  if (replies_.Overdue(session_.context().clock.TickCount(), SessionHost::kDialogueLimitMs)) {
    return LoseCommandChannel("Receive Error: " + SocketErrorText(kErrorTimedOut));
  }
  if (replies_.HasWholeLine()) {
    return true;
  }
  // Only reply lines count as activity here.
  const std::optional<size_t> got = session_.connection().Receive(
      session_.connection().mainSocket(), session_.context().bufferSize, nullptr);
  if (!got) {
    return false;
  }
  if (*got == 0) {
    return LoseCommandChannel("FTP Command Channel Closed Prematurely");
  }
  if (!replies_.Append(session_.context().buffer, *got, session_.context().clock.TickCount())) {
    session_.Fail(FtpReplyLines::kTooLong, FailOutcome::kRetry);
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
  const uint32_t now = session_.context().clock.TickCount();
  bool tooLong = false;
  std::optional<std::string> line = replies_.Take(now, tooLong);
  if (tooLong) {
    session_.Fail(FtpReplyLines::kTooLong, FailOutcome::kRetry);
  }
  if (!line) {
    return line;
  }
  lastActivity_ = now;
  session_.Log("Recv Line: " + *line);
  return line;
}

void FtpDialogue::HandleLines() {
  // A second command would replace one not yet sent, so a queued command ends
  // the loop; lines after the class-1 reply wait for the final reply.
  while (!session_.connection().Sending() && StepOf(state_).onReply) {
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
  if (!data_.reserved() && !data_.Reserve()) {
    return std::nullopt;
  }
  const bool resume = session_.urlItem().GetPropInt(key::kResume) != 0;
  const FtpState next = resume ? FtpState::kPortResume : FtpState::kPort;
  // PORT can name only an IPv4 address.
  const SocketAddress& listening = data_.listenAddress();
  if (listening.ipv6()) {
    return SendThen(
        "EPRT ", "|2|" + AddressText(listening) + "|" + std::to_string(listening.port) + "|", next);
  }
  return SendThen("PORT ", PortArgument(listening.address, listening.port), next);
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
  if (session_.connection().mainSocket().PeerAddress(peer) == 0 && peer.address != named->address) {
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
  if (!data_.ConnectPassive(port)) {
    return std::nullopt;
  }
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
  session_.connection().Send(std::string(verb).append(argument).append("\r\n"));
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
  if (const std::optional<SessionState> unopened = UnlessOpen(data_.Accept(lastActivity_))) {
    return *unopened;
  }
  return DataChannelOpen();
}

SessionState FtpDialogue::AwaitPassiveConnect() {
  const FtpDataChannel::Progress progress = data_.AwaitConnect();
  if (progress == FtpDataChannel::Progress::kOpen && data_.throughSocks()) {
    state_ = FtpState::kPassiveSocks;
    return PassiveStep(data_.AwaitSocks());
  }
  return PassiveStep(progress);
}

SessionState FtpDialogue::PassiveStep(FtpDataChannel::Progress progress) {
  if (const std::optional<SessionState> unopened = UnlessOpen(progress)) {
    return *unopened;
  }
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
  const std::optional<size_t> got =
      session_.connection().Receive(data_.connection(), byteLimit, &lastActivity_);
  if (!got) {
    return SessionState::kTransfer;
  }
  if (*got == 0) {
    data_.Close();
    state_ = FtpState::kFinalReply;
    // The final reply's time starts now, not when it began to arrive during the data.
    replies_.RestartClock(lastActivity_);
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
