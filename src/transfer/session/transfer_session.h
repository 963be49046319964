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
#include "transfer/download_completion.h"
#include "transfer/proxy/socks_handshake.h"
#include "transfer/session/request_target.h"
#include "transfer/session/session_connection.h"
#include "transfer/session_host.h"
#include "transfer/session_log.h"
#include "transfer/session_writer.h"
#include "transfer/transfer.h"

namespace pellmarsh {

class ProtocolExchange;

// One download of one URL item, from the first step to completion or failure.
// The scheduler calls Step over and over on its own thread; each call does one
// small non-blocking piece of work and returns. Everything the rest of the
// program learns about the transfer is in the item's properties.
class TransferSession final : public Transfer, private SessionHost, private CompletionHost {
 public:
  TransferSession(Item& item, const TransferContext& context);
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
  const UrlParts& urlParts() const override { return target_.parts(); }
  SessionLink& connection() override { return connection_; }
  const SessionLink& connection() const override { return connection_; }
  void Log(std::string_view text) override REQUIRES(context_.treeLock);
  void Fail(std::string_view message, FailOutcome outcome) override REQUIRES(context_.treeLock);
  void NoteRangeFault(RangeFault fault) override { rangeFault_ = fault; }
  SessionWriter& writer() override { return writer_; }
  const Login& login() const override { return target_.login(); }
  bool loginAsked() const override REQUIRES(context_.treeLock);
  SessionState AskAgainWithLogin() override REQUIRES(context_.treeLock);
  SessionState FollowRedirect(int code, const std::string& location) override
      REQUIRES(context_.treeLock);

  void RunState() REQUIRES(context_.treeLock);
  // Where a protocol's hook said the session goes; a hook that failed the
  // session has already ended it, and kInit starts the attempt over.
  void GoOn(SessionState next) REQUIRES(context_.treeLock);
  void Init() REQUIRES(context_.treeLock);
  // The attempt's first request goes to the item's own URL.
  void BeginAttempt() REQUIRES(context_.treeLock);
  void ResolveHost() REQUIRES(context_.treeLock);
  // The addresses of a name; false when the session has failed or the
  // lookup was cut short.
  bool LookUp(const std::string& hostName, std::vector<SocketAddress>& addresses)
      REQUIRES(context_.treeLock);
  // What the SOCKS proxy is to connect to: the URL's host by name for socks5h,
  // else looked up here; nothing as LookUp.
  std::optional<SocksDestination> ChooseSocksDestination() REQUIRES(context_.treeLock);
  // Where a step of the connection said the session goes: on to the
  // protocol once the connection carries its bytes.
  void GoOnConnecting(SessionState next) REQUIRES(context_.treeLock);
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

  RequestTarget target_;

  SessionConnection connection_{*this};
  LogBudget logBudget_;

  std::unique_ptr<ProtocolExchange> exchange_;  // made by Init for the URL's scheme
  SessionWriter writer_;
  DownloadCompletion completion_;
  RangeFault rangeFault_ = RangeFault::kNone;
};

}  // namespace pellmarsh
