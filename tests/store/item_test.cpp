#include "store/item.h"
#include "store/item_status.h"
#include "store/keys.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <string_view>
#include <type_traits>
#include <vector>

namespace pellmarsh {
namespace {

std::unique_ptr<Item> Named(const std::string& name) {
  auto item = std::make_unique<Item>();
  item->SetProp(key::kName, name);
  return item;
}

// Only the names in keys.h (and the data file's decoder) make a key from text.
static_assert(!std::is_constructible_v<PropKey, const char*>);
static_assert(!std::is_constructible_v<PropKey, std::string_view>);

TEST(ItemProperties, AbsentKeysReadAsEmptyOrZero) {
  Item item;
  const PropKey missing = PropKey::FromData("missing");
  EXPECT_EQ(item.GetProp(missing), "");
  EXPECT_EQ(item.GetPropInt(missing), 0);
  EXPECT_EQ(item.GetPropInt64(missing), 0);
  EXPECT_DOUBLE_EQ(item.GetPropDouble(missing), 0.0);
  EXPECT_FALSE(item.changed());
}

TEST(ItemProperties, NumbersAreStoredAsDecimalText) {
  Item item;
  item.SetPropInt(key::kStatus, -3);
  item.SetPropDouble(setting::kHighSpeed, 99999);
  item.SetPropInt64(key::kSize, 5368709120LL);
  EXPECT_EQ(item.GetProp(key::kStatus), "-3");
  EXPECT_EQ(item.GetProp(setting::kHighSpeed), "99999.000000");
  EXPECT_EQ(item.GetProp(key::kSize), "5368709120");
  EXPECT_EQ(item.GetPropInt64(key::kSize), 5368709120LL);
  item.SetProp(key::kRetryCount, "12abc");
  EXPECT_EQ(item.GetPropInt(key::kRetryCount), 12);
}

TEST(ItemProperties, AppendingExtendsTheTextAndMarksTheItemChanged) {
  Item item;
  item.AppendProp(key::kLog, "one\r\n");
  item.ClearChanged();
  item.AppendProp(key::kLog, "two\r\n");
  EXPECT_EQ(item.GetProp(key::kLog), "one\r\ntwo\r\n");
  EXPECT_TRUE(item.changed());
}

TEST(ItemProperties, A32BitReadOfAHugeCountSaturatesInsteadOfWrapping) {
  Item item;
  item.SetPropInt64(key::kSize, 5368709120LL);
  EXPECT_EQ(item.GetPropInt(key::kSize), 2147483647);
}

TEST(ItemProperties, KeysCompareWithCase) {
  Item item;
  item.SetProp(PropKey::FromData("Name"), "upper");
  EXPECT_EQ(item.GetProp(key::kName), "");
}

TEST(ItemProperties, EveryWriteMarksTheItemChangedEvenTheSameText) {
  Item item;
  item.SetProp(key::kName, "a");
  item.ClearChanged();
  item.SetProp(key::kName, "a");
  EXPECT_TRUE(item.changed());
  item.ClearChanged();
  item.SetPropInt(key::kStatus, kStatusOnHold);
  EXPECT_TRUE(item.changed());
}

// Values of every width rewritten in any order, checked against a plain map:
// the one block of values is rebuilt around the written one, or shrunk in place.
TEST(ItemProperties, RewritesOfOtherWidthsKeepEveryOtherValue) {
  const PropKey keys[] = {key::kName, key::kSize, key::kStatus, key::kValue, key::kError};
  std::mt19937 random(7);
  Item item;
  std::map<std::string_view, std::string> expected;
  for (int write = 0; write < 500; ++write) {
    const PropKey key = keys[random() % std::size(keys)];
    // Now and then one past what 16 bits can place.
    const size_t length = random() % 20 == 0 ? 70000 : random() % 40;
    const std::string value(length, static_cast<char>('a' + write % 26));
    if (random() % 3 == 0) {
      item.AppendProp(key, value);
      expected[key.text()] += value;
    } else {
      item.SetProp(key, value);
      expected[key.text()] = value;
    }
    for (const PropKey read : keys) {
      const auto found = expected.find(read.text());
      ASSERT_EQ(item.GetProp(read), found == expected.end() ? "" : found->second) << write;
    }
  }
  EXPECT_EQ(item.AllProps().size(), expected.size());
}

// A log is kept packed while no transfer writes to it; readers see the same
// text either way.
TEST(ItemLog, ReadsTheSameKeptAsTextOrPacked) {
  const auto status = [](int value) {
    return [value](Item& item) { item.SetPropInt(key::kStatus, value); };
  };
  const auto line = [](Item& item) { item.AppendProp(key::kLog, "three\r\n"); };
  struct Row {
    const char* what;
    std::vector<std::function<void(Item&)>> then;
    std::string text;
    bool packed;
  };
  const std::vector<Row> rows = {
      {"running", {}, "one\r\ntwo\r\n", false},
      {"finished", {status(kStatusComplete)}, "one\r\ntwo\r\n", true},
      {"queued again", {status(kStatusQueued)}, "one\r\ntwo\r\n", true},
      {"finished, then a line added",
       {status(kStatusComplete), line},
       "one\r\ntwo\r\nthree\r\n",
       true},
      {"finished, then running and logging again",
       {status(kStatusComplete), status(kStatusTransferring), line},
       "one\r\ntwo\r\nthree\r\n",
       false},
      {"finished, its log cleared",
       {status(kStatusComplete), [](Item& item) { item.SetProp(key::kLog, ""); }},
       "",
       false},
  };
  for (const Row& row : rows) {
    Item folder;
    Item& item = folder.AddChild(std::make_unique<Item>());
    item.SetPropInt(key::kStatus, kStatusTransferring);
    item.AppendProp(key::kLog, "one\r\n");
    item.AppendProp(key::kLog, "two\r\n");
    for (const auto& step : row.then) {
      step(item);
    }
    std::string unpacked;
    EXPECT_EQ(item.GetProp(key::kLog), row.text) << row.what;
    EXPECT_EQ(item.ViewProp(key::kLog, unpacked), row.text) << row.what;
    EXPECT_EQ(item.HasText(key::kLog), !row.text.empty()) << row.what;
    EXPECT_EQ(item.AllProps().count(key::kPackedLog.text()), row.packed ? 1u : 0u) << row.what;
    EXPECT_EQ(item.AllProps().count(key::kLog.text()), row.packed ? 0u : 1u) << row.what;
  }
}

TEST(ItemChildren, MovingAnItemAppendsItToTheNewFolder) {
  Item root;
  Item& from = root.AddChild(Named("_filelist"));
  Item& to = root.AddChild(Named("_filearchive"));
  to.AddChild(Named("older"));
  Item& moving = from.AddChild(Named("url"));

  std::unique_ptr<Item> detached = from.DetachChild(&moving);
  ASSERT_TRUE(detached);
  EXPECT_EQ(detached->Parent(), nullptr);
  to.AddChild(std::move(detached));

  EXPECT_EQ(from.ChildCount(), 0);
  EXPECT_EQ(moving.Parent(), &to);
  EXPECT_EQ(to.ChildAt(to.ChildCount() - 1), &moving);
}

TEST(ItemChildren, DetachingSomethingThatIsNotAChildChangesNothing) {
  Item root;
  Item stranger;
  root.AddChild(Named("a"));
  EXPECT_EQ(root.DetachChild(&stranger), nullptr);
  EXPECT_EQ(root.DetachChildAt(1), nullptr);
  EXPECT_EQ(root.DetachChildAt(-1), nullptr);
  EXPECT_EQ(root.ChildAt(5), nullptr);
  EXPECT_EQ(root.IndexOfChild(&stranger), -1);
  EXPECT_EQ(root.ChildCount(), 1);
}

TEST(ItemSearch, FindOrCreateChildIgnoresAsciiCaseAndCreatesNothingWhenFound) {
  Item root;
  Item& list = root.AddChild(Named("_filelist"));
  EXPECT_EQ(&root.FindOrCreateChild("_FILELIST"), &list);
  EXPECT_EQ(root.ChildCount(), 1);
  Item& created = root.FindOrCreateChild("_fileclip");
  EXPECT_EQ(created.GetProp(key::kName), "_fileclip");
  EXPECT_EQ(root.ChildCount(), 2);
}

TEST(ItemSearch, OnlyAsciiLettersFoldCaseOtherBytesCompareExactly) {
  EXPECT_TRUE(NamesEqual("Download.HTML", "download.html"));
  EXPECT_FALSE(NamesEqual("\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89"));  // "été" vs "ÉTÉ"
  EXPECT_TRUE(NamesEqual("\xC3\xA9t\xC3\xA9", "\xC3\xA9T\xC3\xA9"));
  EXPECT_FALSE(NamesEqual("@", "`"));  // differ only by the case bit, but are not letters
}

TEST(ItemSearch, TheYoungerOfTwoNamesakesWins) {
  Item root;
  Item& folder = root.AddChild(Named("folder"));
  folder.AddChild(Named("twin"));
  Item& younger = folder.AddChild(Named("twin"));
  EXPECT_EQ(&folder.FindOrCreateChild("twin"), &younger);
  EXPECT_EQ(root.FindByName("twin"), &younger);
}

TEST(ItemSearch, FindByNameSearchesTheWholeSubtreeItselfFirst) {
  Item root;
  root.SetProp(key::kName, "Top Folder");
  Item& folder = root.AddChild(Named("folder"));
  Item& deep = folder.AddChild(Named("inner")).AddChild(Named("deep"));
  root.AddChild(Named("other"));
  EXPECT_EQ(root.FindByName("DEEP"), &deep);
  EXPECT_EQ(root.FindByName("top folder"), &root);
  EXPECT_EQ(root.FindByName("nothing"), nullptr);
  // FindOrCreateChild looks at direct children only.
  EXPECT_NE(&root.FindOrCreateChild("deep"), &deep);
}

TEST(ItemWalk, ForEachIsPreOrderWithYoungerChildrenFirst) {
  Item root;
  root.SetProp(key::kName, "root");
  Item& a = root.AddChild(Named("a"));
  a.AddChild(Named("a1"));
  a.AddChild(Named("a2"));
  root.AddChild(Named("b"));
  std::vector<std::string> order;
  root.ForEach([&](Item& item) { order.push_back(item.GetProp(key::kName)); });
  EXPECT_EQ(order, (std::vector<std::string>{"root", "b", "a", "a2", "a1"}));
}

// Records the order in which items are destroyed.
class TracingItem : public Item {
 public:
  TracingItem(std::vector<std::string>& log, std::string name)
      : log_(log), name_(std::move(name)) {}
  ~TracingItem() override { log_.push_back(name_); }

 private:
  std::vector<std::string>& log_;
  std::string name_;
};

// Every way a tree changes (status writes before and after an item joins,
// moves between folders, detaching, clearing, loading text that is no number)
// leaves the live walk equal to the full walk filtered by status.
TEST(ItemWalk, TheLiveWalkMatchesTheFullWalkThroughEveryKindOfChange) {
  Item root;
  std::vector<Item*> all = {&root};
  std::vector<std::unique_ptr<Item>> loose;
  const std::vector<std::string_view> statuses = {"0",   "1",   "2", "5",  "100", "104",
                                                  "105", "106", "x", "99", "-1",  "101"};
  uint32_t seed = 12345;
  const auto next = [&seed](uint32_t below) {
    seed = seed * 1103515245 + 12345;
    return (seed >> 8) % below;
  };
  for (int round = 0; round < 4000; ++round) {
    Item& target = *all[next(static_cast<uint32_t>(all.size()))];
    switch (next(6)) {
      case 0:
      case 1:
        target.SetProp(key::kStatus, statuses[next(static_cast<uint32_t>(statuses.size()))]);
        break;
      case 2: {
        // A new item that may already carry a status when it joins.
        auto child = std::make_unique<Item>();
        child->SetProp(key::kStatus, statuses[next(static_cast<uint32_t>(statuses.size()))]);
        all.push_back(&target.AddChild(std::move(child)));
        break;
      }
      case 3:
        if (!loose.empty()) {
          all.push_back(&target.AddChild(std::move(loose.back())));
          loose.pop_back();
        }
        break;
      case 4:
        if (Item* parent = target.Parent(); parent && parent->Parent()) {
          loose.push_back(parent->DetachChild(&target));
        }
        break;
      case 5:
        if (next(20) == 0 && &target != &root) {
          target.Clear();
        }
        break;
    }
    // Items inside a detached or cleared subtree are no longer reachable.
    all.clear();
    root.ForEach([&all](Item& item) { all.push_back(&item); });
    std::vector<Item*> expected;
    for (Item* item : all) {
      if (ChangesOnItsOwn(item->GetPropInt(key::kStatus))) {
        expected.push_back(item);
      }
    }
    std::vector<Item*> walked;
    root.ForEachLive([&walked](Item& item) { walked.push_back(&item); });
    ASSERT_EQ(walked, expected) << "round " << round;
    ASSERT_EQ(root.liveCount(), static_cast<int>(expected.size()));
  }
}

TEST(ItemLifetime, ChildrenAreDestroyedFromTheLastToTheFirst) {
  std::vector<std::string> log;
  {
    Item root;
    root.AddChild(std::make_unique<TracingItem>(log, "first"));
    root.AddChild(std::make_unique<TracingItem>(log, "second"));
    root.AddChild(std::make_unique<TracingItem>(log, "third"));
  }
  EXPECT_EQ(log, (std::vector<std::string>{"third", "second", "first"}));
}

}  // namespace
}  // namespace pellmarsh
