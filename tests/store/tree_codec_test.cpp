#include "store/tree_codec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "store/item_status.h"
#include "store/keys.h"
#include "store/log_packing.h"
#include "store/tree_assertions.h"

namespace pellmarsh {
namespace {

using testing::TreesEqual;

std::string RandomText(std::mt19937& random, int maxLength) {
  std::uniform_int_distribution<int> length(0, maxLength);
  std::uniform_int_distribution<int> byte(1, 255);  // stored texts end at their zero byte
  std::string text;
  for (int count = length(random); count > 0; --count) {
    text.push_back(static_cast<char>(byte(random)));
  }
  return text;
}

void FillRandomly(Item& item, std::mt19937& random, int depth) {
  // Drawn from a pool: the program keeps only so many keys met in data.
  static const std::vector<std::string> keys = [] {
    std::mt19937 keyRandom(1);
    std::vector<std::string> pool(200);
    for (std::string& key : pool) {
      key = RandomText(keyRandom, 12);
    }
    return pool;
  }();
  std::uniform_int_distribution<int> propertyCount(0, 6);
  for (int count = propertyCount(random); count > 0; --count) {
    const std::string& key = keys[random() % keys.size()];
    item.SetProp(PropKey::FromData(key), RandomText(random, 40));
  }
  if (depth == 0) {
    return;
  }
  std::uniform_int_distribution<int> childCount(0, 4);
  for (int count = childCount(random); count > 0; --count) {
    FillRandomly(item.AddChild(std::make_unique<Item>()), random, depth - 1);
  }
}

std::string U32(uint32_t value) {
  std::string out;
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
  }
  return out;
}

TEST(TreeCodec, TheOneItemExampleIsThirtyTwoBytesExactly) {
  Item item;
  item.SetProp(key::kName, "Top Folder");
  const std::string expected = U32(1) + U32(5) + std::string("name\0", 5) + U32(11) +
                               std::string("Top Folder\0", 11) + U32(0);
  EXPECT_EQ(expected.size(), 32u);
  EXPECT_EQ(SaveTree(item), expected);
}

TEST(TreeCodec, AnEmptyTextIsStoredAsItsZeroByteAndReadsBackEmpty) {
  Item item;
  item.SetProp(key::kError, "");
  const std::string bytes = SaveTree(item);
  EXPECT_EQ(bytes,
            U32(1) + U32(6) + std::string("error\0", 6) + U32(1) + std::string(1, '\0') + U32(0));
  Item loaded;
  ASSERT_TRUE(LoadTree(loaded, bytes).complete);
  EXPECT_EQ(loaded.AllProps().count(key::kError.text()), 1u);
  EXPECT_EQ(loaded.GetProp(key::kError), "");
}

TEST(TreeCodec, RandomTreesSurviveASaveAndALoad) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 200; ++round) {
    Item original;
    FillRandomly(original, random, 4);
    Item loaded;
    loaded.SetProp(PropKey::FromData("stale"), "must go");
    loaded.AddChild(std::make_unique<Item>());
    const TreeLoadResult result = LoadTree(loaded, SaveTree(original));
    ASSERT_TRUE(result.complete) << result.problem;
    ASSERT_TRUE(TreesEqual(original, loaded)) << "round " << round;
  }
}

TEST(TreeCodec, AKeyMetTwiceKeepsTheLaterValue) {
  const std::string bytes = U32(2) + U32(2) + std::string("k\0", 2) + U32(2) +
                            std::string("a\0", 2) + U32(2) + std::string("k\0", 2) + U32(2) +
                            std::string("b\0", 2) + U32(0);
  Item item;
  ASSERT_TRUE(LoadTree(item, bytes).complete);
  EXPECT_EQ(item.GetProp(PropKey::FromData("k")), "b");
}

std::string Record(const std::vector<std::pair<std::string, std::string>>& properties) {
  std::string bytes = U32(static_cast<uint32_t>(properties.size()));
  for (const auto& [key, value] : properties) {
    bytes += U32(static_cast<uint32_t>(key.size() + 1)) + key + '\0';
    bytes += U32(static_cast<uint32_t>(value.size() + 1)) + value + '\0';
  }
  return bytes + U32(0);
}

// A file from before logs were packed: a log is packed as it loads and saved
// packed, unless a transfer ran for its item. Either reads back alike.
TEST(TreeCodec, TextLogsOfOlderFilesArePackedAtLoadUnlessATransferRan) {
  std::string log;
  for (int line = 0; line < 100; ++line) {
    log += "00000" + std::to_string(123456 + line * 37) +
           " Recv Line: Content-Length: " + std::to_string(line * 7919) + "\r\n";
  }
  for (const int status : {kStatusComplete, kStatusQueued, kStatusTransferring}) {
    const bool packed = !InTransfer(status);
    Item loaded;
    ASSERT_TRUE(LoadTree(loaded, Record({{"log", log},
                                         {"status", std::to_string(status)},
                                         {"name", "a"},
                                         {"zz-future-key", "kept"}}))
                    .complete);
    const std::string saved = SaveTree(loaded);
    EXPECT_EQ(saved.find("Content-Length") == std::string::npos, packed) << status;
    EXPECT_EQ(saved.size() < log.size() / 2, packed) << status;
    Item again;
    ASSERT_TRUE(LoadTree(again, saved).complete);
    EXPECT_TRUE(TreesEqual(loaded, again));
    for (const Item* item : {&loaded, &again}) {
      EXPECT_EQ(item->GetProp(key::kLog), log) << status;
      EXPECT_EQ(item->GetProp(PropKey::FromData("zz-future-key")), "kept") << status;
      EXPECT_EQ(item->AllProps().count(key::kPackedLog.text()), packed ? 1u : 0u) << status;
    }
  }
}

// Damaged packed bytes never stop the load: the log reads as a marker, the
// rest of the item as it was, and the bytes are saved as found.
TEST(TreeCodec, DamagedPackedLogsReadAsAMarkerAndKeepTheirBytes) {
  Item source;
  source.SetPropInt(key::kStatus, kStatusQueued);
  std::string log;
  for (int line = 0; line < 300; ++line) {
    log += std::to_string(line * line * 7919) + "\r\n";
  }
  source.SetProp(key::kLog, log);
  source.SetPropInt(key::kStatus, kStatusComplete);
  const std::string good = source.GetProp(key::kPackedLog);
  ASSERT_GT(good.size(), 8u);
  std::string flipped = good;
  flipped[good.size() / 2] ^= 0x55;
  const std::string rows[] = {
      "",                                                   // not even the length
      good.substr(0, 3),                                    // part of the length
      good.substr(0, good.size() - 5),                      // the stream cut short
      flipped,                                              // a byte of the stream changed
      std::string("\xff\xff\xff\xff", 4) + good.substr(4),  // a length no stream so short holds
      std::string("\x01\x00\x00\x00", 4) + good.substr(4),  // a length less than the stream's
      good.substr(0, 4) + "not a zlib stream at all",
  };
  for (const std::string& packed : rows) {
    Item loaded;
    ASSERT_TRUE(
        LoadTree(loaded, Record({{"name", "a"}, {"status", "2"}, {"packedlog", packed}})).complete);
    EXPECT_EQ(loaded.GetProp(key::kLog), kDamagedLogText) << packed.size();
    EXPECT_EQ(loaded.GetProp(key::kName), "a");
    Item again;
    ASSERT_TRUE(LoadTree(again, SaveTree(loaded)).complete);
    EXPECT_EQ(again.GetProp(key::kPackedLog), packed);
  }
}

// A small tree whose pre-order is root, a, a1, b.
Item& BuildSmallTree(Item& root) {
  root.SetProp(key::kName, "Top Folder");
  root.SetProp(setting::kMaxCons, "2");
  Item& a = root.AddChild(std::make_unique<Item>());
  a.SetProp(key::kName, "a");
  a.AddChild(std::make_unique<Item>()).SetProp(key::kName, "a1");
  root.AddChild(std::make_unique<Item>()).SetProp(key::kName, "b");
  return root;
}

// Every item of `part` in pre-order matches the same item of `whole`, with a
// subset of its properties: the loaded part is a prefix of the saved tree.
bool IsPrefixOf(const Item& part, const Item& whole) {
  for (const auto& [key, value] : part.AllProps()) {
    if (whole.GetProp(PropKey::FromData(key)) != value) {
      return false;
    }
  }
  if (part.ChildCount() > whole.ChildCount()) {
    return false;
  }
  for (int index = 0; index < part.ChildCount(); ++index) {
    if (!IsPrefixOf(*part.ChildAt(index), *whole.ChildAt(index))) {
      return false;
    }
  }
  return true;
}

TEST(TreeCodec, EveryTruncationLoadsAPrefixAndSaysItIsDamaged) {
  Item original;
  BuildSmallTree(original);
  const std::string bytes = SaveTree(original);
  for (size_t length = 0; length < bytes.size(); ++length) {
    Item loaded;
    const TreeLoadResult result = LoadTree(loaded, std::string_view(bytes).substr(0, length));
    EXPECT_FALSE(result.complete) << "length " << length;
    EXPECT_FALSE(result.problem.empty());
    EXPECT_LE(result.bytesUsed, length);
    EXPECT_TRUE(IsPrefixOf(loaded, original)) << "length " << length;
  }
}

TEST(TreeCodec, AbsurdCountsAndLengthsStopWithoutAllocating) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"four billion properties", U32(0xFFFFFFFF)},
      {"four billion children", U32(0) + U32(0xFFFFFFFF) + U32(0) + U32(0)},
      {"a key longer than the file", U32(1) + U32(0xFFFFFFF0) + "abc"},
      {"a value longer than the file", U32(1) + U32(2) + std::string("k\0", 2) + U32(0x7FFFFFFF)},
      {"a text of length zero", U32(1) + U32(0) + U32(0)},
  };
  for (const auto& row : cases) {
    Item loaded;
    const TreeLoadResult result = LoadTree(loaded, row.bytes);
    EXPECT_FALSE(result.complete) << row.what;
    EXPECT_LE(loaded.ChildCount(), 2) << row.what;
  }
}

TEST(TreeCodec, NestingBeyondAnyRealTreeStopsInsteadOfOverflowingTheStack) {
  std::string bytes;
  for (int level = 0; level < 1'000'000; ++level) {
    bytes += U32(0) + U32(1);
  }
  Item loaded;
  const TreeLoadResult result = LoadTree(loaded, bytes);
  EXPECT_FALSE(result.complete);
  EXPECT_NE(result.problem.find("nested"), std::string::npos);
}

TEST(TreeCodec, BytesAfterTheRootRecordAreReportedButTheTreeIsKept) {
  Item original;
  BuildSmallTree(original);
  Item loaded;
  const TreeLoadResult result = LoadTree(loaded, SaveTree(original) + "junk");
  EXPECT_FALSE(result.complete);
  EXPECT_TRUE(TreesEqual(original, loaded));
}

}  // namespace
}  // namespace pellmarsh
