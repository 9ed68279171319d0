#include "key_injection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_sender_system.h"

namespace tapwise {
namespace {

using testing::FakeSenderSystem;
using Calls = std::vector<std::string>;

void AddKeys(FakeSenderSystem& system, CMyList<KeyStroke>& keys,
             std::initializer_list<const char*> tokens) {
  for (const char* token : tokens) {
    KeyStroke key;
    ASSERT_TRUE(key.Parse(token, system)) << token;
    keys.Add(key);
  }
}

TEST(InjectKeyListTest, SendsEachKeyInOrderWithTheDelayBeforeEveryEvent) {
  FakeSenderSystem system;
  CMyList<KeyStroke> keys;
  AddKeys(system, keys, {"/Shift", "h", "\\Shift", "A"});
  EXPECT_TRUE(InjectKeyList(system, keys, 20));
  EXPECT_EQ(system.calls,
            (Calls{"Sleep 20", "Down 0x0010", "Sleep 20", "Down 0x0048", "Sleep 20", "Up 0x0048",
                   "Sleep 20", "Up 0x0010", "Sleep 20", "Down 0x0141", "Sleep 20", "Up 0x0141"}));
  EXPECT_EQ(keys.Count(), 4);  // the caller keeps the list
}

TEST(InjectKeyListTest, FillsEachRecordAsSendInputExpects) {
  FakeSenderSystem system;
  CMyList<KeyStroke> keys;
  keys.Add(KeyStroke{-1, KeyStroke::kPressAndRelease});  // a character no key gives
  ASSERT_TRUE(InjectKeyList(system, keys, 0));
  ASSERT_EQ(system.inputs.size(), 2u);
  for (const KeyboardInput& input : system.inputs) {
    EXPECT_EQ(input.type, kInputKeyboard);
    EXPECT_EQ(input.virtualKey, 0xFFFF);
    EXPECT_EQ(input.scanCode, 0);
    EXPECT_EQ(input.time, 0u);
    EXPECT_EQ(input.extraInfo, 0u);
  }
  EXPECT_EQ(system.inputs[0].flags, 0u);
  EXPECT_EQ(system.inputs[1].flags, kKeyEventKeyUp);
}

TEST(InjectKeyListTest, NoDelayMeansNoSleepAndAnEmptyListSendsNothing) {
  FakeSenderSystem system;
  CMyList<KeyStroke> keys;
  EXPECT_TRUE(InjectKeyList(system, keys, 20));
  EXPECT_TRUE(system.calls.empty());
  AddKeys(system, keys, {"Right", "Up"});
  EXPECT_TRUE(InjectKeyList(system, keys, 0));
  // No extended-key flag for the arrows either.
  EXPECT_EQ(system.calls, (Calls{"Down 0x0027", "Up 0x0027", "Down 0x0026", "Up 0x0026"}));
  for (const KeyboardInput& input : system.inputs) EXPECT_EQ(input.flags & ~kKeyEventKeyUp, 0u);
}

TEST(InjectKeyListTest, StopsAtTheFirstEventNotSent) {
  FakeSenderSystem system;
  CMyList<KeyStroke> keys;
  AddKeys(system, keys, {"a", "b", "c"});
  system.sendsBeforeFailure = 3;  // the key up of b fails
  EXPECT_FALSE(InjectKeyList(system, keys, 5));
  EXPECT_EQ(system.calls, (Calls{"Sleep 5", "Down 0x0041", "Sleep 5", "Up 0x0041", "Sleep 5",
                                 "Down 0x0042", "Sleep 5"}));
  EXPECT_EQ(system.inputs.size(), 4u);
}

TEST(InjectKeyEventTest, PressOnlyIsADownAndEveryOtherActionAnUp) {
  FakeSenderSystem system;
  EXPECT_TRUE(InjectKeyEvent(system, KeyStroke{0x0D, KeyStroke::kPressOnly}, 0));
  EXPECT_TRUE(InjectKeyEvent(system, KeyStroke{0x0D, KeyStroke::kReleaseOnly}, 0));
  EXPECT_TRUE(InjectKeyEvent(system, KeyStroke{0x0D, KeyStroke::kPressAndRelease}, 0));
  EXPECT_EQ(system.calls, (Calls{"Down 0x000D", "Up 0x000D", "Up 0x000D"}));
}

}  // namespace
}  // namespace tapwise
