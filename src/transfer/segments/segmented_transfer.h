#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/thread_annotations.h"
#include "transfer/download_completion.h"
#include "transfer/segment_map.h"
#include "transfer/segments/connection_ramp.h"
#include "transfer/session/transfer_session.h"
#include "transfer/transfer.h"

namespace pellmarsh {

// An http(s) download that may run over several connections. It starts as
// one session that also asks whether the server serves parts; when it does,
// the file is allocated to its size and that session goes on as the first
// part. More parts, each a session writing at its own offset, split off the
// largest remainder for as long as each makes the download faster. Any
// sign that parts cannot be had (a whole file where a part was asked, another
// file) sends the download back to one connection.
class SegmentedTransfer final : public Transfer, private CompletionHost {
 public:
  // At most this many connections for one download.
  static constexpr int kMostConnections = 16;
  // A part is split in two only when this much of it is left.
  static constexpr int64_t kSmallestSplit = 1024 * 1024;
  // The longest a part split off waits for the data file to hold it: the
  // window saves once a second.
  static constexpr int64_t kSaveWaitMs = 1000;
  // How far short of an unsaved split its part stops: a few of the largest
  // filesystem blocks, so a whole hole lies between them.
  static constexpr int64_t kSplitGuard = 256 * 1024;

  // Without `mayUseParts` it runs one session, as a plain download, and only
  // counts its connection to the server.
  SegmentedTransfer(Item& item, const TransferContext& context, bool mayUseParts = true)
      REQUIRES(context.treeLock);
  SegmentedTransfer(const SegmentedTransfer&) = delete;
  SegmentedTransfer& operator=(const SegmentedTransfer&) = delete;
  ~SegmentedTransfer() override;

  // Whether `item` goes through this transfer rather than a plain session.
  static bool Suits(Item& item, Item& settings);

  bool Step(size_t byteLimit) override EXCLUDES(context_.treeLock);
  int64_t stepBytes() const override { return stepBytes_; }
  Item* item() const override REQUIRES(context_.treeLock) { return item_; }
  void DetachItem() override REQUIRES(context_.treeLock);
  Wait NextWait() const override REQUIRES(context_.treeLock);
  void CollectWaits(std::vector<Wait>& waits) const override REQUIRES(context_.treeLock);

 private:
  // One part's own session, on an item of its own that the tree never sees.
  struct Part {
    size_t index = 0;  // into the map
    std::unique_ptr<Item> item;
    std::unique_ptr<TransferSession> session;
    uint32_t retryAt = 0;
    bool retrying = false;
    // A part split off while the file's holes tell a restart where parts
    // end, until the data file holds it: the part it came from stops short
    // of it until then. A crash meanwhile restarts from a map without it,
    // where only a hole between the two tells where the first one's bytes
    // end.
    bool awaitingSave = false;
    size_t splitFrom = 0;  // into the map
    bool flowing = false;  // its session has brought bytes
  };

  bool StepSingle(size_t byteLimit) EXCLUDES(context_.treeLock);
  bool StepParts(size_t byteLimit) EXCLUDES(context_.treeLock);
  // The first answer said parts can be had: the file is allocated, the map
  // made, and the first connection goes on as the first part. False when
  // the file could not be allocated (the item has failed).
  bool TakeOverAsFirstPart() REQUIRES(context_.treeLock);
  // A part for each segment of the map.
  void BeginParts() REQUIRES(context_.treeLock);
  void StartParts() REQUIRES(context_.treeLock);
  bool Startable(const Part& part, uint32_t now) const REQUIRES(context_.treeLock);
  bool APartCanStart() const REQUIRES(context_.treeLock);
  // Whether the save a part split off waits for has happened.
  bool Saved(const Part& part) const REQUIRES(context_.treeLock);
  // The bytes the part may write before the part split off it is saved.
  int64_t RoomToWrite(const Part& part) const;
  // The part's own item, made on first use, asking for its range as it stands.
  void PrepareItem(Part& part) REQUIRES(context_.treeLock);
  void StartPart(Part& part) REQUIRES(context_.treeLock);
  // After a step of its session: its bytes into the map and its log lines
  // into the item's; when it ended, what follows from how.
  void NotePart(Part& part, bool more) REQUIRES(context_.treeLock);
  void PartEnded(Part& part) REQUIRES(context_.treeLock);
  // The parts that may run now: as many as help, within the settings.
  int Wanted() const;
  bool RoomForAnotherPart() const REQUIRES(context_.treeLock);
  bool WorthSplitting() const REQUIRES(context_.treeLock);
  // Another part splits off the largest remainder when every part left runs.
  void AddPartWhereRoom() REQUIRES(context_.treeLock);
  // The rate with every part flowing says whether the last part added helped.
  void FollowRamp() REQUIRES(context_.treeLock);
  // The part with most left stops where its bytes end; the rest of its range
  // stays in the map for a part to come.
  void StopOnePart(std::string_view why) REQUIRES(context_.treeLock);
  void StartOverOnOneConnection(const std::string& why) REQUIRES(context_.treeLock);
  void Fail(std::string_view message, FailOutcome outcome) override REQUIRES(context_.treeLock);
  // Every part has ended: the file is checked, when the item expects a
  // checksum, then completed.
  void Finish() REQUIRES(context_.treeLock);
  void Completing(Item& item) override;
  void SaveMap() REQUIRES(context_.treeLock);
  bool HandleStop() REQUIRES(context_.treeLock);
  int RunningParts() const;
  // Tells the server count how many connections run now.
  void HoldConnections() REQUIRES(context_.treeLock);
  // The server has no connection for another part, or another download
  // waits for one.
  bool ServerTaken() const REQUIRES(context_.treeLock);
  // Another download waits for the server whose connections we hold: one
  // part stops at once.
  void MakeRoomForWaiting() REQUIRES(context_.treeLock);
  void Log(std::string_view text) override REQUIRES(context_.treeLock);
  // The separator, or the cleared log, that the settings ask of a new attempt.
  void StartAttemptLog() REQUIRES(context_.treeLock);

  Item* item_ GUARDED_BY(context_.treeLock) PT_GUARDED_BY(context_.treeLock);
  TransferContext context_;
  SilentEvents silentEvents_;  // for the parts: only the item's own events make a sound
  TransferContext partContext_;
  std::unique_ptr<TransferSession> single_;  // until parts begin, or after they gave up
  bool probing_ = false;
  // Why one connection took over, logged once its session has started the
  // log afresh.
  std::string startOverReason_;
  SegmentMap map_;
  std::vector<Part> parts_;
  int connections_ = 1;  // the most parts that run at once
  ConnectionRamp ramp_;
  size_t rotation_ = 0;
  std::string host_;
  int held_ = 0;  // connections counted for host_
  int64_t stepBytes_ = 0;
  bool finished_ = false;
  DownloadCompletion completion_{*this, context_};
  bool checking_ = false;
  // Counted over the whole download: its parts' lines and its own.
  LogBudget logBudget_;
};

}  // namespace pellmarsh
