#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "notify/events.h"
#include "platform/byte_stream.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/resolver.h"
#include "platform/socket.h"
#include "store/item.h"
#include "store/tree.h"
#include "transfer/server_connections.h"
#include "transfer/session_log.h"
#include "transfer/session_writer.h"
#include "url/local_naming.h"
#include "url/url_parser.h"

namespace pellmarsh {

class LocalNameRegistry;
struct Proxy;
class SocksHandshake;

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

// Why a part's range request cannot go on as asked.
enum class RangeFault {
  kNone,
  kWhole,    // the server answered with the whole file
  kChanged,  // the file on the server is not the one the other parts hold
  kBusy,     // the server was busy and said when to come back
};

// The connection a protocol speaks to its server over, and what receiving on
// any of its connections takes.
class SessionLink {
 public:
  // The connection to the server: HTTP's, or FTP's command connection.
  virtual TcpSocket& mainSocket() = 0;
  // Its bytes: inside TLS when the protocol asked for it, else the socket's own.
  virtual ByteStream& mainStream() = 0;
  // The proxy the connection goes through, if any.
  virtual const Proxy* proxy() const = 0;
  // A handshake that has the SOCKS proxy connect on to another port of the
  // server; none without a SOCKS proxy.
  virtual std::unique_ptr<SocksHandshake> SocksHandshakeTo(uint16_t port) const = 0;

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

 protected:
  ~SessionLink() = default;
};

// What a protocol may use of its session, within a step. The item is there
// for as long as the step runs.
class SessionHost {
 public:
  static constexpr uint32_t kConnectTimeoutMs = 60'000;
  // A server silent for longer than this is given up.
  static constexpr uint32_t kSilenceLimitMs = 60'000;
  // An HTTP header or an FTP reply must be whole this long after its first
  // byte, so a server dripping it cannot hold a connection slot for ever.
  static constexpr uint32_t kDialogueLimitMs = 120'000;

  virtual Item& urlItem() = 0;
  virtual const TransferContext& context() const = 0;
  virtual const UrlParts& urlParts() const = 0;
  virtual SessionLink& connection() = 0;
  virtual const SessionLink& connection() const = 0;

  virtual void Log(std::string_view text) = 0;
  // Every failure ends here: logged, kept as the item's "error", and the
  // session is done.
  virtual void Fail(std::string_view message, FailOutcome outcome) = 0;

  // A part's range request failed for this reason; told before the failure.
  virtual void NoteRangeFault(RangeFault fault) = 0;

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

}  // namespace pellmarsh
