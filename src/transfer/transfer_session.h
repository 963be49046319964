#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/socket.h"
#include "platform/thread_annotations.h"
#include "platform/tls_stream.h"
#include "transfer/connection_race.h"
#include "transfer/download_completion.h"
#include "transfer/proxy_choice.h"
#include "transfer/session_host.h"
#include "transfer/session_log.h"
#include "transfer/session_writer.h"
#include "transfer/socks_handshake.h"
#include "transfer/transfer.h"

namespace pellmarsh {

class ProtocolExchange;
class ProxyTunnel;

// One download of one URL item, from the first step to completion or failure.
// The scheduler calls Step over and over on its own thread; each call does one
// small non-blocking piece of work and returns. Everything the rest of the
// program learns about the transfer is in the item's properties.
class TransferSession final : public Transfer, private SessionHost, private CompletionHost {
 public:
  // Browsers give up after about as many.
  static constexpr int kMostRedirects = 20;

  TransferSession(Item& item, const TransferContext& context);
  TransferSession(const TransferSession&) = delete;
  TransferSession& operator=(const TransferSession&) = delete;
  ~TransferSession();

  // Takes the tree lock itself and lets go of it only around name lookups.
  bool Step(size_t byteLimit) override EXCLUDES(context_.treeLock);
  // A step that may move a whole buffer.
  bool Step() { return Step(context_.bufferSize); }
  int64_t stepBytes() const override { return writer_.stepBytes(); }
  Item* item() const override REQUIRES(context_.treeLock) { return item_; }
  void DetachItem() override REQUIRES(context_.treeLock) { item_ = nullptr; }
  // Goes on for `item` from here on, as it stands: a download's first
  // connection becomes its first part. The new item must hold what the
  // session has set in the old one so far.
  void MoveTo(Item& item) REQUIRES(context_.treeLock);
  Wait NextWait() const override REQUIRES(context_.treeLock);
  // The lock its steps take, for whoever asks between steps what NextWait says.
  TreeLock& treeLock() const RETURN_CAPABILITY(context_.treeLock) { return context_.treeLock; }
  SessionState state() const { return state_; }
  // The state's name, or within kDialogue the name of the protocol's own step.
  std::string_view stateName() const;
  // Why a part's range request failed, once it has.
  RangeFault rangeFault() const { return rangeFault_; }

 private:
  Item& urlItem() override REQUIRES(context_.treeLock) { return *item_; }
  const TransferContext& context() const override { return context_; }
  const UrlParts& urlParts() const override { return *urlParts_; }
  TcpSocket& mainSocket() override { return mainSocket_; }
  ByteStream& mainStream() override;
  const Proxy* proxy() const override { return proxy_ ? &*proxy_ : nullptr; }
  std::unique_ptr<SocksHandshake> SocksHandshakeTo(uint16_t port) override;
  void Log(std::string_view text) override REQUIRES(context_.treeLock);
  void Fail(std::string_view message, FailOutcome outcome) override REQUIRES(context_.treeLock);
  void Send(std::string text) override { sendBuffer_ = std::move(text); }
  bool Sending() const override { return !sendBuffer_.empty(); }
  std::optional<size_t> Receive(ByteStream& stream, size_t size, uint32_t* lastActivity) override
      REQUIRES(context_.treeLock);
  void FailReceive(int error) override REQUIRES(context_.treeLock);
  bool SilentTooLong(uint32_t lastActivity) const override;
  void NoteRangeFault(RangeFault fault) override { rangeFault_ = fault; }
  SessionWriter& writer() override { return writer_; }
  const Login& login() const override { return login_; }
  bool loginAsked() const override REQUIRES(context_.treeLock);
  SessionState AskAgainWithLogin() override REQUIRES(context_.treeLock);
  SessionState FollowRedirect(int code, const std::string& location) override
      REQUIRES(context_.treeLock);

  void RunState() REQUIRES(context_.treeLock);
  // Where a protocol's hook said the session goes; a hook that failed the
  // session has already ended it, and kInit starts the attempt over.
  void GoOn(SessionState next) REQUIRES(context_.treeLock);
  void SendPending() REQUIRES(context_.treeLock);
  void Init() REQUIRES(context_.treeLock);
  // The attempt's first request goes to the item's own URL.
  void BeginAttempt() REQUIRES(context_.treeLock);
  void ResolveHost() REQUIRES(context_.treeLock);
  // The addresses of a name; false when the session has failed or the
  // lookup was cut short.
  bool LookUp(const std::string& hostName, std::vector<SocketAddress>& addresses)
      REQUIRES(context_.treeLock);
  // What the SOCKS proxy is to connect to: the URL's host by name for socks5h,
  // else looked up here; false as LookUp.
  bool ChooseSocksDestination() REQUIRES(context_.treeLock);
  void LogConnecting() REQUIRES(context_.treeLock);
  void LogRace() REQUIRES(context_.treeLock);
  void Connect() REQUIRES(context_.treeLock);
  void ConnectWait() REQUIRES(context_.treeLock);
  // A failed connect's error, naming the proxy when there is one.
  std::string ConnectFailure(std::string_view designed, int error) const;
  void OpenProxyTunnel() REQUIRES(context_.treeLock);
  void OpenSocks() REQUIRES(context_.treeLock);
  void SocksStep() REQUIRES(context_.treeLock);
  // The connection reaches the server: TLS starts, if the protocol asks for it.
  void ReachedServer() REQUIRES(context_.treeLock);
  void StartTls() REQUIRES(context_.treeLock);
  void TlsHandshake() REQUIRES(context_.treeLock);
  // The connection carries the protocol's bytes from here on.
  void Connected() REQUIRES(context_.treeLock);
  void Start() REQUIRES(context_.treeLock);
  void Complete() REQUIRES(context_.treeLock);
  void Check() REQUIRES(context_.treeLock);
  void Completing(Item& item) override;
  void Reset() REQUIRES(context_.treeLock);

  // Runs a blocking lookup without the tree lock; false when the item went
  // away or a stop arrived meanwhile (the next step deals with it).
  template <typename Lookup>
  bool LookUpUnlocked(Lookup&& lookup) REQUIRES(context_.treeLock);

  Item* item_ GUARDED_BY(context_.treeLock) PT_GUARDED_BY(context_.treeLock);
  TransferContext context_;
  SessionState state_ = SessionState::kInit;
  bool finished_ = false;
  size_t stepLimit_ = 0;  // the most file data this step may move

  std::string url_;  // the item's URL, or where redirects led within this attempt
  std::unique_ptr<UrlParts> urlParts_;
  std::vector<std::string> redirectedFrom_;  // the URLs this attempt asked before url_
  std::string redirectTarget_;               // where the next Init goes, after a redirect
  bool onItemsServer_ = true;
  std::vector<std::string> loginAskedBy_;  // the other servers that asked, this attempt
  Login login_;

  int remotePort_ = 0;
  // The first address to try until the race is won, then the one connected to.
  SocketAddress remoteSockAddr_;
  std::optional<ConnectionRace> race_;  // from the lookup until one address connects
  TcpSocket mainSocket_;
  std::optional<Proxy> proxy_;
  std::unique_ptr<ProxyTunnel> tunnel_;  // for https through proxy_, until the tunnel is open
  SocksDestination socksDestination_;
  std::unique_ptr<SocksHandshake> socks_;  // through a SOCKS proxy_, until it has connected
  std::unique_ptr<TlsStream> tls_;         // over mainSocket_, for a protocol that asks for it
  uint32_t connectStarted_ = 0;
  std::string sendBuffer_;
  LogBudget logBudget_;

  std::unique_ptr<ProtocolExchange> exchange_;  // made by Init for the URL's scheme
  SessionWriter writer_;
  DownloadCompletion completion_;
  RangeFault rangeFault_ = RangeFault::kNone;
};

}  // namespace pellmarsh
