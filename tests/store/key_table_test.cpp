#include "store/key_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

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

}  // namespace
}  // namespace pellmarsh
