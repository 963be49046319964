#include "store/tree_codec.h"

#include <gtest/gtest.h>

#include <random>

#include "store/keys.h"
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
  std::uniform_int_distribution<int> propertyCount(0, 6);
  for (int count = propertyCount(random); count > 0; --count) {
    const std::string key = RandomText(random, 12);
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
