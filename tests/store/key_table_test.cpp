#include "store/key_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace pellmarsh {
namespace {

// Random keys in data (a damaged or hostile file) must not grow the table
// without bound; keys the program names are always taken.
TEST(KeyTable, TakesOnlySoManyKeysFromDataButEveryKeyOfTheProgram) {
  auto table = std::make_unique<KeyTable>();
  std::string name;
  for (size_t index = 0; index < KeyTable::kMaxDataKeys; ++index) {
    name = "data-" + std::to_string(index);
    ASSERT_TRUE(table->Intern(PropKey::FromData(name))) << index;
  }
  EXPECT_FALSE(table->Intern(PropKey::FromData("one-too-many")));
  EXPECT_FALSE(table->Find(PropKey::FromData("one-too-many")));
  EXPECT_EQ(table->Intern(PropKey::FromData(name)), table->Find(PropKey::FromData(name)));
  const std::optional<KeyId> log = table->Intern(key::kLog);
  ASSERT_TRUE(log);
  EXPECT_EQ(table->Text(*log), "log");
  EXPECT_EQ(table->Find(PropKey::FromData("log")), log);

  auto another = std::make_unique<KeyTable>();
  EXPECT_FALSE(
      another->Intern(PropKey::FromData(std::string(KeyTable::kMaxDataKeyBytes + 1, 'k'))));
}

// Items outside the tree meet new keys on several threads at once: each key
// gets one id, whichever thread adds it.
TEST(KeyTable, ThreadsAddingTheSameKeysAgreeOnTheirIds) {
  auto table = std::make_unique<KeyTable>();
  constexpr int kKeys = 300;
  std::vector<std::string> names;
  for (int index = 0; index < kKeys; ++index) {
    names.push_back("key-" + std::to_string(index));
  }
  std::vector<std::vector<KeyId>> seen(4, std::vector<KeyId>(kKeys));
  std::vector<std::thread> threads;
  for (size_t thread = 0; thread < seen.size(); ++thread) {
    threads.emplace_back([&, thread] {
      for (int step = 0; step < kKeys; ++step) {
        // Each thread in its own order.
        const int index = thread % 2 ? step : kKeys - 1 - step;
        seen[thread][index] = *table->Intern(PropKey::FromData(names[index]));
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (int index = 0; index < kKeys; ++index) {
    for (const auto& ids : seen) {
      EXPECT_EQ(ids[index], seen[0][index]) << names[index];
    }
    EXPECT_EQ(table->Text(seen[0][index]), names[index]);
  }
}

}  // namespace
}  // namespace pellmarsh
