#include "transfer/transfer_session.h"

#include <algorithm>

#include "store/ascii_case.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "transfer/protocol_exchange.h"
#include "transfer/proxy_tunnel.h"
#include "transfer/resume_servers.h"
#include "transfer/session_log.h"
#include "transfer/socket_error_text.h"
#include "transfer/transfer_mode.h"
#include "transfer/unfinished_file.h"

namespace pellmarsh {

TransferSession::TransferSession(Item& item, const TransferContext& context)
    : item_(&item),
      context_(context),
      writer_(*this, context.clock.UnixTime()),
      completion_(*this, context_) {}

// The scheduler destroys a session with the lock held, the last owner without.
TransferSession::~TransferSession() {
  TreeLockGuard lock(context_.treeLock);
  Reset();
}

bool TransferSession::Step(size_t byteLimit) {
  TreeLockGuard lock(context_.treeLock);
  writer_.StartStep();
  stepLimit_ = std::min(byteLimit, context_.bufferSize);
  if (finished_) {
    return false;
  }
  if (!item_) {
    finished_ = true;
    return false;
  }
  const int status = item_->GetPropInt(key::kStatus);
  if (status != kStatusTransferring) {
    if (IsStopRequest(status)) {
      EndOnRequest(*item_, status, context_.events);
      state_ = SessionState::kDone;
      return true;
    }
    if (status == kStatusGoingOffline) {
      Fail("Went offline.", FailOutcome::kOffline);
      context_.events.RaiseEvent("STOP");
      return true;
    }
  }
  if (!sendBuffer_.empty()) {
    SendPending();
  } else {
    RunState();
  }
  return true;
}

TransferSession::Wait TransferSession::NextWait() const {
  if (finished_ || !item_) {
    return {};
  }
  if (!sendBuffer_.empty()) {
    return tls_ ? tls_->NextWait(true) : mainSocket_.NextWait(true);
  }
  switch (state_) {
    case SessionState::kConnectWait:
      return {race_ ? race_->WaitFd() : -1, true};
    case SessionState::kTlsHandshake:
      return tls_->NextWait(false);
    case SessionState::kProxyTunnel:
      return mainSocket_.NextWait(false);
    case SessionState::kSocksHandshake:
      return socks_->NextWait(mainSocket_);
    case SessionState::kDialogue:
    case SessionState::kTransfer:
      return exchange_->NextWait();
    case SessionState::kChecking:
      return completion_.wait();
    default:
      return {};
  }
}

std::string_view TransferSession::stateName() const {
  return state_ == SessionState::kDialogue ? exchange_->StateName() : StateName(state_);
}

void TransferSession::RunState() {
  switch (state_) {
    case SessionState::kInit:
      Init();
      break;
    case SessionState::kConnect:
      Connect();
      break;
    case SessionState::kConnectWait:
      ConnectWait();
      break;
    case SessionState::kTlsHandshake:
      TlsHandshake();
      break;
    case SessionState::kProxyTunnel:
      if (tunnel_->Step()) {
        StartTls();
      }
      break;
    case SessionState::kSocksHandshake:
      SocksStep();
      break;
    case SessionState::kDialogue:
      GoOn(exchange_->DialogueStep());
      break;
    case SessionState::kStart:
      Start();
      break;
    case SessionState::kTransfer:
      GoOn(exchange_->TransferStep(stepLimit_));
      break;
    case SessionState::kComplete:
      Complete();
      break;
    case SessionState::kChecking:
      Check();
      break;
    case SessionState::kDone:
      finished_ = true;
      break;
  }
}

void TransferSession::GoOn(SessionState next) {
  if (state_ == SessionState::kDone) {
    return;
  }
  if (next == SessionState::kInit) {
    Reset();
  } else {
    state_ = next;
  }
}

void TransferSession::SendPending() {
  Log(LoggedSendLine(sendBuffer_));
  const IoResult sent = mainStream().Send(sendBuffer_);
  if (sent.error == kErrorWouldBlock) {
    return;
  }
  if (sent.error != 0) {
    // Deliberately no log line, event or retry count: the retry countdown runs
    // with whatever delay the item holds.
    sendBuffer_.clear();
    state_ = SessionState::kDone;
    item_->SetProp(key::kError, "Request Error: " + SocketErrorText(sent.error));
    item_->SetPropInt(key::kStatus, kStatusWaitingToRetry);
    return;
  }
  sendBuffer_.erase(0, sent.count);
}

void TransferSession::Init() {
  for (PropKey key :
       {key::kSize, key::kReceived, key::kReceivedSession, key::kFinish, key::kVirusCheck}) {
    item_->SetPropInt(key, 0);
  }
  item_->SetProp(key::kChecking, "");
  if (redirectTarget_.empty()) {
    BeginAttempt();
  } else {
    url_ = std::exchange(redirectTarget_, std::string());
  }
  urlParts_ = ParseUrlCopy(url_);
  const std::string error = urlParts_->GetProp(key::kError);
  if (!error.empty()) {
    Fail(error, FailOutcome::kPermanent);
    LogConnecting();
    return;
  }
  if (onItemsServer_) {
    login_ = {item_->GetProp(key::kLogin), item_->GetProp(key::kPassword)};
  } else {
    login_ = HostLogin(context_.settings, *urlParts_);
  }

  const TransferMode mode =
      ChooseTransferMode(item_->GetPropInt(key::kTransferCode), urlParts_->GetProp(key::kExtension),
                         context_.settings);
  writer_.SetTextMode(mode.textMode);
  Log(mode.logLine);

  const std::string scheme = urlParts_->GetProp(key::kProtocol);
  exchange_ = ExchangeFor(scheme, *this);
  if (!exchange_) {
    Fail("Unknown protocol: " + scheme, FailOutcome::kPermanent);
    return;
  }
  if (!exchange_->connects()) {
    state_ = SessionState::kStart;
    LogConnecting();
    return;
  }
  ProxyChoice route = ProxyFor(context_.settings, *urlParts_, context_.environment);
  if (!route.error.empty()) {
    Fail(route.error, FailOutcome::kPermanent);
    return;
  }
  proxy_ = std::move(route.proxy);
  ResolveHost();
}

void TransferSession::BeginAttempt() {
  url_ = item_->GetProp(key::kValue);
  redirectedFrom_.clear();
  loginAskedBy_.clear();
  onItemsServer_ = true;
  const bool buggyResumes = item_->GetPropInt(key::kResume) == 1 && IsBuggyResumeServer(*item_);
  if (buggyResumes) {
    item_->SetPropInt(key::kResume, 0);
  }
  if (context_.settings.GetPropInt(setting::kDelLog) == 0) {
    Log("--------------------------");
  } else {
    item_->SetProp(key::kLog, "");
  }
  Log("Start: " + url_);
  if (buggyResumes) {
    Log("Sorry, this server has buggy resumes.  Restarting instead.");
  }
}

SessionState TransferSession::FollowRedirect(int code, const std::string& location) {
  const std::string target = RedirectTarget(location, url_);
  Log("HTTP Redirect " + std::to_string(code) + " to: " + target);
  redirectedFrom_.push_back(url_);
  if (std::ranges::find(redirectedFrom_, target) != redirectedFrom_.end()) {
    Fail("Redirect loop: the server sent the download back to " + target, FailOutcome::kPermanent);
    return SessionState::kDone;
  }
  if (redirectedFrom_.size() > kMostRedirects) {
    Fail("Too many redirects: more than " + std::to_string(kMostRedirects),
         FailOutcome::kPermanent);
    return SessionState::kDone;
  }
  const std::unique_ptr<UrlParts> own = ParseUrlCopy(item_->GetProp(key::kValue));
  const std::unique_ptr<UrlParts> next = ParseUrlCopy(target);
  onItemsServer_ = SameServer(*own, *next);
  // The name follows the server only while the file holds no byte; a part
  // writes into its download's file.
  if (writer_.received() == 0 && item_->GetPropInt64(key::kFileSize) == 0 &&
      item_->GetPropInt64(key::kRangeEnd) == 0 && item_->GetPropInt(key::kNamedByUser) == 0) {
    RenameForRedirect(context_.localNames, *item_, target);
  }
  redirectTarget_ = target;
  return SessionState::kInit;
}

namespace {

// The scheme, host and port, as one text to compare.
std::string ServerOf(const UrlParts& parts) {
  return parts.GetProp(key::kProtocol) + "://" + AsciiLower(parts.GetProp(key::kHostName)) + ":" +
         parts.GetProp(key::kPort);
}

}  // namespace

bool TransferSession::loginAsked() const {
  return onItemsServer_
             ? item_->GetPropInt(key::kHttpAuth) != 0
             : std::ranges::find(loginAskedBy_, ServerOf(*urlParts_)) != loginAskedBy_.end();
}

SessionState TransferSession::AskAgainWithLogin() {
  if (onItemsServer_) {
    item_->SetPropInt(key::kHttpAuth, 1);
  } else {
    loginAskedBy_.push_back(ServerOf(*urlParts_));
  }
  // Asking again keeps a partial file a resume depends on; the session
  // removes the save file only when it is empty.
  redirectTarget_ = url_;
  return SessionState::kInit;
}

namespace {

// The URL parser hands an IPv6 literal over without its brackets.
std::optional<SocketAddress> LiteralAddress(const std::string& hostAddr) {
  SocketAddress literal;
  const bool parsed = hostAddr.find(':') != std::string::npos
                          ? ParseIPv6Address(hostAddr, literal)
                          : ParseDottedAddress(hostAddr, literal.address);
  return parsed ? std::optional<SocketAddress>(literal) : std::nullopt;
}

}  // namespace

void TransferSession::ResolveHost() {
  if (proxy_ && proxy_->socks() && !ChooseSocksDestination()) {
    return;
  }
  const ConnectTarget target = ConnectTargetFor(*urlParts_, proxy());
  remotePort_ = target.port;
  const std::string& hostAddr = target.hostAddr;
  std::vector<SocketAddress> addresses;
  if (hostAddr.empty()) {
    if (!LookUp(target.hostName, addresses)) {
      return;
    }
  } else {
    const std::optional<SocketAddress> literal = LiteralAddress(hostAddr);
    if (!literal) {
      Fail("Bad IP Address: " + hostAddr, FailOutcome::kPermanent);
      return;
    }
    LookupResult found;
    if (!LookUpUnlocked([&] { found = context_.resolver.ReverseLookup(*literal); })) {
      return;
    }
    addresses = {found.error == 0 && !found.addresses.empty() ? found.addresses.front() : *literal};
  }
  for (SocketAddress& address : addresses) {
    address.port = static_cast<uint16_t>(remotePort_);
  }
  remoteSockAddr_ = addresses.front();
  race_.emplace(context_.clock, std::move(addresses));
  if (const int error = race_->Prepare(); error != 0) {
    Fail("Could not create a socket.", ShortageOutcome(error));
    return;
  }
  state_ = SessionState::kConnect;
  LogConnecting();
}

bool TransferSession::LookUp(const std::string& hostName, std::vector<SocketAddress>& addresses) {
  item_->SetProp(key::kProcess, "Resolving " + hostName + "...");
  LookupResult found;
  if (!LookUpUnlocked([&] { found = context_.resolver.Lookup(hostName); })) {
    return false;
  }
  if (found.error == 0 && found.addresses.empty()) {
    found.error = 11004;
  }
  if (found.error != 0) {
    Fail("Host Lookup Error: " + SocketErrorText(found.error), FailOutcome::kPermanent);
    return false;
  }
  addresses = std::move(found.addresses);
  return true;
}

bool TransferSession::ChooseSocksDestination() {
  socksDestination_ = {};
  socksDestination_.port = static_cast<uint16_t>(urlParts_->GetPropInt(key::kPort));
  const std::string hostAddr = urlParts_->GetProp(key::kHostAddr);
  if (!hostAddr.empty()) {
    const std::optional<SocketAddress> literal = LiteralAddress(hostAddr);
    if (!literal) {
      Fail("Bad IP Address: " + hostAddr, FailOutcome::kPermanent);
      return false;
    }
    socksDestination_.address = *literal;
    return true;
  }
  const std::string hostName = urlParts_->GetProp(key::kHostName);
  if (proxy_->kind == ProxyKind::kSocks5Hostname) {
    socksDestination_.hostName = hostName;
    return true;
  }
  std::vector<SocketAddress> addresses;
  if (!LookUp(hostName, addresses)) {
    return false;
  }
  socksDestination_.address = addresses.front();
  return true;
}

template <typename Lookup>
bool TransferSession::LookUpUnlocked(Lookup&& lookup) {
  WithoutTreeLock(context_.treeLock, lookup);
  if (!item_) {
    return false;
  }
  const int status = item_->GetPropInt(key::kStatus);
  return !IsStopRequest(status) && status != kStatusGoingOffline;
}

void TransferSession::LogConnecting() {
  item_->SetPropInt64(key::kStart, context_.clock.UnixTime());
  item_->SetPropInt(key::kReceived, 0);
  item_->SetPropInt(key::kReceivedSession, 0);
  Log("Connecting to " + std::string(proxy_ ? "proxy" : "host") + " at " +
      AddressText(remoteSockAddr_) + ", port " + std::to_string(remotePort_));
}

void TransferSession::LogRace() {
  for (const std::string& line : race_->TakeLogLines()) {
    Log(line);
  }
}

void TransferSession::Connect() {
  const int error = race_->Start();
  LogRace();
  connectStarted_ = context_.clock.TickCount();
  if (error == kErrorWouldBlock) {
    Log("Waiting for connect...");
    state_ = SessionState::kConnectWait;
  } else if (error == 0) {
    state_ = SessionState::kConnectWait;
  } else {
    Fail(ConnectFailure("Connect Error: ", error), FailOutcome::kRetry);
  }
  sendBuffer_.clear();
}

void TransferSession::ConnectWait() {
  const ConnectionRace::Progress progress = race_->Poll();
  LogRace();
  if (progress.outcome == ConnectionRace::Outcome::kFailed) {
    Fail(ConnectFailure("Could not connect: ", progress.error), FailOutcome::kRetry);
    return;
  }
  if (progress.outcome == ConnectionRace::Outcome::kWaiting) {
    if (context_.clock.TickCount() - connectStarted_ > kConnectTimeoutMs) {
      Fail(ConnectFailure("Could not connect: ", kErrorTimedOut), FailOutcome::kRetry);
    }
    return;
  }
  mainSocket_ = race_->TakeWinner();
  remoteSockAddr_ = race_->winnerAddress();
  race_.reset();
  if (proxy_ && proxy_->socks()) {
    OpenSocks();
  } else if (proxy_ && exchange_->overTls()) {
    OpenProxyTunnel();
  } else {
    ReachedServer();
  }
}

void TransferSession::ReachedServer() {
  if (exchange_->overTls()) {
    StartTls();
  } else {
    Connected();
  }
}

std::string TransferSession::ConnectFailure(std::string_view designed, int error) const {
  return proxy_ ? ProxyConnectFailure(*proxy_, error)
                : std::string(designed) + SocketErrorText(error);
}

void TransferSession::OpenProxyTunnel() {
  SessionHost& host = *this;
  tunnel_ = std::make_unique<ProxyTunnel>(host, *proxy_);
  if (tunnel_->Request()) {
    state_ = SessionState::kProxyTunnel;
  }
}

void TransferSession::OpenSocks() {
  Log("Asking " + proxy_->Title() + " to connect to " + socksDestination_.Name());
  socks_ = std::make_unique<SocksHandshake>(*proxy_, socksDestination_, context_.clock.TickCount());
  state_ = SessionState::kSocksHandshake;
}

void TransferSession::SocksStep() {
  switch (socks_->Step(mainSocket_, context_.clock.TickCount())) {
    case SocksHandshake::Progress::kWaiting:
      return;
    case SocksHandshake::Progress::kFailed:
      Fail(socks_->failure(), socks_->outcome());
      return;
    case SocksHandshake::Progress::kOpen:
      Log(proxy_->Title() + " connected to " + socksDestination_.Name());
      socks_.reset();
      ReachedServer();
      return;
  }
}

std::unique_ptr<SocksHandshake> TransferSession::SocksHandshakeTo(uint16_t port) {
  if (!proxy_ || !proxy_->socks()) {
    return nullptr;
  }
  SocksDestination destination = socksDestination_;
  destination.port = port;
  return std::make_unique<SocksHandshake>(*proxy_, std::move(destination),
                                          context_.clock.TickCount());
}

void TransferSession::StartTls() {
  tunnel_.reset();
  tls_ = std::make_unique<TlsStream>(mainSocket_, urlParts_->GetProp(key::kHostName));
  connectStarted_ = context_.clock.TickCount();
  state_ = SessionState::kTlsHandshake;
  Log("Starting TLS...");
}

void TransferSession::TlsHandshake() {
  switch (tls_->StepHandshake()) {
    case TlsStream::Handshake::kWaiting:
      // A server that takes the connection but never answers would hold the slot.
      if (context_.clock.TickCount() - connectStarted_ > kConnectTimeoutMs) {
        FailReceive(kErrorTimedOut);
      }
      return;
    case TlsStream::Handshake::kRefused:
      Fail("TLS Error: " + tls_->refusal(), FailOutcome::kPermanent);
      return;
    case TlsStream::Handshake::kBusy:
      Fail("TLS Error: " + tls_->refusal(), FailOutcome::kRetry);
      return;
    case TlsStream::Handshake::kCut:
      if (tls_->cutError() != 0) {
        FailReceive(tls_->cutError());
      } else {
        Fail("The server closed the connection during the TLS handshake.", FailOutcome::kRetry);
      }
      return;
    case TlsStream::Handshake::kDone:
      Log("TLS connection: " + tls_->Description());
      Connected();
      return;
  }
}

void TransferSession::Connected() {
  // The exchanges know IPv4 addresses only; 0 stands for an IPv6 server.
  const uint32_t server = remoteSockAddr_.ipv6() ? 0 : remoteSockAddr_.address;
  GoOn(exchange_->AfterConnect(server, server));
  if (state_ == SessionState::kDone) {
    return;
  }
  Log("Connected.  Opening save file.");
  writer_.Open();
}

void TransferSession::Start() {
  context_.events.RaiseEvent("START");
  GoOn(exchange_->Start());
  Log("Transferring data...");
  if (state_ == SessionState::kTransfer) {
    item_->SetPropInt(key::kStatus, kStatusTransferring);
  }
}

void TransferSession::Complete() {
  const bool part = item_->GetPropInt64(key::kRangeEnd) > 0;
  const bool shortOfTotal = item_->GetPropInt64(key::kReceived) < item_->GetPropInt64(key::kSize);
  // The setting is about a whole file its server calls short; a part short
  // of its range would leave a hole in a file that reads as whole.
  const bool again =
      shortOfTotal && (part || context_.settings.GetPropInt(setting::kRetryShort) != 0);
  // The file is told complete only once it is written whole: writing can
  // still fail here.
  if (!writer_.Finish(!again && !part)) {
    return;
  }
  if (again) {
    item_->SetPropInt(key::kResume, 1);
    Fail("Transfer completed normally but was short of the supposed total.  Retrying...",
         FailOutcome::kRetry);
    return;
  }
  // The server is done with: at most the disk is read from here on.
  exchange_->CloseData();
  tls_.reset();
  mainSocket_.Close();
  if (part) {
    state_ = SessionState::kDone;
    completion_.Complete(*item_);
    return;
  }
  const DownloadCompletion::Progress progress = completion_.Begin(*item_, writer_.textMode());
  state_ = progress == DownloadCompletion::Progress::kChecking ? SessionState::kChecking
                                                               : SessionState::kDone;
}

void TransferSession::Check() {
  if (completion_.Poll(*item_) == DownloadCompletion::Progress::kEnded) {
    state_ = SessionState::kDone;
  }
}

void TransferSession::Completing(Item& item) {
  if (writer_.textMode()) {
    // The row and the notification tell the file's size, not the server's.
    item.SetPropInt64(key::kSize, writer_.writtenTo());
    item.SetPropInt64(key::kReceived, writer_.writtenTo());
  }
}

void TransferSession::Reset() {
  tunnel_.reset();
  socks_.reset();
  tls_.reset();
  race_.reset();
  mainSocket_.Close();
  exchange_.reset();
  // A download that ended in an empty file keeps it.
  writer_.Reset(item_ && item_->GetPropInt(key::kStatus) != kStatusComplete);
  urlParts_.reset();
  proxy_.reset();
  completion_.Reset();
  state_ = SessionState::kInit;
  finished_ = false;
}

void TransferSession::MoveTo(Item& item) {
  item_ = &item;
}

ByteStream& TransferSession::mainStream() {
  if (tls_) {
    return *tls_;
  }
  return mainSocket_;
}

std::optional<size_t> TransferSession::Receive(ByteStream& stream, size_t size,
                                               uint32_t* lastActivity) {
  const IoResult got = stream.Receive(context_.buffer, size);
  if (got.error == kErrorWouldBlock) {
    // Counted only when nothing is waiting, so a throttled session is never
    // taken for a stalled server.
    if (lastActivity && SilentTooLong(*lastActivity)) {
      FailReceive(kErrorTimedOut);
    }
    return std::nullopt;
  }
  if (got.error != 0) {
    FailReceive(got.error);
    return std::nullopt;
  }
  if (lastActivity) {
    *lastActivity = context_.clock.TickCount();
  }
  return got.count;
}

void TransferSession::FailReceive(int error) {
  Fail("Receive Error: " + SocketErrorText(error), FailOutcome::kRetry);
}

bool TransferSession::SilentTooLong(uint32_t lastActivity) const {
  return context_.clock.TickCount() - lastActivity > kSilenceLimitMs;
}

void TransferSession::Log(std::string_view text) {
  logBudget_.Log(*item_, context_.clock.TickCount(), text);
}

void TransferSession::Fail(std::string_view message, FailOutcome outcome) {
  // Why the attempt ended is always worth its line, even in a cut log.
  AppendLogLine(*item_, context_.clock.TickCount(), message);
  item_->SetProp(key::kError, message);
  state_ = SessionState::kDone;
  ApplyFailureOutcome(*item_, outcome, context_.events);
}

}  // namespace pellmarsh
