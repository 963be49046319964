#include "notify/events.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace pellmarsh {
namespace {

class EventsTest : public ::testing::Test {
 protected:
  Item& Event(const char* name) { return *root.FindChild(kSoundFolder)->FindChild(name); }

  Item root;
  std::recursive_mutex treeLock;
  testing::RecordingSounds sounds;
  EventRaiser events{root, treeLock, sounds};
};

TEST_F(EventsTest, AFreshTreeGetsEveryEventInTableOrder) {
  BuildSoundTable(root);
  const Item& folder = *root.FindChild(kSoundFolder);
  ASSERT_EQ(folder.ChildCount(), 18);
  EXPECT_EQ(folder.ChildAt(0)->GetProp("name"), "BROKEN");
  EXPECT_EQ(folder.ChildAt(0)->GetProp("value"), "Download: Failed, Cannot Retry");
  EXPECT_EQ(folder.ChildAt(7)->GetProp("name"), "STARTUP");
  EXPECT_EQ(folder.ChildAt(17)->GetProp("name"), "CLEAN");
  EXPECT_EQ(folder.ChildAt(17)->GetProp("value"), "File: No Viruses Found");
}

TEST_F(EventsTest, ARestartRestoresDescriptionsAndKeepsTheChosenSounds) {
  BuildSoundTable(root);
  Event("COMPLETE").SetProp("value", "edited");
  Event("COMPLETE").SetProp("file", "/sounds/done.wav");
  root.FindChild(kSoundFolder)->DetachChild(&Event("NUKE"));
  BuildSoundTable(root);
  EXPECT_EQ(Event("COMPLETE").GetProp("value"), "Download: Successful");
  EXPECT_EQ(Event("COMPLETE").GetProp("file"), "/sounds/done.wav");
  EXPECT_EQ(Event("NUKE").GetProp("file"), "");
  EXPECT_EQ(root.FindChild(kSoundFolder)->ChildCount(), 18);
}

TEST_F(EventsTest, AnEventPlaysItsFileOnlyWhenSoundsAreOn) {
  BuildSoundTable(root);
  Event("START").SetProp("file", "/sounds/start.wav");
  events.RaiseEvent("START");
  EXPECT_TRUE(sounds.played.empty());
  root.SetPropInt("parm-soundon", 1);
  events.RaiseEvent("start");
  EXPECT_EQ(sounds.played, std::vector<std::string>{"/sounds/start.wav"});
}

TEST_F(EventsTest, UnknownEventsSilentEventsAndAMissingFolderPlayNothing) {
  root.SetPropInt("parm-soundon", 1);
  events.RaiseEvent("START");
  BuildSoundTable(root);
  events.RaiseEvent("START");
  events.RaiseEvent("NOT-AN-EVENT");
  EXPECT_TRUE(sounds.played.empty());
}

}  // namespace
}  // namespace pellmarsh
