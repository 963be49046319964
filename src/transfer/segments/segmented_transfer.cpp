#include "transfer/segments/segmented_transfer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <limits>

#include "store/data_file.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/tree.h"
#include "transfer/http/http_exchange.h"
#include "transfer/segments/sparse_file.h"
#include "transfer/session_log.h"
#include "transfer/transfer_mode.h"
#include "transfer/unfinished_file.h"
#include "url/host_defaults.h"
#include "url/url_parser.h"

namespace pellmarsh {
namespace {

constexpr int kBinaryTransfer = 1;

// What a part's session needs of its item to fetch the same file.
constexpr PropKey kCopiedToParts[] = {key::kValue,    key::kLocal,    key::kLogin,
                                      key::kPassword, key::kHttpAuth, key::kRudeRetries,
                                      key::kCookies,  key::kReferrer, key::kUserAgent};

std::string HostOf(const std::string& url) {
  const std::unique_ptr<UrlParts> parts = ParseUrlCopy(url);
  return parts->GetProp(key::kHostName);
}

int ConnectionsFor(Item& settings) {
  return std::clamp(settings.GetPropInt(setting::kConnectionsPerDownload), 1,
                    SegmentedTransfer::kMostConnections);
}

// The parts' map goes with the mark that the file's holes can be read.
void ForgetMap(Item& item) {
  item.SetProp(key::kSegments, "");
  item.SetProp(key::kSegmentHoles, "");
}

int64_t FileLength(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? info.st_size : -1;
}

TransferContext WithEvents(const TransferContext& c, EventSink& events) {
  return TransferContext{c.settings,   c.treeLock, c.clock,      events,          c.resolver,
                         c.localNames, c.buffer,   c.bufferSize, c.saveRequested, c.environment};
}

// A part's log lines, each after its time stamp marked with the part's number.
std::string NumberedLines(const std::string& log, size_t number) {
  const std::string mark = "[" + std::to_string(number) + "] ";
  std::string out;
  size_t at = 0;
  while (at < log.size()) {
    size_t end = log.find('\n', at);
    end = end == std::string::npos ? log.size() : end + 1;
    const std::string_view line(log.data() + at, end - at);
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos) {
      out.append(line);
    } else {
      out.append(line.substr(0, blank + 1)).append(mark).append(line.substr(blank + 1));
    }
    at = end;
  }
  return out;
}

}  // namespace

bool SegmentedTransfer::Suits(Item& item, Item& settings) {
  if (ConnectionsFor(settings) < 2) {
    return false;
  }
  const std::unique_ptr<UrlParts> url = ParseUrlCopy(item.GetProp(key::kValue));
  const std::string scheme = url->GetProp(key::kProtocol);
  if (!url->GetProp(key::kError).empty() || (scheme != "http" && scheme != "https")) {
    return false;
  }
  if (const Item* host = FindHostDefaults(settings, url->GetProp(key::kHostName));
      host && host->GetPropInt(key::kOneConnection) != 0) {
    return false;
  }
  return !ChooseTransferMode(item.GetPropInt(key::kTransferCode), url->GetProp(key::kExtension),
                             settings)
              .textMode;
}

SegmentedTransfer::SegmentedTransfer(Item& item, const TransferContext& context, bool mayUseParts)
    : item_(&item),
      context_(context),
      partContext_(WithEvents(context, silentEvents_)),
      connections_(ConnectionsFor(context.settings)),
      host_(HostOf(item.GetProp(key::kValue))) {
  std::optional<SegmentMap> map;
  if (item.GetPropInt(key::kResume) != 0) {
    map = SegmentMap::Parse(item.GetProp(key::kSegments));
  }
  if (map && FileLength(UnfinishedFileOf(item)) == map->total) {
    if (item.GetPropInt(key::kSegmentHoles) != 0) {
      AdvanceToBytesOnDisk(*map, UnfinishedFileOf(item));
    }
    map_ = std::move(*map);
    return;
  }
  ForgetMap(item);
  // Only a download from the start can learn the file's size and validator
  // before its first byte is written.
  probing_ = mayUseParts && item.GetPropInt(key::kResume) == 0;
  item.SetPropInt(key::kRangeProbe, probing_ ? 1 : 0);
  single_ = std::make_unique<TransferSession>(item, context_);
  HoldConnections();
}

SegmentedTransfer::~SegmentedTransfer() {
  TreeLockGuard lock(context_.treeLock);
  if (item_) {
    item_->SetProp(key::kRangeProbe, "");
  }
  parts_.clear();
  single_.reset();
  HoldConnections();
}

void SegmentedTransfer::HoldConnections() {
  const int parts = RunningParts();
  const int running = (single_ ? 1 : 0) + parts;
  if (context_.servers && running != held_) {
    context_.servers->Change(host_, running - held_);
  }
  held_ = running;
  // Written only on a change: every write marks the item's row for a redraw.
  if (item_ && item_->GetPropInt(key::kRunningParts) != parts) {
    item_->SetPropInt(key::kRunningParts, parts);
  }
}

bool SegmentedTransfer::ServerTaken() const {
  return context_.servers &&
         (context_.servers->Waiting(host_) > 0 ||
          context_.servers->Count(host_) >= ConnectionsPerServer(context_.settings));
}

void SegmentedTransfer::MakeRoomForWaiting() {
  // Only the download holding the last connection gives one up, so two
  // downloads of the same server do not both give way to one newcomer.
  if (!context_.servers || context_.servers->Waiting(host_) == 0 ||
      context_.servers->Count(host_) < ConnectionsPerServer(context_.settings) ||
      RunningParts() < 2) {
    return;
  }
  StopOnePart("Gave a connection to another download.");
}

void SegmentedTransfer::StopOnePart(std::string_view why) {
  Part* stopping = nullptr;
  for (Part& part : parts_) {
    if (part.session &&
        (!stopping || map_.segments[part.index].left() > map_.segments[stopping->index].left())) {
      stopping = &part;
    }
  }
  stopping->session.reset();
  HoldConnections();
  Log("[" + std::to_string(stopping->index + 1) + "] " + std::string(why));
}

// The sessions share our tree lock, which is recursive; here and in
// CollectWaits it is taken again by their name so the lock analysis sees it held.
void SegmentedTransfer::DetachItem() {
  item_ = nullptr;
  if (single_) {
    TreeLockGuard same(single_->treeLock());
    single_->DetachItem();
  }
}

SegmentedTransfer::Wait SegmentedTransfer::NextWait() const {
  std::vector<Wait> waits;
  CollectWaits(waits);
  return waits.size() == 1 ? waits.front() : Wait{};
}

void SegmentedTransfer::CollectWaits(std::vector<Wait>& waits) const {
  if (single_) {
    TreeLockGuard same(single_->treeLock());
    waits.push_back(single_->NextWait());
    return;
  }
  if (finished_) {
    return;
  }
  if (checking_) {
    waits.push_back(completion_.wait());
    return;
  }
  for (const Part& part : parts_) {
    if (part.session && RoomToWrite(part) > 0) {
      TreeLockGuard same(part.session->treeLock());
      waits.push_back(part.session->NextWait());
    }
  }
  // Parts waiting for their retry or held for a save add nothing, so the
  // scheduler sleeps until its next second (or until a save wakes it)
  // instead of stepping us over and over.
  if (parts_.empty() || APartCanStart()) {
    waits.push_back({});
  }
}

bool SegmentedTransfer::Step(size_t byteLimit) {
  stepBytes_ = 0;
  const bool more = single_ ? StepSingle(byteLimit) : StepParts(byteLimit);
  TreeLockGuard lock(context_.treeLock);
  HoldConnections();
  return more;
}

bool SegmentedTransfer::StepSingle(size_t byteLimit) {
  const bool more = single_->Step(byteLimit);
  stepBytes_ = single_->stepBytes();
  TreeLockGuard lock(context_.treeLock);
  if (item_ && !startOverReason_.empty()) {
    Log(startOverReason_);
    startOverReason_.clear();
  }
  if (!item_ || !probing_) {
    return more;
  }
  if (more && item_->GetPropInt64(key::kRangeTotal) > 0) {
    return TakeOverAsFirstPart();
  }
  if (!more) {
    probing_ = false;
    item_->SetProp(key::kRangeProbe, "");
    item_->SetProp(key::kRangeTotal, "");
  }
  return more;
}

bool SegmentedTransfer::TakeOverAsFirstPart() {
  probing_ = false;
  item_->SetProp(key::kRangeProbe, "");
  const int64_t total = item_->GetPropInt64(key::kRangeTotal);
  item_->SetProp(key::kRangeTotal, "");
  map_ = SegmentMap::Even(total, 1);
  const std::string unfinished = UnfinishedFileOf(*item_);
  const std::optional<bool> holes = AllocateWithHoles(unfinished, total);
  if (!holes) {
    single_.reset();
    Fail("Couldn't open save file " + unfinished + ".", FailOutcome::kPermanent);
    return false;
  }
  item_->SetPropInt(key::kSegmentHoles, *holes ? 1 : 0);
  item_->SetPropInt64(key::kReceivedSession, 0);
  SaveMap();
  // The first part goes on at once: a crash before the save only fetches
  // again what it wrote meanwhile, as after any download's last save.
  if (context_.saveRequested) {
    RequestSave(*context_.saveRequested);
  }
  BeginParts();
  // The first answer's body is the first part's.
  Part& first = parts_.front();
  PrepareItem(first);
  first.item->SetPropInt(key::kStatus, kStatusTransferring);
  first.session = std::move(single_);
  TreeLockGuard same(first.session->treeLock());
  first.session->MoveTo(*first.item);
  StartParts();
  return true;
}

void SegmentedTransfer::BeginParts() {
  item_->SetPropInt(key::kResume, 1);
  item_->SetPropInt64(key::kSize, map_.total);
  Log("Fetching " + std::to_string(map_.total) + " bytes over up to " +
      std::to_string(connections_) + " connections.");
  for (size_t i = 0; i < map_.segments.size(); ++i) {
    parts_.push_back({i, nullptr, nullptr, 0, false, false, i});
  }
  const auto unfinished = std::count_if(map_.segments.begin(), map_.segments.end(),
                                        [](const Segment& s) { return !s.done(); });
  ramp_ = ConnectionRamp(static_cast<int>(unfinished), connections_);
}

bool SegmentedTransfer::StepParts(size_t byteLimit) {
  {
    TreeLockGuard lock(context_.treeLock);
    if (finished_ || !item_) {
      return false;
    }
    if (checking_) {
      if (!HandleStop()) {
        checking_ = completion_.Poll(*item_) == DownloadCompletion::Progress::kChecking;
      }
      return !finished_;
    }
    if (parts_.empty()) {
      // Resuming from the map the item kept: a new attempt, logged as one.
      StartAttemptLog();
      item_->SetPropInt64(key::kReceivedSession, 0);
      item_->SetProp(key::kChecking, "");
      item_->SetPropInt(key::kStatus, kStatusTransferring);
      context_.events.RaiseEvent("START");
      BeginParts();
      StartParts();
      return true;
    }
    if (HandleStop()) {
      return true;
    }
    MakeRoomForWaiting();
    StartParts();
  }
  // Every running part gets its turn within one step. Under a budget smaller
  // than a buffer they share the step's bytes, so the limit holds for the
  // download as a whole; otherwise each may fill the buffer, as one
  // connection's step does, and the budget's rate counts them all.
  const bool shared = byteLimit < context_.bufferSize;
  for (size_t turn = 0;
       turn < parts_.size() && (!shared || stepBytes_ < static_cast<int64_t>(byteLimit)); ++turn) {
    Part& part = parts_[(rotation_ + turn) % parts_.size()];
    const int64_t room = part.session ? RoomToWrite(part) : 0;
    if (room <= 0) {
      continue;
    }
    const size_t limit = shared ? byteLimit - static_cast<size_t>(stepBytes_) : byteLimit;
    const bool more = part.session->Step(
        static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(limit), room)));
    stepBytes_ += part.session->stepBytes();
    part.flowing = part.flowing || part.session->stepBytes() > 0;
    TreeLockGuard lock(context_.treeLock);
    if (!item_) {
      return false;
    }
    NotePart(part, more);
    if (finished_ || single_) {
      break;
    }
  }
  rotation_ = parts_.empty() ? 0 : (rotation_ + 1) % parts_.size();
  TreeLockGuard lock(context_.treeLock);
  if (!item_ || finished_) {
    return false;
  }
  if (single_) {
    return true;
  }
  item_->SetPropInt64(key::kReceived, map_.received());
  item_->SetPropInt64(key::kReceivedSession,
                      item_->GetPropInt64(key::kReceivedSession) + stepBytes_);
  FollowRamp();
  SaveMap();
  if (map_.done()) {
    Finish();
    return !finished_;
  }
  return true;
}

bool SegmentedTransfer::HandleStop() {
  const int status = item_->GetPropInt(key::kStatus);
  if (IsStopRequest(status)) {
    parts_.clear();
    EndOnRequest(*item_, status, context_.events);
    finished_ = true;
    return true;
  }
  if (status == kStatusGoingOffline) {
    parts_.clear();
    Fail("Went offline.", FailOutcome::kOffline);
    context_.events.RaiseEvent("STOP");
    return true;
  }
  return false;
}

int SegmentedTransfer::RunningParts() const {
  return static_cast<int>(std::count_if(parts_.begin(), parts_.end(),
                                        [](const Part& p) { return p.session != nullptr; }));
}

bool SegmentedTransfer::Startable(const Part& part, uint32_t now) const {
  return !part.session && !map_.segments[part.index].done() &&
         !(part.retrying && static_cast<int32_t>(now - part.retryAt) < 0);
}

int SegmentedTransfer::Wanted() const {
  return std::min(connections_, ramp_.wanted());
}

bool SegmentedTransfer::RoomForAnotherPart() const {
  // The download's first connection is its own; the others share the server.
  return RunningParts() < Wanted() && !(RunningParts() > 0 && ServerTaken());
}

bool SegmentedTransfer::APartCanStart() const {
  if (!RoomForAnotherPart()) {
    return false;
  }
  const uint32_t now = context_.clock.TickCount();
  for (const Part& part : parts_) {
    if (Startable(part, now) || (part.awaitingSave && Saved(part))) {
      return true;
    }
  }
  return false;
}

int64_t SegmentedTransfer::RoomToWrite(const Part& part) const {
  for (const Part& split : parts_) {
    if (split.awaitingSave && split.splitFrom == part.index && split.index != part.index) {
      const Segment& own = map_.segments[part.index];
      return own.end - kSplitGuard - own.next;
    }
  }
  return std::numeric_limits<int64_t>::max();
}

bool SegmentedTransfer::Saved(const Part& part) const {
  // Idle comes only after every save asked for until then, this one's too.
  return *context_.saveRequested == kSaveIdle || map_.segments[part.splitFrom].done();
}

void SegmentedTransfer::StartParts() {
  const uint32_t now = context_.clock.TickCount();
  for (Part& part : parts_) {
    if (part.awaitingSave && Saved(part)) {
      part.awaitingSave = false;
    }
    if (!Startable(part, now)) {
      continue;
    }
    if (!RoomForAnotherPart()) {
      return;
    }
    StartPart(part);
  }
  AddPartWhereRoom();
}

void SegmentedTransfer::PrepareItem(Part& part) {
  const Segment& range = map_.segments[part.index];
  if (!part.item) {
    part.item = std::make_unique<Item>();
    for (PropKey copied : kCopiedToParts) {
      part.item->SetProp(copied, item_->GetProp(copied));
    }
    part.item->SetPropInt(key::kTransferCode, kBinaryTransfer);
    part.item->SetProp(key::kSegmentValidator, item_->GetProp(key::kSegmentValidator));
    part.item->SetPropInt64(key::kRangeTotal, map_.total);
  }
  part.item->SetPropInt64(key::kRangeStart, range.next);
  part.item->SetPropInt64(key::kRangeEnd, range.end);
  part.item->SetPropInt64(key::kSize, range.end);
  part.item->SetPropInt(key::kResume, 1);
  part.retrying = false;
}

void SegmentedTransfer::StartPart(Part& part) {
  PrepareItem(part);
  part.item->SetPropInt(key::kStatus, kStatusStarting);
  part.session = std::make_unique<TransferSession>(*part.item, partContext_);
  part.flowing = false;
  HoldConnections();
}

void SegmentedTransfer::NotePart(Part& part, bool more) {
  Item& own = *part.item;
  Segment& range = map_.segments[part.index];
  // The session counts from the start of the file; before its answer it
  // counts nothing of ours.
  const int64_t received = own.GetPropInt64(key::kReceived);
  range.end = std::min(range.end, own.GetPropInt64(key::kRangeEnd));
  range.next = std::clamp(received, range.next, range.end);
  if (const std::string log = own.GetProp(key::kLog); !log.empty()) {
    logBudget_.AppendLines(*item_, context_.clock.TickCount(), NumberedLines(log, part.index + 1));
    own.SetProp(key::kLog, "");
  }
  if (own.GetPropInt(key::kStatus) == kStatusTransferring &&
      item_->GetPropInt(key::kStatus) != kStatusTransferring) {
    item_->SetPropInt(key::kStatus, kStatusTransferring);
  }
  if (!more) {
    PartEnded(part);
  }
}

void SegmentedTransfer::PartEnded(Part& part) {
  Item& own = *part.item;
  const int status = own.GetPropInt(key::kStatus);
  const RangeFault fault = part.session->rangeFault();
  const bool gotBytes = own.GetPropInt64(key::kReceivedSession) > 0;
  const std::string error = own.GetProp(key::kError);
  part.session.reset();
  const std::string number = "[" + std::to_string(part.index + 1) + "] ";
  // Only bytes on disk count: a part whose answer ended short of its range
  // goes on below like one that was cut.
  if (status == kStatusComplete && map_.segments[part.index].done()) {
    return;
  }
  if (fault == RangeFault::kWhole) {
    StartOverOnOneConnection(number +
                             "The server does not serve parts: going on over one connection.");
    return;
  }
  if (fault == RangeFault::kChanged && item_->GetPropInt64(key::kRefreshedTotal) > 0) {
    item_->SetPropInt(key::kOtherFile, 1);
    Fail(number + std::string(kAnotherFileText) + ".", FailOutcome::kPermanent);
    return;
  }
  if (fault == RangeFault::kChanged) {
    StartOverOnOneConnection(number +
                             "The file changed on the server: starting over on one connection.");
    return;
  }
  if (status == kStatusFailed) {
    Fail(error, FailOutcome::kPermanent);
    return;
  }
  const int others = RunningParts();
  if (!gotBytes && others > 0 && fault != RangeFault::kBusy) {
    // A server that allows a client few connections refuses, resets or turns
    // away the extra ones: go on with those that work.
    connections_ = others;
    Log(number + "The server refused another connection: going on with " + std::to_string(others) +
        ".");
    if (connections_ == 1) {
      const std::string host = HostOf(item_->GetProp(key::kValue));
      if (!host.empty()) {
        HostDefaults(context_.settings).FindOrCreateChild(host).SetPropInt(key::kOneConnection, 1);
      }
    }
    return;
  }
  // The part's own wait, which a busy server's Retry-After may have set.
  const int wait = std::max(own.GetPropInt(key::kRetryTimeout), 1);
  if (others == 0) {
    // Nothing else runs: the item waits as a whole and comes back to its map.
    SaveMap();
    Fail(error.empty() ? "The connection failed." : error, FailOutcome::kRetry);
    item_->SetPropInt(key::kRetryTimeout, std::max(item_->GetPropInt(key::kRetryTimeout), wait));
    return;
  }
  part.retrying = true;
  part.retryAt = context_.clock.TickCount() + static_cast<uint32_t>(wait) * 1000U;
  Log(number + "Retrying this part in " + std::to_string(wait) + " seconds.");
}

void SegmentedTransfer::FollowRamp() {
  const auto flowing = std::count_if(parts_.begin(), parts_.end(),
                                     [](const Part& p) { return p.session && p.flowing; });
  ramp_.Note(context_.clock.TickCount(), static_cast<int>(flowing), stepBytes_);
  if (RunningParts() > Wanted()) {
    StopOnePart("Another connection made the download no faster: going on with " +
                std::to_string(Wanted()) + ".");
  }
}

bool SegmentedTransfer::WorthSplitting() const {
  if (item_->GetPropInt(key::kSegmentHoles) == 0 || !context_.saveRequested) {
    return true;
  }
  // Until the next save the part it comes from stops short of a part split
  // off; one fast enough to get there first would only stand idle.
  int64_t largest = 0;
  for (const Segment& segment : map_.segments) {
    largest = std::max(largest, segment.left());
  }
  const int64_t perPart = ramp_.rate() / std::max(RunningParts(), 1);
  return largest / 2 > perPart * kSaveWaitMs / 1000;
}

void SegmentedTransfer::AddPartWhereRoom() {
  const bool everyPartRuns = std::all_of(parts_.begin(), parts_.end(), [this](const Part& p) {
    return p.session || map_.segments[p.index].done();
  });
  if (!everyPartRuns || !RoomForAnotherPart() || !WorthSplitting()) {
    return;
  }
  const std::optional<size_t> added = map_.SplitLargest(kSmallestSplit);
  if (!added) {
    return;
  }
  const Segment& back = map_.segments[*added];
  size_t from = *added;
  for (size_t index = 0; index < map_.segments.size(); ++index) {
    if (index != *added && map_.segments[index].end == back.start) {
      from = index;
    }
  }
  // The part that gave its back half away must stop where the new one begins.
  for (Part& part : parts_) {
    if (part.index == from && part.item) {
      part.item->SetPropInt64(key::kRangeEnd, back.start);
    }
  }
  const bool holes = item_->GetPropInt(key::kSegmentHoles) != 0;
  parts_.push_back({*added, nullptr, nullptr, 0, false, holes && context_.saveRequested, from});
  if (context_.saveRequested) {
    RequestSave(*context_.saveRequested);
  }
  StartPart(parts_.back());
}

void SegmentedTransfer::StartOverOnOneConnection(const std::string& why) {
  Log(why);
  startOverReason_ = why;
  parts_.clear();
  ForgetMap(*item_);
  item_->SetPropInt(key::kResume, 0);
  item_->SetPropInt64(key::kReceived, 0);
  // Only what one connection writes from the start remains of the file.
  if (const std::string unfinished = UnfinishedFileOf(*item_); FileLength(unfinished) > 0) {
    ::truncate(unfinished.c_str(), 0);
  }
  single_ = std::make_unique<TransferSession>(*item_, context_);
}

void SegmentedTransfer::Fail(std::string_view message, FailOutcome outcome) {
  AppendLogLine(*item_, context_.clock.TickCount(), message);
  item_->SetProp(key::kError, message);
  ApplyFailureOutcome(*item_, outcome, context_.events);
  parts_.clear();
  finished_ = true;
}

void SegmentedTransfer::Finish() {
  // Every part reached its end; the file must also be exactly the map's size.
  if (const int64_t length = FileLength(UnfinishedFileOf(*item_)); length != map_.total) {
    StartOverOnOneConnection("The file on disk holds " + std::to_string(length) + " bytes, not " +
                             std::to_string(map_.total) + ": starting over on one connection.");
    return;
  }
  parts_.clear();
  // The parts of a file are never fetched in text mode.
  checking_ = completion_.Begin(*item_, false) == DownloadCompletion::Progress::kChecking;
}

void SegmentedTransfer::Completing(Item& item) {
  ForgetMap(item);
  item.SetProp(key::kSegmentValidator, "");
  item.SetProp(key::kRefreshedTotal, "");
  item.SetPropInt64(key::kSize, map_.total);
  item.SetPropInt64(key::kReceived, map_.total);
  finished_ = true;
}

void SegmentedTransfer::SaveMap() {
  item_->SetProp(key::kSegments, map_.Format());
}

void SegmentedTransfer::Log(std::string_view text) {
  logBudget_.Log(*item_, context_.clock.TickCount(), text);
}

void SegmentedTransfer::StartAttemptLog() {
  if (context_.settings.GetPropInt(setting::kDelLog) == 0) {
    Log("--------------------------");
  } else {
    item_->SetProp(key::kLog, "");
  }
  Log("Start: " + item_->GetProp(key::kValue));
}

}  // namespace pellmarsh
