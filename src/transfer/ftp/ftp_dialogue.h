#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transfer/ftp/ftp_data_channel.h"
#include "transfer/ftp/ftp_data_mode.h"
#include "transfer/ftp/ftp_reply_lines.h"
#include "transfer/protocol_exchange.h"

namespace pellmarsh {

// The dialogue's own steps: the command states, which wait for a reply on the
// command connection (a passive data connection is made between two of them),
// then the wait for the data connection, the data, and the server's final reply.
enum class FtpState {
  kGreeting,
  kUser,
  kPass,
  kPwd,
  kType,
  kEpsv,
  kPasv,
  kPassiveConnect,
  kPassiveSocks,
  kPort,
  kPortResume,
  kRest,
  kRetrieve,
  kDataWait,
  kData,
  kFinalReply,
};

// FTP: the login dialogue, a passive data connection out to the server or an
// active one to a socket of our own, REST resumes and directory listings.
// Through a SOCKS proxy the data connection is always passive, a new one
// through the proxy: the server cannot connect back through it.
class FtpDialogue final : public ProtocolExchange {
 public:
  explicit FtpDialogue(SessionHost& session);

  SessionState AfterConnect(uint32_t resolvedAddress, uint32_t serverAddress) override;
  SessionState DialogueStep() override;
  SessionState Start() override;
  SessionState TransferStep(size_t byteLimit) override;
  Transfer::Wait NextWait() const override;
  void CloseData() override { data_.Close(); }
  std::string_view StateName() const override;

 private:
  struct Reply;
  struct Step;
  // The state after a reply; nothing once it has failed the session.
  using Next = std::optional<FtpState>;
  using ReplyHandler = Next (FtpDialogue::*)(const Reply&);

  static const Step& StepOf(FtpState state);

  // Checks the silence and reply limits and, unless a whole line already
  // waits, receives once on the command connection; true when there are lines
  // to handle.
  bool ReadReplies();
  // The command connection failed us: the session fails, unless the final
  // reply was all that was missing from a file that arrived whole.
  bool LoseCommandChannel(std::string_view message);
  bool WholeFileArrived() const;
  // The next whole reply line, logged; nothing until one has arrived.
  std::optional<std::string> TakeLine();
  // Handles whole reply lines in turn until one queues a command; the rest
  // wait for the steps after it is sent.
  void HandleLines();
  Next HandleReply(const std::string& line);

  Next OnGreeting(const Reply& reply);
  Next OnUser(const Reply& reply);
  Next OnPass(const Reply& reply);
  Next OnPwd(const Reply& reply);
  Next OnType(const Reply& reply);
  Next OnEpsv(const Reply& reply);
  Next OnPasv(const Reply& reply);
  Next OnPort(const Reply& reply);
  Next OnPortResume(const Reply& reply);
  Next OnRest(const Reply& reply);
  Next OnRetrieve(const Reply& reply);

  // Queues verb and argument with CR LF and goes on in `next`; fails the
  // session rather than send an argument that holds a line break.
  Next SendThen(std::string_view verb, std::string_view argument, FtpState next);
  // The data command in turn; PORT first reserves the socket it names.
  Next SendDataCommand();
  // After a data command the server does not do, or a reply without a
  // usable port: the next command in turn, or the session fails.
  Next TryNextDataCommand(const Reply& reply, std::string_view why);
  // Starts the data connection to the command connection's peer.
  Next ConnectPassive(uint16_t port);
  // Once the data channel is ready: REST for a resume, else the file itself.
  Next AfterDataCommand();
  Next SendRest();
  Next RequestFile();
  Next RetryRefusedPath(const Reply& reply);
  std::nullopt_t Failed(std::string_view message, FailOutcome outcome);

  SessionState AcceptDataConnection();
  // The passive connect, before the file is asked for: some servers refuse
  // RETR at once when its data connection is not there yet.
  SessionState AwaitPassiveConnect();
  // Where a step of the passive connect, or through a SOCKS proxy of its
  // handshake after it, leaves the dialogue: once open, the file is asked for.
  SessionState PassiveStep(FtpDataChannel::Progress progress);
  // The data channel is open, whichever way, and the file announced: data may flow.
  SessionState DataChannelOpen();
  void RememberDataCommand();
  // After the data connection has ended: the server's final reply decides.
  SessionState AwaitFinalReply();

  SessionHost& session_;
  FtpState state_ = FtpState::kGreeting;
  std::string fullPath_;  // rewritten while the server refuses it
  FtpReplyLines replies_;
  FtpDataChannel data_;
  std::vector<FtpDataCommand> dataCommands_;  // in the order they are tried
  size_t dataCommand_ = 0;                    // the one in use
  // The last reply line, the data socket's reservation or accept, or data.
  uint32_t lastActivity_ = 0;
  std::optional<int64_t> announcedSize_;  // by the reply to RETR
  bool wholeWithoutFinalReply_ = false;
};

}  // namespace pellmarsh
