#include "notify/events.h"

#include <gtest/gtest.h>

#include "store/keys.h"
#include "support/fakes.h"

namespace pellmarsh {
namespace {

class EventsTest : public ::testing::Test {
 protected:
  Item& Event(const char* name) { return *root.FindChild(kSoundFolder)->FindChild(name); }

  Tree tree;
  // Held for the whole test: the fixture's thread is the only one here, and
  // the events take the lock again on it.
  Tree::Access access{tree};
  Item& root = access.root();
  testing::RecordingSounds sounds;
  EventRaiser events{tree, sounds};
};

TEST_F(EventsTest, AFreshTreeGetsEveryEventInTableOrder) {
  BuildSoundTable(root);
  const Item& folder = *root.FindChild(kSoundFolder);
  ASSERT_EQ(folder.ChildCount(), 18);
  EXPECT_EQ(folder.ChildAt(0)->GetProp(key::kName), "BROKEN");
  EXPECT_EQ(folder.ChildAt(0)->GetProp(key::kValue), "Download: Failed, Cannot Retry");
  EXPECT_EQ(folder.ChildAt(7)->GetProp(key::kName), "STARTUP");
  EXPECT_EQ(folder.ChildAt(17)->GetProp(key::kName), "CLEAN");
  EXPECT_EQ(folder.ChildAt(17)->GetProp(key::kValue), "File: No Viruses Found");
}

TEST_F(EventsTest, ARestartRestoresDescriptionsAndKeepsTheChosenSounds) {
  BuildSoundTable(root);
  Event("COMPLETE").SetProp(key::kValue, "edited");
  Event("COMPLETE").SetProp(key::kFile, "/sounds/done.wav");
  root.FindChild(kSoundFolder)->DetachChild(&Event("NUKE"));
  BuildSoundTable(root);
  EXPECT_EQ(Event("COMPLETE").GetProp(key::kValue), "Download: Successful");
  EXPECT_EQ(Event("COMPLETE").GetProp(key::kFile), "/sounds/done.wav");
  EXPECT_EQ(Event("NUKE").GetProp(key::kFile), "");
  EXPECT_EQ(root.FindChild(kSoundFolder)->ChildCount(), 18);
}

TEST_F(EventsTest, AnEventPlaysItsFileOnlyWhenSoundsAreOn) {
  BuildSoundTable(root);
  Event("START").SetProp(key::kFile, "/sounds/start.wav");
  events.RaiseEvent("START");
  EXPECT_TRUE(sounds.played.empty());
  root.SetPropInt(setting::kSoundOn, 1);
  events.RaiseEvent("start");
  EXPECT_EQ(sounds.played, std::vector<std::string>{"/sounds/start.wav"});
}

TEST_F(EventsTest, UnknownEventsSilentEventsAndAMissingFolderPlayNothing) {
  root.SetPropInt(setting::kSoundOn, 1);
  events.RaiseEvent("START");
  BuildSoundTable(root);
  events.RaiseEvent("START");
  events.RaiseEvent("NOT-AN-EVENT");
  EXPECT_TRUE(sounds.played.empty());
}

}  // namespace
}  // namespace pellmarsh
