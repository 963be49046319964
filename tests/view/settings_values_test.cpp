#include "view/settings_values.h"

#include <gtest/gtest.h>

#include <limits>

#include "app/speed_control.h"
#include "store/keys.h"

namespace pellmarsh {
namespace {

TEST(SettingsValues, SpeedBoxesShowAndStoreInTheChosenUnit) {
  struct Row {
    const char* what;
    double stored;
    bool bytesPerSecond;
    std::string shown;
  };
  const Row shown[] = {
      {"kilobytes per minute as stored", 99999, false, "99999"},
      {"bytes per second are 17 times as many", 100, true, "1700"},
      {"a fraction is not shown", 250.75, false, "250"},
      {"a limit no budget can hold shows the highest", 1e12, true, "2139095023"},
      {"a negative limit shows as none", -5, false, "0"},
  };
  for (const Row& row : shown) {
    EXPECT_EQ(SpeedBoxText(row.stored, row.bytesPerSecond), row.shown) << row.what;
  }

  EXPECT_EQ(SpeedFromBox(100, true), 5.0) << "integer division by 17";
  EXPECT_EQ(SpeedFromBox(16, true), 0.0);
  EXPECT_EQ(SpeedFromBox(100, false), 100.0);
  EXPECT_EQ(SpeedFromBox(-100, false), 0.0);
  for (bool bytesPerSecond : {false, true}) {
    const double highest = SpeedFromBox(std::numeric_limits<int32_t>::max(), bytesPerSecond);
    EXPECT_GT(BudgetForLimit(highest), 0) << "never wraps to a negative budget";
  }
}

TEST(SettingsValues, ASpeedBoxIsReadWhenItsTextDiffersFromWhatWasShown) {
  EXPECT_EQ(SpeedBoxLimit("250", "250", 250.75, false), 250.75) << "untouched keeps the fraction";
  EXPECT_EQ(SpeedBoxLimit("250", "300", 250.75, false), 300.0);
  EXPECT_EQ(SpeedBoxLimit("1700", "170", 100, true), 10.0) << "in the unit shown";
  EXPECT_EQ(SpeedBoxLimit("250", "", 250.75, false), std::nullopt);
  EXPECT_EQ(SpeedBoxLimit("250", "fast", 250.75, false), std::nullopt);
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
