#include "transfer/session/transfer_session.h"

#include <algorithm>

#include "store/ascii_case.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "transfer/http/proxy_tunnel.h"
#include "transfer/protocol_exchange.h"
#include "transfer/resume_servers.h"
#include "transfer/session/exchange_choice.h"
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
  if (connection_.Sending()) {
    if (!connection_.SendPending()) {
      state_ = SessionState::kDone;
    }
  } else {
    RunState();
  }
  return true;
}

TransferSession::Wait TransferSession::NextWait() const {
  if (finished_ || !item_) {
    return {};
  }
  if (connection_.Sending()) {
    return connection_.SendWait();
  }
  switch (state_) {
    case SessionState::kDialogue:
    case SessionState::kTransfer:
      return exchange_->NextWait();
    case SessionState::kChecking:
      return completion_.wait();
    default:
      return connection_.NextWait(state_);
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
      GoOnConnecting(connection_.Connect());
      break;
    case SessionState::kConnectWait:
      GoOnConnecting(connection_.ConnectWait());
      break;
    case SessionState::kTlsHandshake:
      GoOnConnecting(connection_.TlsHandshake());
      break;
    case SessionState::kProxyTunnel:
      GoOnConnecting(connection_.TunnelStep());
      break;
    case SessionState::kSocksHandshake:
      GoOnConnecting(connection_.SocksStep());
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

void TransferSession::GoOnConnecting(SessionState next) {
  if (next == SessionState::kStart) {
    Connected();
  } else {
    GoOn(next);
  }
}

void TransferSession::Init() {
  for (PropKey key :
       {key::kSize, key::kReceived, key::kReceivedSession, key::kFinish, key::kVirusCheck}) {
    item_->SetPropInt(key, 0);
  }
  item_->SetProp(key::kChecking, "");
  if (target_.redirected()) {
    target_.TakeRedirect();
  } else {
    BeginAttempt();
  }
  const UrlParts& url = target_.Parse();
  const std::string error = url.GetProp(key::kError);
  if (!error.empty()) {
    Fail(error, FailOutcome::kPermanent);
    connection_.LogConnecting();
    return;
  }
  target_.ChooseLogin(*item_, context_.settings);

  const TransferMode mode = ChooseTransferMode(item_->GetPropInt(key::kTransferCode),
                                               url.GetProp(key::kExtension), context_.settings);
  writer_.SetTextMode(mode.textMode);
  Log(mode.logLine);

  const std::string scheme = url.GetProp(key::kProtocol);
  exchange_ = ExchangeFor(scheme, *this);
  if (!exchange_) {
    Fail("Unknown protocol: " + scheme, FailOutcome::kPermanent);
    return;
  }
  if (!exchange_->connects()) {
    state_ = SessionState::kStart;
    connection_.LogConnecting();
    return;
  }
  ProxyChoice route = ProxyFor(context_.settings, url, context_.environment);
  if (!route.error.empty()) {
    Fail(route.error, FailOutcome::kPermanent);
    return;
  }
  connection_.Route(std::move(route.proxy));
  ResolveHost();
}

void TransferSession::BeginAttempt() {
  target_.BeginAttempt(item_->GetProp(key::kValue));
  const bool buggyResumes = item_->GetPropInt(key::kResume) == 1 && IsBuggyResumeServer(*item_);
  if (buggyResumes) {
    item_->SetPropInt(key::kResume, 0);
  }
  if (context_.settings.GetPropInt(setting::kDelLog) == 0) {
    Log("--------------------------");
  } else {
    item_->SetProp(key::kLog, "");
  }
  Log("Start: " + target_.url());
  if (buggyResumes) {
    Log("Sorry, this server has buggy resumes.  Restarting instead.");
  }
}

SessionState TransferSession::FollowRedirect(int code, const std::string& location) {
  const std::string target = RedirectTarget(location, target_.url());
  Log("HTTP Redirect " + std::to_string(code) + " to: " + target);
  if (const std::string refusal = target_.Redirect(target, *item_); !refusal.empty()) {
    Fail(refusal, FailOutcome::kPermanent);
    return SessionState::kDone;
  }
  // The name follows the server only while the file holds no byte; a part
  // writes into its download's file.
  if (writer_.received() == 0 && item_->GetPropInt64(key::kFileSize) == 0 &&
      item_->GetPropInt64(key::kRangeEnd) == 0 && item_->GetPropInt(key::kNamedByUser) == 0) {
    RenameForRedirect(context_.localNames, *item_, target);
  }
  return SessionState::kInit;
}

bool TransferSession::loginAsked() const {
  return target_.loginAsked(*item_);
}

SessionState TransferSession::AskAgainWithLogin() {
  // Asking again keeps a partial file a resume depends on; the session
  // removes the save file only when it is empty.
  target_.AskAgainWithLogin(*item_);
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
  SocksDestination socks;
  if (const Proxy* through = connection_.proxy(); through && through->socks()) {
    std::optional<SocksDestination> destination = ChooseSocksDestination();
    if (!destination) {
      return;
    }
    socks = std::move(*destination);
  }
  const ConnectTarget target = ConnectTargetFor(urlParts(), connection_.proxy());
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
    address.port = static_cast<uint16_t>(target.port);
  }
  if (!connection_.Prepare(std::move(addresses), target.port, std::move(socks),
                           exchange_->overTls())) {
    return;
  }
  state_ = SessionState::kConnect;
  connection_.LogConnecting();
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

std::optional<SocksDestination> TransferSession::ChooseSocksDestination() {
  SocksDestination destination;
  const UrlParts& url = urlParts();
  destination.port = static_cast<uint16_t>(url.GetPropInt(key::kPort));
  const std::string hostAddr = url.GetProp(key::kHostAddr);
  if (!hostAddr.empty()) {
    const std::optional<SocketAddress> literal = LiteralAddress(hostAddr);
    if (!literal) {
      Fail("Bad IP Address: " + hostAddr, FailOutcome::kPermanent);
      return std::nullopt;
    }
    destination.address = *literal;
    return destination;
  }
  const std::string hostName = url.GetProp(key::kHostName);
  if (connection_.proxy()->kind == ProxyKind::kSocks5Hostname) {
    destination.hostName = hostName;
    return destination;
  }
  std::vector<SocketAddress> addresses;
  if (!LookUp(hostName, addresses)) {
    return std::nullopt;
  }
  destination.address = addresses.front();
  return destination;
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

void TransferSession::Connected() {
  // The exchanges know IPv4 addresses only; 0 stands for an IPv6 server.
  const uint32_t server = connection_.serverAddress();
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
  connection_.CloseServer();
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
  connection_.Reset();
  exchange_.reset();
  // A download that ended in an empty file keeps it.
  writer_.Reset(item_ && item_->GetPropInt(key::kStatus) != kStatusComplete);
  completion_.Reset();
  state_ = SessionState::kInit;
  finished_ = false;
}

void TransferSession::MoveTo(Item& item) {
  item_ = &item;
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
