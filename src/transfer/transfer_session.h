#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "notify/events.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/resolver.h"
#include "platform/socket.h"
#include "platform/thread_annotations.h"
#include "platform/tls_stream.h"
#include "store/item.h"
#include "store/tree.h"
#include "transfer/checksum_stage.h"
#include "transfer/connection_race.h"
#include "transfer/proxy_choice.h"
#include "transfer/server_connections.h"
#include "transfer/session_log.h"
#include "transfer/session_writer.h"
#include "transfer/socks_handshake.h"
#include "transfer/transfer.h"
#include "url/local_naming.h"
#include "url/url_parser.h"

namespace pellmarsh {

class LocalNameRegistry;
class ProtocolExchange;
class ProxyTunnel;

// What every session borrows from the program.
struct TransferContext {
  Item& settings;  // the root item: "parm-" settings and the text-type folders
  TreeLock& treeLock;
  Clock& clock;
  EventSink& events;
  Resolver& resolver;
  LocalNameRegistry& localNames;  // redirects choose their new local file through it
  char* buffer;                   // shared by all sessions; valid within one step only
  size_t bufferSize;
  // Asked for a save once an attempt's first bytes are on disk, so a crash
  // after it still resumes; none in tests that need no data file.
  std::atomic<int>* saveRequested = nullptr;
  // Where the system's proxy is read from; none in tests that want no proxy.
  const Environment* environment = nullptr;
  // The connections held to each server; none where nothing limits them.
  ServerConnections* servers = nullptr;
};

// The states every transfer passes through. A protocol with a dialogue of its
// own before the data (FTP) runs it within kDialogue and keeps its steps to itself.
enum class SessionState : int {
  kInit = 0,
  kConnect = 2,
  kStart = 8,
  kTransfer = 9,
  kComplete = 10,
  kDone = 11,
  kDialogue = 12,
  kTlsHandshake = 13,
  kProxyTunnel = 14,
  kConnectWait = 16,
  kSocksHandshake = 17,
  kChecking = 18,  // the whole file's checksum is worked out before its final name
};

// The state's name as written in the enum, without the "k".
std::string_view StateName(SessionState state);

// What a protocol may use of its session, within a step. The item is there
// for as long as the step runs.
class SessionHost {
 public:
  virtual Item& urlItem() = 0;
  virtual const TransferContext& context() const = 0;
  virtual const UrlParts& urlParts() const = 0;
  // The connection to the server: HTTP's, or FTP's command connection.
  virtual TcpSocket& mainSocket() = 0;
  // Its bytes: inside TLS when the protocol asked for it, else the socket's own.
  virtual ByteStream& mainStream() = 0;
  // The proxy the connection goes through, if any.
  virtual const Proxy* proxy() const = 0;
  // A handshake that has the SOCKS proxy connect on to another port of the
  // server; none without a SOCKS proxy.
  virtual std::unique_ptr<SocksHandshake> SocksHandshakeTo(uint16_t port) = 0;

  virtual void Log(std::string_view text) = 0;
  // Every failure ends here: logged, kept as the item's "error", and the
  // session is done.
  virtual void Fail(std::string_view message, FailOutcome outcome) = 0;

  // Queues a request or command; the session's next step sends it and does
  // nothing else.
  virtual void Send(std::string text) = 0;
  virtual bool Sending() const = 0;
  // One receive of at most `size` bytes into the shared buffer: the count (0
  // once the peer has closed), or nothing when the step ends here because
  // nothing came or the session failed. Given `lastActivity`, any arrival
  // renews it, and a would-block after too long a silence fails the session.
  virtual std::optional<size_t> Receive(ByteStream& stream, size_t size,
                                        uint32_t* lastActivity) = 0;
  // Receive and accept errors end the attempt alike.
  virtual void FailReceive(int error) = 0;
  virtual bool SilentTooLong(uint32_t lastActivity) const = 0;

  // What the file data goes through to the local file.
  virtual SessionWriter& writer() = 0;

  // The login for the server talked to now: the item's own on its URL's
  // server, that server's settings on another a redirect led to.
  virtual const Login& login() const = 0;
  // Whether that server asked for it: the item's own in any attempt
  // ("httpauth"), another within this one.
  virtual bool loginAsked() const = 0;
  // The server asked for the login: the next step asks it again with it.
  virtual SessionState AskAgainWithLogin() = 0;
  // The server sent the request elsewhere: the next step asks there, within
  // this attempt. Returns where the session goes.
  virtual SessionState FollowRedirect(int code, const std::string& location) = 0;

 protected:
  ~SessionHost() = default;
};

// One download of one URL item, from the first step to completion or failure.
// The scheduler calls Step over and over on its own thread; each call does one
// small non-blocking piece of work and returns. Everything the rest of the
// program learns about the transfer is in the item's properties.
class TransferSession final : public Transfer, private SessionHost {
 public:
  static constexpr uint32_t kConnectTimeoutMs = 60'000;
  // A server silent for longer than this is given up.
  static constexpr uint32_t kSilenceLimitMs = 60'000;
  // An HTTP header or an FTP reply must be whole this long after its first
  // byte, so a server dripping it cannot hold a connection slot for ever.
  static constexpr uint32_t kDialogueLimitMs = 120'000;
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
  // The whole file takes its final name and the item is complete.
  void Finish() REQUIRES(context_.treeLock);
  // The whole file takes its final name; false when it could not (failed).
  bool PutInPlace() REQUIRES(context_.treeLock);
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
  ChecksumStage checksum_;
};

}  // namespace pellmarsh
