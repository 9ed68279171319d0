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

TEST(InjectKeyListTest, SendsTheLow16BitsOfTheKeyCode) {
  FakeSenderSystem system;
  CMyList<KeyStroke> keys;
  keys.Add(KeyStroke{-1, KeyStroke::kPressAndRelease});  // a character no key gives
  keys.Add(KeyStroke{0x12345, KeyStroke::kPressOnly});
  ASSERT_TRUE(InjectKeyList(system, keys, 0));
  EXPECT_EQ(system.calls, (Calls{"Down 0xFFFF", "Up 0xFFFF", "Down 0x2345"}));
}

TEST(InjectKeyListTest, NoDelayMeansNoSleepAndAnEmptyListSendsNothing) {
  FakeSenderSystem system;
  CMyList<KeyStroke> keys;
  EXPECT_TRUE(InjectKeyList(system, keys, 20));
  EXPECT_TRUE(system.calls.empty());
  AddKeys(system, keys, {"Right", "Up"});
  EXPECT_TRUE(InjectKeyList(system, keys, 0));
  EXPECT_EQ(system.calls, (Calls{"Down 0x0027", "Up 0x0027", "Down 0x0026", "Up 0x0026"}));
}

TEST(InjectKeyListTest, StopsAtTheFirstEventNotSent) {
  FakeSenderSystem system;
  CMyList<KeyStroke> keys;
  AddKeys(system, keys, {"a", "b", "c"});
  system.sendsBeforeFailure = 3;  // the key up of b fails
  EXPECT_FALSE(InjectKeyList(system, keys, 5));
  EXPECT_EQ(system.calls, (Calls{"Sleep 5", "Down 0x0041", "Sleep 5", "Up 0x0041", "Sleep 5",
                                 "Down 0x0042", "Sleep 5", "Up 0x0042 refused"}));
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
