#include "view/settings_values.h"

#include <gtest/gtest.h>

#include <limits>

#include "app/speed_control.h"
#include "store/keys.h"

namespace pellmarsh {
namespace {

TEST(SettingsValues, SpeedBoxesShowAndStoreInTheChosenUnit) {
  constexpr SpeedLimitBox kFull = SpeedLimitBox::kFullSpeed;
  constexpr SpeedLimitBox kBackground = SpeedLimitBox::kBackground;
  struct Row {
    const char* what;
    double stored;
    bool bytesPerSecond;
    SpeedLimitBox box;
    std::string shown;
  };
  const Row shown[] = {
      {"kilobytes per minute as stored", 99999, false, kBackground, "99999"},
      {"whole kB/s of 1000 bytes", 99999, true, kBackground, "1706"},
      {"the background default", 500'000 * 60 / 1024.0, true, kBackground, "500"},
      {"a fraction is not shown", 250.75, false, kBackground, "250"},
      {"a limit no budget can hold shows the highest", 1e12, true, kBackground, "2147483"},
      {"a negative limit shows as none", -5, false, kBackground, "0"},
      {"no full-speed limit shows empty", 0, true, kFull, ""},
      {"nor does a negative one", -5, false, kFull, ""},
  };
  for (const Row& row : shown) {
    EXPECT_EQ(SpeedBoxText(row.stored, row.bytesPerSecond, row.box), row.shown) << row.what;
  }

  EXPECT_EQ(BudgetForLimit(SpeedFromBox(850, true)), 850'000) << "kB/s come back exact";
  EXPECT_EQ(SpeedFromBox(100, false), 100.0);
  EXPECT_EQ(SpeedFromBox(-100, false), 0.0);
  for (bool bytesPerSecond : {false, true}) {
    const double highest = SpeedFromBox(std::numeric_limits<int32_t>::max(), bytesPerSecond);
    EXPECT_GT(BudgetForLimit(highest), 0) << "never wraps to a negative budget";
  }
}

TEST(SettingsValues, ASpeedBoxIsReadWhenItsTextDiffersFromWhatWasShown) {
  constexpr SpeedLimitBox kFull = SpeedLimitBox::kFullSpeed;
  constexpr SpeedLimitBox kBackground = SpeedLimitBox::kBackground;
  EXPECT_EQ(SpeedBoxLimit("250", "250", 250.75, false, kBackground), 250.75)
      << "untouched keeps the fraction";
  EXPECT_EQ(SpeedBoxLimit("250", "300", 250.75, false, kBackground), 300.0);
  EXPECT_EQ(SpeedBoxLimit("1706", "3", 99999, true, kBackground), 175.78125) << "in the unit shown";
  EXPECT_EQ(SpeedBoxLimit("250", "", 250.75, false, kBackground), std::nullopt);
  EXPECT_EQ(SpeedBoxLimit("250", "fast", 250.75, false, kFull), std::nullopt);
  EXPECT_EQ(SpeedBoxLimit("250", " ", 250.75, false, kFull), 0.0) << "empty is no limit";
  EXPECT_EQ(SpeedBoxLimit("250", "0", 250.75, true, kFull), 0.0);
}

TEST(SettingsValues, OnlyAWholeNumberIsAnInteger) {
  const std::pair<const char*, std::optional<int32_t>> rows[] = {
      {"12", 12},
      {"  7 ", 7},
      {"-3", -3},
      {"+4", 4},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"12a", std::nullopt},
      {"1.5", std::nullopt},
      {"fast", std::nullopt},
      {"99999999999", std::nullopt},
  };
  for (const auto& [text, expected] : rows) {
    EXPECT_EQ(ParseIntegerEntry(text), expected) << '"' << text << '"';
  }
}

TEST(SettingsValues, TheLocalDirectoryLosesItsTrailingSeparators) {
  const std::pair<const char*, const char*> rows[] = {
      {"/data/files/", "/data/files"},
      {"/data/files//", "/data/files"},
      {"/data/files", "/data/files"},
      {"/", "/"},
      {"//", "/"},
      {"", ""},
  };
  for (const auto& [typed, kept] : rows) {
    EXPECT_EQ(WithoutTrailingSeparator(typed), kept) << typed;
  }
}

TEST(SettingsValues, TextTypesAreAddedInTheirCaseAndOnlyOnce) {
  Item extensions;
  EXPECT_EQ(AddTextType(extensions, "txt", TextTypeKind::kExtension), TextTypeAdd::kAdded);
  EXPECT_EQ(AddTextType(extensions, "TXT", TextTypeKind::kExtension), TextTypeAdd::kAlreadyListed);
  EXPECT_EQ(AddTextType(extensions, "", TextTypeKind::kExtension), TextTypeAdd::kEmpty);
  Item mimeTypes;
  EXPECT_EQ(AddTextType(mimeTypes, "Text/Plain", TextTypeKind::kMimeType), TextTypeAdd::kAdded);
  ASSERT_EQ(extensions.ChildCount(), 1);
  EXPECT_EQ(extensions.ChildAt(0)->GetProp(key::kName), "TXT");
  ASSERT_EQ(mimeTypes.ChildCount(), 1);
  EXPECT_EQ(mimeTypes.ChildAt(0)->GetProp(key::kName), "text/plain");
}

TEST(SettingsValues, WhatIsWrittenBackReadsTheSame) {
  Item root;
  root.SetProp(setting::kHighSpeed, "99999.000000");
  root.SetProp(setting::kVirusReturns, "1,2");
  root.SetProp(setting::kMaxCons, "5");
  SettingsValues values = ReadSettings(root);
  EXPECT_EQ(values.maxCons, "5");
  EXPECT_FALSE(values.soundOn) << "absent reads as 0";
  values.lowSpeed = 5;
  values.maxCons = "many";
  values.hidePasswords = true;
  WriteSettings(root, values);
  EXPECT_EQ(root.GetProp(setting::kHighSpeed), "99999.000000");
  EXPECT_EQ(root.GetProp(setting::kLowSpeed), "5.000000");
  EXPECT_EQ(root.GetProp(setting::kMaxCons), "0") << "a word gives 0";
  EXPECT_EQ(root.GetProp(setting::kVirusReturns), "1,2");
  EXPECT_EQ(root.GetProp(setting::kHidePasswords), "1");
  EXPECT_EQ(root.GetProp(setting::kSoundOn), "0");
  EXPECT_EQ(ConnectionLimit("12"), 12);
  EXPECT_EQ(ConnectionLimit("3 at once"), 3);
}

}  // namespace
}  // namespace pellmarsh
