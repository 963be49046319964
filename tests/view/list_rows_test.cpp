#include "view/list_rows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "store/item_status.h"
#include "store/keys.h"
#include "view/list_refresh.h"

namespace pellmarsh {
namespace {

constexpr int64_t kNow = 1796600000;  // Sun, Dec 06, 2026 23:33:20 UTC

class UtcZone : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};
const auto* const kUtc = ::testing::AddGlobalTestEnvironment(new UtcZone);

using Props = std::vector<std::pair<PropKey, std::string>>;

// A status as an item holds it, in text.
std::string Code(ItemStatus status) {
  return std::to_string(status);
}

std::unique_ptr<Item> MakeItem(const Props& props) {
  auto item = std::make_unique<Item>();
  for (const auto& [name, value] : props) {
    item->SetProp(name, value);
  }
  return item;
}

struct TextRow {
  const char* what;
  Props props;
  VirusCheckMode virusCheck;
  int image;
  std::string text;
};

TEST(ListRows, EachStatusShowsItsImageAndText) {
  const std::string longUrl(130, 'u');
  const TextRow rows[] = {
      {"on hold", {{key::kStatus, Code(kStatusOnHold)}}, VirusCheckMode::kOff, 0, "On hold"},
      {"queued",
       {{key::kStatus, Code(kStatusQueued)}},
       VirusCheckMode::kOff,
       1,
       "Queued for download!"},
      {"queued, waiting for its server",
       {{key::kStatus, Code(kStatusQueued)},
        {key::kWaitingFor, "Waiting for a connection to files.example (4 of 4 in use)"}},
       VirusCheckMode::kOff,
       1,
       "Waiting for a connection to files.example (4 of 4 in use)"},
      {"on hold, with a reason left from its wait",
       {{key::kStatus, Code(kStatusOnHold)}, {key::kWaitingFor, "Waiting: offline"}},
       VirusCheckMode::kOff,
       0,
       "On hold"},
      {"complete today, unknown size",
       {{key::kStatus, Code(kStatusComplete)},
        {key::kReceived, "5000"},
        {key::kSize, "0"},
        {key::kStart, std::to_string(kNow - 100)},
        {key::kFinish, std::to_string(kNow - 58)}},
       VirusCheckMode::kOff,
       3,
       "5,000 bytes Complete!  Finished today in 0:42."},
      {"complete on an earlier day, over 4 GiB",
       {{key::kStatus, Code(kStatusComplete)},
        {key::kReceived, "5000000000"},
        {key::kSize, "5000000000"},
        {key::kStart, "1796000000"},
        {key::kFinish, "1796000125"}},
       VirusCheckMode::kOff,
       3,
       "5,000,000,000 bytes Complete!  Finished Mon, Nov 30, 2026 in 2:05."},
      {"short",
       {{key::kStatus, Code(kStatusComplete)}, {key::kReceived, "900"}, {key::kSize, "1000"}},
       VirusCheckMode::kOff,
       3,
       "Short.  900 of 1,000 bytes retrieved."},
      {"oversized, checked clean",
       {{key::kStatus, Code(kStatusComplete)},
        {key::kReceived, "1100"},
        {key::kSize, "1000"},
        {key::kVirusCheck, "2"}},
       VirusCheckMode::kManualOnly,
       3,
       "OK: Oversized.  1,100 of 1,000 bytes retrieved."},
      {"short, infected",
       {{key::kStatus, Code(kStatusComplete)},
        {key::kReceived, "1"},
        {key::kSize, "2"},
        {key::kVirusCheck, "1"}},
       VirusCheckMode::kAutomatic,
       7,
       "INFECTED: Short.  1 of 2 bytes retrieved."},
      {"short, unchecked",
       {{key::kStatus, Code(kStatusComplete)}, {key::kReceived, "1"}, {key::kSize, "2"}},
       VirusCheckMode::kManualOnly,
       8,
       "UNCHECKED: Short.  1 of 2 bytes retrieved."},
      {"short, unknown verdict",
       {{key::kStatus, Code(kStatusComplete)},
        {key::kReceived, "1"},
        {key::kSize, "2"},
        {key::kVirusCheck, "3"}},
       VirusCheckMode::kManualOnly,
       8,
       "UNKNOWN-SEE LOG: Short.  1 of 2 bytes retrieved."},
      {"short, checker failed",
       {{key::kStatus, Code(kStatusComplete)},
        {key::kReceived, "1"},
        {key::kSize, "2"},
        {key::kVirusCheck, "4"}},
       VirusCheckMode::kManualOnly,
       8,
       "VCHECK ERROR: Short.  1 of 2 bytes retrieved."},
      {"fatal",
       {{key::kStatus, Code(kStatusFailed)}, {key::kError, "404 Not Found"}},
       VirusCheckMode::kOff,
       4,
       "Fatal Error: 404 Not Found"},
      {"paused", {{key::kStatus, Code(kStatusPaused)}}, VirusCheckMode::kOff, 5, "Paused"},
      {"retrying",
       {{key::kStatus, Code(kStatusWaitingToRetry)},
        {key::kRetryCount, "3"},
        {key::kRetryTimeout, "125"},
        {key::kError, "Timed out"}},
       VirusCheckMode::kOff,
       5,
       "Retry 3 in 2:05, last error: Timed out"},
      {"clipped",
       {{key::kStatus, Code(kStatusClipped)}, {key::kCreate, std::to_string(kNow)}},
       VirusCheckMode::kOff,
       6,
       "Clipped Sun, Dec 06, 2026"},
      {"transferring, size unknown",
       {{key::kStatus, Code(kStatusTransferring)},
        {key::kReceived, "3000000000"},
        {key::kSpeedFlag, "11"}},
       VirusCheckMode::kOff,
       11,
       "3,000,000,000 bytes received (3.0 GB)"},
      {"transferring, before a second of data",
       {{key::kStatus, Code(kStatusTransferring)},
        {key::kReceived, "10"},
        {key::kSize, "100"},
        {key::kReceivedSession, "10"},
        {key::kStart, std::to_string(kNow - 5)}},
       VirusCheckMode::kOff,
       2,
       "10 bytes of 100 received (10 B of 100 B)"},
      {"transferring, held or stalled",
       {{key::kStatus, Code(kStatusTransferring)},
        {key::kReceived, "10"},
        {key::kSize, "100"},
        {key::kReceivedSession, "10"},
        {key::kRecentRate, "0"},
        {key::kStart, std::to_string(kNow - 60)}},
       VirusCheckMode::kOff,
       2,
       "10 bytes of 100 received (10 B of 100 B)"},
      {"transferring with an estimate from the recent rate, not the session's",
       {{key::kStatus, Code(kStatusTransferring)},
        {key::kReceived, "1000"},
        {key::kSize, "7000"},
        {key::kReceivedSession, "1000"},
        {key::kRecentRate, "100"},
        {key::kStart, std::to_string(kNow - 1000)}},
       VirusCheckMode::kOff,
       2,
       "ETA 1:00, 1,000 bytes of 7,000 received (1.0 kB of 7.0 kB at 100 B/s)"},
      {"transferring, an estimate past an hour",
       {{key::kStatus, Code(kStatusTransferring)},
        {key::kReceived, "37500000"},
        {key::kSize, "200000000"},
        {key::kRecentRate, "40000"}},
       VirusCheckMode::kOff,
       2,
       "ETA 1:07:42, 37,500,000 bytes of 200,000,000 received (37.5 MB of 200 MB at 40.0 kB/s)"},
      {"transferring, a second over ninety-nine hours",
       {{key::kStatus, Code(kStatusTransferring)},
        {key::kReceived, "1000"},
        {key::kSize, "357401"},  // 356401 more at 1 byte a second
        {key::kRecentRate, "1"}},
       VirusCheckMode::kOff,
       2,
       "1,000 bytes of 357,401 received (1.0 kB of 357 kB at 1 B/s)"},
      {"transferring, the largest size a server can announce",
       {{key::kStatus, Code(kStatusTransferring)},
        {key::kReceived, "1000"},
        {key::kSize, "9223372036854775807"},
        {key::kRecentRate, "1"}},
       VirusCheckMode::kOff,
       2,
       "1,000 bytes of 9,223,372,036,854,775,807 received (1.0 kB of 9.2 EB at 1 B/s)"},
      {"checking its checksum, over any waiting reason",
       {{key::kStatus, Code(kStatusTransferring)},
        {key::kSize, "200000000"},
        {key::kChecking, "91000000"},
        {key::kWaitingFor, "Waiting: the connection is metered"}},
       VirusCheckMode::kOff,
       2,
       "Checking... 45%"},
      {"start now",
       {{key::kStatus, Code(kStatusStartNow)}, {key::kSpeedFlag, "9"}},
       VirusCheckMode::kOff,
       9,
       "Rarin' to go!"},
      {"stopping", {{key::kStatus, Code(kStatusStopping)}}, VirusCheckMode::kOff, 0, "Stopping"},
      {"stop requested",
       {{key::kStatus, Code(kStatusStopRequested)}},
       VirusCheckMode::kOff,
       0,
       "Stopping"},
      {"connecting",
       {{key::kStatus, Code(kStatusStarting)}, {key::kProcess, "Resolving host"}},
       VirusCheckMode::kOff,
       2,
       "Connecting: Resolving host"},
      {"going offline",
       {{key::kStatus, Code(kStatusGoingOffline)}},
       VirusCheckMode::kOff,
       0,
       "Going offline"},
      {"unknown status", {{key::kStatus, "77"}}, VirusCheckMode::kOff, 0, ""},
      {"long URL",
       {{key::kStatus, Code(kStatusOnHold)}, {key::kValue, longUrl}},
       VirusCheckMode::kOff,
       0,
       "On hold"},
  };
  for (const TextRow& row : rows) {
    const auto item = MakeItem(row.props);
    const int image = RowImageOf(*item, row.virusCheck);
    EXPECT_EQ(image, row.image) << row.what;
    EXPECT_EQ(StatusText(*item, image, {row.virusCheck, true}, kNow), row.text) << row.what;
    EXPECT_LE(UrlText(*item).size(), 100u) << row.what;
  }
}

TEST(ListRows, ARunningRowsRateFollowsTheChosenUnit) {
  const auto item = MakeItem({{key::kStatus, Code(kStatusTransferring)},
                              {key::kReceived, "0"},
                              {key::kRecentRate, "1706"}});
  EXPECT_EQ(StatusText(*item, 2, {VirusCheckMode::kOff, false}, kNow),
            "0 bytes received (0 B at 99.9 KPM)");
}

TEST(ListRows, DurationsGainHoursPastAnHour) {
  EXPECT_EQ(DurationText(3599), "59:59");
  EXPECT_EQ(DurationText(3600), "1:00:00");
  EXPECT_EQ(DurationText(99 * 3600 + 61), "99:01:01");
}

TEST(ListRows, TabsFilterByFolderAndStatus) {
  EXPECT_EQ(TabFolder(kTabPending), "_filelist");
  EXPECT_EQ(TabFolder(kTabCompleted), "_filelist");
  EXPECT_EQ(TabFolder(kTabArchive), "_filearchive");
  EXPECT_EQ(TabFolder(kTabClipboard), "_fileclip");
  EXPECT_TRUE(TabShowsStatus(kTabPending, kStatusQueued));
  EXPECT_FALSE(TabShowsStatus(kTabPending, kStatusComplete));
  EXPECT_TRUE(TabShowsStatus(kTabCompleted, kStatusComplete));
  EXPECT_FALSE(TabShowsStatus(kTabCompleted, kStatusFailed));
  EXPECT_TRUE(TabShowsStatus(kTabArchive, kStatusComplete));
}

TEST(ListRows, HeaderClicksChooseTheSortModePerTab) {
  // Rows: tab; cells: the mode for columns 0, 1 and 2.
  const int expected[kListTabs][3] = {{0, 3, 0}, {0, 3, 1}, {0, 3, 1}, {0, 3, 4}};
  for (int tab = 0; tab < kListTabs; ++tab) {
    for (int column = 0; column < 3; ++column) {
      EXPECT_EQ(SortModeForHeader(tab, column), expected[tab][column])
          << "tab " << tab << " column " << column;
    }
  }
}

// A second click on the header that made the order turns it round; another
// header starts over. Plain stored modes keep their meaning.
TEST(ListRows, HeaderClicksTurnTheirOwnOrderRound) {
  EXPECT_EQ(SortSettingAfterClick(kTabPending, 1, kSortStatus, false), kSortUrl);
  EXPECT_EQ(SortSettingAfterClick(kTabPending, 1, kSortUrl, true), kSortUrl | kSortReversed);
  EXPECT_EQ(SortSettingAfterClick(kTabPending, 1, kSortUrl | kSortReversed, true), kSortUrl);
  // Status sorts as Filename does on this tab, but is another header.
  EXPECT_EQ(SortSettingAfterClick(kTabPending, 2, kSortStatus, false), kSortStatus);
  EXPECT_EQ(SortSettingAfterClick(kTabClipboard, 2, kSortUrl, true), kSortNewestCreate);
  EXPECT_EQ(SortModeOf(kSortUrl | kSortReversed), kSortUrl);
  EXPECT_FALSE(SortIsReversed(kSortNewestCreate));
  EXPECT_EQ(SortHeaderOf(kTabPending, kSortStatus), 0);
  EXPECT_EQ(SortHeaderOf(kTabArchive, kSortLatestFinish | kSortReversed), 2);
  EXPECT_EQ(SortHeaderOf(kTabArchive, kSortName), -1);  // no header sorts by name alone
}

TEST(ListRows, OnlyARunningRowOfKnownSizeHasAProgressBar) {
  const auto progress = [](ItemStatus status, const char* size) {
    return RowProgress(
        *MakeItem({{key::kStatus, Code(status)}, {key::kSize, size}, {key::kReceived, "1500"}}));
  };
  EXPECT_EQ(progress(kStatusTransferring, "6000"), 25);
  EXPECT_EQ(progress(kStatusStarting, "1500"), 100);
  EXPECT_EQ(progress(kStatusTransferring, "0"), -1);
  EXPECT_EQ(progress(kStatusPaused, "6000"), -1);
  EXPECT_EQ(progress(kStatusComplete, "1500"), -1);
}

TEST(ListRows, SortModesOrderRows) {
  const auto a = MakeItem({{key::kStatus, Code(kStatusQueued)},
                           {key::kName, "b"},
                           {key::kFinish, "10"},
                           {key::kValue, "http://z"},
                           {key::kCreate, "5"}});
  const auto b = MakeItem({{key::kStatus, Code(kStatusQueued)},
                           {key::kName, "a"},
                           {key::kFinish, "20"},
                           {key::kValue, "http://y"},
                           {key::kCreate, "5000000000"}});
  const auto running = MakeItem({{key::kStatus, Code(kStatusTransferring)}, {key::kName, "z"}});
  struct Row {
    int mode;
    const Item* first;
    const Item* second;
    int sign;
  } rows[] = {
      {kSortStatus, running.get(), a.get(), -1},  // higher status first
      {kSortStatus, a.get(), b.get(), 1},         // same status: by name
      {kSortLatestFinish, a.get(), b.get(), 1},
      {kSortName, b.get(), a.get(), -1},
      {kSortUrl, a.get(), b.get(), 1},
      {kSortNewestCreate, b.get(), a.get(), -1},  // beyond 32 bits
      {kSortStatus, nullptr, a.get(), 0},
      {99, a.get(), b.get(), 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(CompareRows(row.first, row.second, row.mode), row.sign) << "mode " << row.mode;
  }
}

TEST(ListRows, SelectionBitsFollowEachItem) {
  const auto exists = [](const std::string& path) { return path == "/there"; };
  struct Row {
    const char* what;
    std::vector<SelectedItem> selection;
    bool virusOn;
    bool halted;
    unsigned bits;
  } rows[] = {
      {"nothing selected", {}, true, false, 0},
      {"queued, no file", {{kStatusQueued, 0, false, "/gone"}}, false, false, 0x1825},
      {"on hold with file and log", {{kStatusOnHold, 0, true, "/there"}}, false, false, 0xce7},
      {"waiting to retry", {{kStatusWaitingToRetry, 0, false, ""}}, false, false, 0x182f},
      {"transferring", {{kStatusTransferring, 0, true, "/there"}}, false, false, 0x1488},
      {"transferring, no file yet",
       {{kStatusTransferring, 0, false, "/gone"}},
       false,
       false,
       0x1008},
      {"paused", {{kStatusPaused, 0, false, "/gone"}}, false, false, 0x2827},
      {"complete, file there", {{kStatusComplete, 0, false, "/there"}}, false, false, 0x677},
      {"complete, infected, checking on",
       {{kStatusComplete, kVirusInfected, false, "/there"}},
       true,
       false,
       0x767},
      {"complete, infected, checking off",
       {{kStatusComplete, kVirusInfected, false, "/there"}},
       false,
       false,
       0x677},
      {"checker halted", {{kStatusComplete, 0, false, "/gone"}}, true, true, 0x027},
      {"two unfinished: a new address is for one",
       {{kStatusOnHold, 0, false, ""}, {kStatusFailed, 0, false, ""}},
       false,
       false,
       0x027},
      {"infected then clean: the later item launches",
       {{kStatusComplete, kVirusInfected, false, "/there"},
        {kStatusComplete, kVirusClean, false, "/there"}},
       true,
       false,
       0x777},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(SelectionState(row.selection, {row.virusOn, row.halted, exists}), row.bits)
        << row.what;
  }
}

TEST(ListRows, MenuAndButtonsEnableByTheirBits) {
  const unsigned infectedComplete = 0x767;
  std::vector<std::string> enabled;
  for (const MenuEntry& entry : PopupMenuEntries()) {
    if (entry.caption && (entry.enablingBits & infectedComplete)) {
      enabled.emplace_back(entry.caption);
    }
  }
  EXPECT_EQ(enabled,
            (std::vector<std::string>{"&Properties...", "&Start Transfer Now", "Add to &Queue",
                                      "Virus &Check File...", "E&xtract URLs", "Show in F&older",
                                      "C&heck against a sums file...", "Delete &URL",
                                      "Delete &File", "&Nuke Everything"}));
  EXPECT_EQ(PopupMenuEntries().size(), 19u);
}

TEST(ListRows, DisplayTimerAndProgress) {
  EXPECT_EQ(DisplayTimerPeriod(0), 1000);
  EXPECT_EQ(DisplayTimerPeriod(60), 1500);
  EXPECT_EQ(DisplayTimerPeriod(10000), 5000);
  EXPECT_EQ(ProgressPercent(0, 0), 0);
  EXPECT_EQ(ProgressPercent(3'000'000'000, 6'000'000'000), 50);
  EXPECT_EQ(ProgressPercent(999, 1000), 99);
}

// The rows of a list as a map, recording what the refresh did.
class FakeRows final : public ListRows {
 public:
  bool TouchRow(const Item* item) override {
    auto row = rows.find(item);
    if (row == rows.end()) {
      return false;
    }
    touched.insert(item);
    ++touches;
    return true;
  }
  bool UpdateRow(const Item* item, const RowContent& content) override {
    const auto row = rows.find(item);
    if (row == rows.end()) {
      return false;
    }
    row->second = content;
    ++updates;
    return true;
  }
  void InsertRows(std::vector<NewRow> added) override {
    for (NewRow& row : added) {
      touched.insert(row.item);
      rows[row.item] = std::move(row.content);
    }
  }
  void RemoveUntouchedRows() override {
    std::erase_if(rows, [this](const auto& row) { return !touched.contains(row.first); });
    touched.clear();
  }
  void SortRows(int mode) override { sortedWith.push_back(mode); }

  std::map<const Item*, RowContent> rows;
  std::set<const Item*> touched;
  int touches = 0;
  int updates = 0;
  std::vector<int> sortedWith;
};

TEST(ListRefresh, IsIncrementalAndMovesCompletedItems) {
  Item root;
  root.FindOrCreateChild(folder::kTypeList);
  root.SetPropInt(setting::TabSort(kTabPending), kSortUrl);
  Item& list = root.FindOrCreateChild(folder::kFileList);
  Item& queued = list.AddChild(MakeItem({{key::kName, "a"}, {key::kStatus, Code(kStatusQueued)}}));
  Item& held = list.AddChild(MakeItem({{key::kName, "b"}, {key::kStatus, Code(kStatusOnHold)}}));
  list.AddChild(MakeItem({{key::kName, "c"}, {key::kStatus, Code(kStatusComplete)}}));
  std::atomic<bool> dirty{true};
  std::atomic<bool> sortPending{false};
  FakeRows rows;

  RefreshOutcome outcome = RefreshRows(root, kTabPending, rows, {dirty, sortPending}, kNow);
  EXPECT_EQ(outcome.shownCount, 3);
  EXPECT_EQ(rows.rows.size(), 2u);
  EXPECT_EQ(rows.rows[&queued].status, "Queued for download!");
  EXPECT_EQ(rows.sortedWith, std::vector<int>{kSortUrl});
  EXPECT_FALSE(dirty);
  EXPECT_FALSE(sortPending);

  // Nothing changed: no row visited, none rewritten, no sort.
  const int touches = rows.touches;
  outcome = RefreshRows(root, kTabPending, rows, {dirty, sortPending}, kNow);
  EXPECT_EQ(outcome.shownCount, 3);
  EXPECT_EQ(rows.touches, touches);
  EXPECT_EQ(rows.updates, 0);
  EXPECT_EQ(rows.sortedWith.size(), 1u);
  // A write to an item the tab does not show, or rows changed elsewhere,
  // walk the folder again.
  list.ChildAt(2)->SetProp(key::kName, "d");
  RefreshRows(root, kTabPending, rows, {dirty, sortPending}, kNow);
  EXPECT_EQ(rows.touches, touches + 2);
  rows.lastWalk = {};
  RefreshRows(root, kTabPending, rows, {dirty, sortPending}, kNow);
  EXPECT_EQ(rows.touches, touches + 4);
  EXPECT_EQ(rows.updates, 0);
  // A write to a queued item, which changes on its own, rewrites its row alone.
  queued.SetProp(key::kName, "a2");
  RefreshRows(root, kTabPending, rows, {dirty, sortPending}, kNow);
  EXPECT_EQ(rows.touches, touches + 4);
  EXPECT_EQ(rows.updates, 1);
  EXPECT_EQ(rows.rows[&queued].name, "a2");

  held.SetPropInt(key::kStatus, kStatusPaused);
  queued.SetPropInt(key::kStatus, kStatusComplete);
  RefreshRows(root, kTabPending, rows, {dirty, sortPending}, kNow);
  EXPECT_EQ(rows.updates, 2);
  EXPECT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows[&held].status, "Paused");
  // The completed item kept its changed mark for the tab that shows it.
  EXPECT_TRUE(queued.changed());
}

TEST(ListRefresh, AMissingTypeListChangesNoRow) {
  Item root;
  std::atomic<bool> dirty{true};
  std::atomic<bool> sortPending{true};
  FakeRows rows;
  EXPECT_TRUE(RefreshRows(root, kTabArchive, rows, {dirty, sortPending}, kNow).typeListMissing);
  EXPECT_TRUE(rows.rows.empty());
  EXPECT_EQ(root.FindChild(folder::kFileArchive), nullptr);
}

}  // namespace
}  // namespace pellmarsh

namespace pellmarsh {
namespace {

// The row the refresh makes of one item on the tab that shows it.
RowContent RowOf(const Props& props, int tab, bool bytesPerSecond = true) {
  Item root;
  root.FindOrCreateChild(folder::kTypeList);
  root.SetPropInt(setting::kBps, bytesPerSecond ? 1 : 0);
  root.FindOrCreateChild(TabFolder(tab)).AddChild(MakeItem(props));
  std::atomic<bool> dirty{true};
  std::atomic<bool> sortPending{false};
  FakeRows rows;
  RefreshRows(root, tab, rows, {dirty, sortPending}, kNow);
  return rows.rows.empty() ? RowContent{} : rows.rows.begin()->second;
}

struct CellRow {
  const char* what;
  Props props;
  int tab;
  int column;
  std::string text;
};

TEST(ListRows, TheCellsBesideTheStatusSayWhatTheyKnow) {
  const Props running = {{key::kStatus, Code(kStatusTransferring)},
                         {key::kSize, "200000000"},
                         {key::kReceived, "50000000"},
                         {key::kRecentRate, "1500000"}};
  const auto with = [&running](Props more) {
    Props props = running;
    props.insert(props.end(), more.begin(), more.end());
    return props;
  };
  const Props done = {{key::kStatus, Code(kStatusComplete)},
                      {key::kSize, "1500"},
                      {key::kReceived, "1500"},
                      {key::kCreate, "1796500000"},
                      {key::kFinish, "1796600000"}};
  const CellRow rows[] = {
      {"a known size, scaled", running, kTabPending, kColumnSize, "200 MB"},
      {"no size yet", {{key::kStatus, Code(kStatusQueued)}}, kTabPending, kColumnSize, ""},
      {"a quarter received", running, kTabPending, kColumnProgress, "25%"},
      {"a paused item keeps its share",
       {{key::kStatus, Code(kStatusPaused)}, {key::kSize, "1000"}, {key::kReceived, "999"}},
       kTabPending,
       kColumnProgress,
       "99%"},
      {"a complete item is whole", done, kTabCompleted, kColumnProgress, "100%"},
      {"no size, no share",
       {{key::kStatus, Code(kStatusQueued)}},
       kTabPending,
       kColumnProgress,
       ""},
      {"a running rate", running, kTabPending, kColumnSpeed, "1.5 MB/s"},
      {"a stalled download has none", with({{key::kRecentRate, "0"}}), kTabPending, kColumnSpeed,
       ""},
      {"a finished attempt's rate is not shown",
       {{key::kStatus, Code(kStatusPaused)}, {key::kRecentRate, "1500000"}},
       kTabPending,
       kColumnSpeed,
       ""},
      {"time left at the recent rate", running, kTabPending, kColumnTimeLeft, "1:40"},
      {"past an hour", with({{key::kRecentRate, "10000"}}), kTabPending, kColumnTimeLeft,
       "4:10:00"},
      {"beyond any wait", with({{key::kRecentRate, "1"}}), kTabPending, kColumnTimeLeft, ""},
      {"no rate, no estimate", with({{key::kRecentRate, "0"}}), kTabPending, kColumnTimeLeft, ""},
      {"parts running", with({{key::kRunningParts, "4"}}), kTabPending, kColumnConnections, "4"},
      {"one connection", running, kTabPending, kColumnConnections, ""},
      {"parts of an attempt that ended",
       {{key::kStatus, Code(kStatusOnHold)}, {key::kRunningParts, "3"}},
       kTabPending,
       kColumnConnections,
       ""},
      {"added", done, kTabCompleted, kColumnAdded, "2026-12-05 19:46"},
      {"finished", done, kTabCompleted, kColumnFinished, "2026-12-06 23:33"},
      {"not finished", running, kTabPending, kColumnFinished, ""},
      {"the name stays", {{key::kName, "a.iso"}}, kTabPending, kColumnName, "a.iso"},
      {"the status stays",
       {{key::kStatus, Code(kStatusPaused)}},
       kTabPending,
       kColumnStatus,
       "Paused"},
  };
  for (const CellRow& row : rows) {
    EXPECT_EQ(CellText(RowOf(row.props, row.tab), row.column), row.text) << row.what;
  }
  EXPECT_EQ(CellText(RowOf(running, kTabPending, false), kColumnSpeed), "87890.6 KPM");
  EXPECT_EQ(RowOf(running, kTabPending).percent, 25);
  EXPECT_EQ(CellText(RowContent{}, kListColumnCount), "");
}

struct SortRow {
  const char* what;
  int column;
  Props first;  // comes first in the header's first order
  Props second;
};

// Every new header sorts by its own mode, either way, and its arrow finds it again.
TEST(ListRows, EachNewHeaderSortsItsColumnBothWays) {
  const auto running = [](const char* rate, const char* received, const char* parts) {
    return Props{{key::kStatus, Code(kStatusTransferring)},
                 {key::kSize, "1000000"},
                 {key::kReceived, received},
                 {key::kRecentRate, rate},
                 {key::kRunningParts, parts}};
  };
  const SortRow rows[] = {
      {"largest first", kColumnSize, {{key::kSize, "5000000000"}}, {{key::kSize, "70"}}},
      {"same size: by name",
       kColumnSize,
       {{key::kSize, "70"}, {key::kName, "a"}},
       {{key::kSize, "70"}, {key::kName, "b"}}},
      {"most received first", kColumnProgress, running("1", "900000", "0"),
       running("1", "100", "0")},
      {"fastest first", kColumnSpeed, running("9000", "0", "0"), running("8000", "0", "0")},
      {"a stopped rate is slower than any",
       kColumnSpeed,
       running("1", "0", "0"),
       {{key::kStatus, Code(kStatusPaused)}, {key::kRecentRate, "9000"}}},
      {"soonest done first", kColumnTimeLeft, running("1000", "999000", "0"),
       running("1000", "0", "0")},
      {"no estimate last", kColumnTimeLeft, running("1000", "0", "0"), running("0", "0", "0")},
      {"most connections first", kColumnConnections, running("1", "0", "4"),
       running("1", "0", "2")},
      {"newest added first", kColumnAdded, {{key::kCreate, "5000000000"}}, {{key::kCreate, "5"}}},
      {"newest finished first", kColumnFinished, {{key::kFinish, "20"}}, {{key::kFinish, "10"}}},
  };
  for (const SortRow& row : rows) {
    const auto first = MakeItem(row.first);
    const auto second = MakeItem(row.second);
    for (int tab = 0; tab < kListTabs; ++tab) {
      const int mode = SortModeForHeader(tab, row.column);
      EXPECT_EQ(CompareRows(first.get(), second.get(), mode), -1) << row.what;
      EXPECT_EQ(CompareRows(second.get(), first.get(), mode), 1) << row.what;
      const int once = SortSettingAfterClick(tab, row.column, kSortStatus, false);
      const int twice = SortSettingAfterClick(tab, row.column, once, true);
      EXPECT_EQ(once, mode) << row.what;
      EXPECT_EQ(twice, mode | kSortReversed) << row.what;
      EXPECT_EQ(SortHeaderOf(tab, twice), row.column) << row.what;
    }
  }
}

TEST(ListRows, AFreshCompletedTabShowsTheNewestFinishedFirst) {
  Item root;
  EXPECT_EQ(TabSortSetting(root, kTabCompleted), kSortNewestFinished);
  EXPECT_EQ(SortHeaderOf(kTabCompleted, TabSortSetting(root, kTabCompleted)), kColumnFinished);
  EXPECT_EQ(TabSortSetting(root, kTabPending), kSortStatus);
  // Stored settings read as they always did.
  root.SetPropInt(setting::TabSort(kTabCompleted), kSortStatus);
  EXPECT_EQ(TabSortSetting(root, kTabCompleted), kSortStatus);
  root.SetPropInt(setting::TabSort(kTabCompleted), kSortLatestFinish | kSortReversed);
  EXPECT_EQ(SortHeaderOf(kTabCompleted, TabSortSetting(root, kTabCompleted)), kColumnStatus);
}

}  // namespace
}  // namespace pellmarsh
