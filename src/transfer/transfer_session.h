#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "notify/events.h"
#include "platform/clock.h"
#include "platform/resolver.h"
#include "platform/socket.h"
#include "platform/unique_fd.h"
#include "store/item.h"
#include "transfer/http_response.h"
#include "transfer/save_file.h"
#include "transfer/session_log.h"
#include "transfer/transfer.h"
#include "url/url_parser.h"

namespace pellmarsh {

class LocalNameRegistry;

// What every session borrows from the program.
struct TransferContext {
  Item& settings;  // the root item: "parm-" settings and the text-type folders
  std::recursive_mutex& treeLock;
  Clock& clock;
  EventSink& events;
  Resolver& resolver;
  LocalNameRegistry& localNames;  // redirects choose their new local file through it
  char* buffer;                   // shared by all sessions; valid within one step only
  size_t bufferSize;
};

enum class SessionState : int {
  kInit = 0,
  kConnect = 2,
  kFtpUser = 4,
  kFtpPwd = 6,
  kFtpType = 7,
  kStart = 8,
  kTransfer = 9,
  kComplete = 10,
  kDone = 11,
  kFtpGreeting = 12,
  kFtpPort = 13,
  kFtpRetrieve = 14,
  kFtpDataWait = 15,
  kConnectWait = 16,
  kFtpPass = 17,
  kFtpPortResume = 18,
  kFtpRest = 19,
};

enum class Protocol : int { kFile = 0, kHttp = 1, kFtp = 2 };

// The FTP states that wait for a reply on the command connection.
inline bool IsFtpCommandState(SessionState state) {
  switch (state) {
    case SessionState::kFtpGreeting:
    case SessionState::kFtpUser:
    case SessionState::kFtpPass:
    case SessionState::kFtpPwd:
    case SessionState::kFtpType:
    case SessionState::kFtpPort:
    case SessionState::kFtpPortResume:
    case SessionState::kFtpRest:
    case SessionState::kFtpRetrieve:
      return true;
    default:
      return false;
  }
}

// One download of one URL item, from the first step to completion or failure.
// The scheduler calls Step over and over on its own thread; each call does one
// small non-blocking piece of work and returns. Everything the rest of the
// program learns about the transfer is in the item's properties.
class TransferSession final : public Transfer {
 public:
  static constexpr uint32_t kConnectTimeoutMs = 60'000;
  // A server silent for longer than this is given up.
  static constexpr uint32_t kSilenceLimitMs = 60'000;

  TransferSession(Item& item, const TransferContext& context);
  TransferSession(const TransferSession&) = delete;
  TransferSession& operator=(const TransferSession&) = delete;
  ~TransferSession();

  // Takes the tree lock itself and lets go of it only around name lookups.
  bool Step(size_t byteLimit) override;
  // A step that may move a whole buffer.
  bool Step() { return Step(context_.bufferSize); }
  int64_t stepBytes() const override { return stepBytes_; }
  Item* item() const override { return item_; }
  void DetachItem() override { item_ = nullptr; }
  Wait NextWait() const override;
  SessionState state() const { return state_; }

 private:
  void RunState();
  void SendPending();
  void Init();
  void ResolveHost();
  void LogConnecting();
  void Connect();
  void ConnectWait();
  void Start();
  void Transfer();
  void Complete();
  void CloseChannels();
  void Reset();

  // file URLs
  void FileStart();
  void FileTransfer();
  // HTTP
  void HttpStart();
  void HttpTransfer();
  // Each returns false when the attempt has ended (or starts over) in it.
  bool HttpReadHeaderLines();
  bool HttpHeaderLine(const std::string& line);
  bool HttpHeaderComplete();
  void HttpRedirect();
  void HttpCompleteAlreadyWhole();
  // FTP
  bool FtpReserveDataSocket();
  void FtpStep();
  void FtpTransfer();
  // Checks the silence limit and, unless a whole line already waits in
  // lineBuffer_, receives once on the command connection; true when there are
  // lines to handle, false when the step ends here (nothing came, or it failed).
  bool FtpReadReplies();
  // Handles complete reply lines in turn until one queues a command; the rest
  // wait in lineBuffer_ for the steps after it is sent.
  void FtpHandleLines();
  void FtpHandleReply(const std::string& line);
  // Queues verb and argument with CR LF; fails the session rather than send
  // an argument that holds a line break.
  bool FtpSend(std::string_view verb, std::string_view argument);
  void FtpRequestFile();
  void FtpRetryRefusedPath(const std::string& line);
  void FtpDataWait();
  // After the data connection has ended: the server's final reply decides.
  void FtpAwaitFinalReply();
  bool FtpHasWholeLine() const;

  // One receive of at most `size` bytes into the shared buffer: the count (0
  // once the peer has closed), or nothing when the step ends here because
  // nothing came or the session failed. Given `lastActivity`, any arrival
  // renews it, and a would-block after too long a silence fails the session.
  std::optional<size_t> Receive(TcpSocket& socket, size_t size, uint32_t* lastActivity);
  // Receive and accept errors end the attempt alike.
  void FailReceive(int error);
  bool SilentTooLong(uint32_t lastActivity) const;

  void Log(std::string_view text);
  // Every failure ends here: logged, kept as the item's "error", and the
  // session moves to Done.
  void Fail(std::string_view message, FailOutcome outcome);
  bool OpenSaveFile();
  // The bookkeeping of a chunk of file data; false when writing failed (the
  // session has already failed).
  bool AcceptChunk(const char* bytes, size_t count);
  bool WriteData(const char* bytes, size_t count);
  bool FlushText();
  // Runs a blocking lookup without the tree lock; false when the item went
  // away or a stop arrived meanwhile (the next step deals with it).
  template <typename Lookup>
  bool WithoutTreeLock(Lookup&& lookup);

  Item* item_;
  TransferContext context_;
  SessionState state_ = SessionState::kInit;
  Protocol protocol_ = Protocol::kFile;
  bool finished_ = false;
  int64_t stepBytes_ = 0;
  size_t stepLimit_ = 0;  // the most file data this step may move
  int64_t received_ = 0;

  std::string url_;
  std::unique_ptr<UrlParts> urlParts_;
  int transferCode_ = 0;
  bool textMode_ = false;

  uint32_t remoteAddress_ = 0;  // host byte order, as resolved
  int remotePort_ = 0;
  SocketAddress remoteSockAddr_;
  TcpSocket mainSocket_;
  uint32_t connectStarted_ = 0;
  std::string sendBuffer_;
  std::string lineBuffer_;

  // HTTP
  std::string statusLine_;
  int httpCode_ = 0;
  bool headerDone_ = false;
  HttpHeaderReader httpHeader_;
  bool httpRangeSent_ = false;
  int64_t httpRangeTotal_ = -1;  // the N of an unsatisfiable range's "*/N"
  uint32_t httpLastReceive_ = 0;

  // FTP
  TcpSocket listenSocket_;
  TcpSocket dataConnection_;
  SocketAddress dataSockAddr_;
  uint32_t dataAddress_ = 0;
  int dataPort_ = 0;
  uint32_t lastActivity_ = 0;
  uint32_t ftpServerAddress_ = 0;  // the only address a data connection may come from
  int refusedDataConnections_ = 0;

  UniqueFd sourceFile_;
  SaveFile saveFile_;
};

}  // namespace pellmarsh
