#include "key_injection.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "fake_sender_system.h"

namespace tapwise {
namespace {

using testing::FakeSenderSystem;
using testing::FrontChange;
using Calls = std::vector<std::string>;

void AddKeys(FakeSenderSystem& system, CMyList<KeyStroke>& keys,
             std::initializer_list<const char*> tokens) {
  for (const char* token : tokens) {
    KeyStroke key;
    ASSERT_TRUE(key.Parse(token, system)) << token;
    keys.Add(key);
  }
}

// Keys for whatever window is in front.
SendOutcome Inject(FakeSenderSystem& system, CMyList<KeyStroke>& keys, std::int32_t delay) {
  TargetFront anywhere(system);
  return InjectKeyList(system, keys, delay, anywhere);
}

TEST(InjectKeyListTest, SendsEachKeyInOrderWithTheDelayBeforeEveryEvent) {
  FakeSenderSystem system;
  CMyList<KeyStroke> keys;
  AddKeys(system, keys, {"/Shift", "h", "\\Shift", "A"});
  EXPECT_EQ(Inject(system, keys, 20), SendOutcome::kSent);
  EXPECT_EQ(system.calls,
            (Calls{"Sleep 20", "Down 0x0010", "Sleep 20", "Down 0x0048", "Sleep 20", "Up 0x0048",
                   "Sleep 20", "Up 0x0010", "Sleep 20", "Down 0x0141", "Sleep 20", "Up 0x0141"}));
  EXPECT_EQ(keys.Count(), 4);  // the caller keeps the list
}

TEST(InjectKeyListTest, SendsTheLow16BitsOfTheKeyCodeAndACharacterNoKeyTypesAsItself) {
  FakeSenderSystem system;
  CMyList<KeyStroke> keys;
  // \xE4 and \x80 (a with umlaut and the euro sign in code page 1252) have no key on the
  // layout; a character of several bytes goes by its code point (zhe, an emoji).
  AddKeys(
      system, keys,
      {"\xE4", "/\x80", "\\\xE4", "A", "", "\xD0\xB6", "/\xF0\x9F\x98\x80", "\\\xF0\x9F\x98\x80"});
  keys.Add(KeyStroke{0x12345, KeyStroke::kPressOnly});
  ASSERT_EQ(Inject(system, keys, 0), SendOutcome::kSent);
  EXPECT_EQ(system.calls, (Calls{"Char down 0xE4", "Char up 0xE4", "Char down 0x80", "Char up 0xE4",
                                 "Down 0x0141", "Up 0x0141",  // a key, shift state and all
                                 "Down 0xFFFF", "Up 0xFFFF",  // the NUL character, as ever
                                 "Unicode down 0x0436", "Unicode up 0x0436",
                                 "Unicode down 0xD83D 0xDE00",  // a surrogate pair in one go
                                 "Unicode up 0xD83D 0xDE00", "Down 0x2345"}));
}

TEST(InjectKeyListTest, NoDelayMeansNoSleepAndAnEmptyListSendsNothing) {
  FakeSenderSystem system;
  CMyList<KeyStroke> keys;
  EXPECT_EQ(Inject(system, keys, 20), SendOutcome::kSent);
  EXPECT_TRUE(system.calls.empty());
  AddKeys(system, keys, {"Right", "Up"});
  EXPECT_EQ(Inject(system, keys, 0), SendOutcome::kSent);
  EXPECT_EQ(system.calls, (Calls{"Down 0x0027 extended", "Up 0x0027 extended",
                                 "Down 0x0026 extended", "Up 0x0026 extended"}));
}

Calls Join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The windows of the cases below, by index.
enum FrontWindow { kTarget, kDialog, kOther, kPrinterDialog, kDesktop, kGhost, kDisabled };

// The script /Shift /LControl a b (unless a case has its own) into the window of
// process 8, while the front moves as each case scripts it (the double refuses every
// event from the first refused on). A stop sends nothing more of the script and releases
// what it holds, the last pressed first, a lone Alt after a neutral key, and names the
// keys whose release is refused; a whole script leaves its held keys down.
TEST(InjectKeyListTest, SendsOnlyWhileTheTargetIsInFrontAndReleasesWhatItHoldsWhenItStops) {
  const Calls wholeScript{"Down 0x0010", "Down 0x00A2", "Down 0x0041",
                          "Up 0x0041",   "Down 0x0042", "Up 0x0042"};
  struct Case {
    const char* what;
    std::vector<FrontChange> changes;  // 1: the target's dialog, 2: another program
    int refusedEvent;
    int throwingEvent;
    SendOutcome outcome;
    Calls calls;
    int to = -1;  // the window that the changes bring to the front, if not as above
    int inFront = kTarget;
    int targetRespondsFrom = 0;
    const char* stillDown = "";
    std::vector<const char*> script = {"/Shift", "/LControl", "a", "b"};
  } const cases[] = {
      {"another program takes the front after the third event",
       {{3, nullptr, 0}},
       -1,
       -1,
       SendOutcome::kFrontLost,
       {"Down 0x0010", "Down 0x00A2", "Down 0x0041", "Up 0x0041", "Up 0x00A2", "Up 0x0010"}},
      {"a dialog of the target takes the front",
       {{2, nullptr, 0}},
       -1,
       -1,
       SendOutcome::kSent,
       wholeScript},
      {"no window is in front for a moment",
       {{1, nullptr, 20}},
       -1,
       -1,
       SendOutcome::kSent,
       {"Down 0x0010", "Sleep 1",     "Sleep 1",   "Sleep 1",     "Sleep 1",  "Sleep 1", "Sleep 1",
        "Sleep 1",     "Sleep 1",     "Sleep 1",   "Sleep 1",     "Sleep 1",  "Sleep 1", "Sleep 1",
        "Sleep 1",     "Sleep 1",     "Sleep 1",   "Sleep 1",     "Sleep 1",  "Sleep 1", "Sleep 1",
        "Down 0x00A2", "Down 0x0041", "Up 0x0041", "Down 0x0042", "Up 0x0042"}},
      {"no window is in front for too long",
       {{1, nullptr, 21}},
       -1,
       -1,
       SendOutcome::kFrontLost,
       {"Down 0x0010", "Sleep 1", "Sleep 1", "Sleep 1", "Sleep 1", "Sleep 1",  "Sleep 1", "Sleep 1",
        "Sleep 1",     "Sleep 1", "Sleep 1", "Sleep 1", "Sleep 1", "Sleep 1",  "Sleep 1", "Sleep 1",
        "Sleep 1",     "Sleep 1", "Sleep 1", "Sleep 1", "Sleep 1", "Up 0x0010"}},
      {"the key down of a is refused",
       {},
       2,
       -1,
       SendOutcome::kRefused,
       {"Down 0x0010", "Down 0x00A2", "Down 0x0041 refused", "Up 0x00A2 refused",
        "Up 0x0010 refused"},
       -1,
       kTarget,
       0,
       "LControl Shift"},
      {"a window that the target owns, of another program, takes the front",
       {{2, nullptr, 0}},
       -1,
       -1,
       SendOutcome::kSent,
       wholeScript,
       kPrinterDialog},
      {"the desktop of the target's program takes the front",
       {{2, nullptr, 0}},
       -1,
       -1,
       SendOutcome::kFrontLost,
       {"Down 0x0010", "Down 0x00A2", "Up 0x00A2", "Up 0x0010"},
       kDesktop},
      {"a window of the target that a modal dialog disables stays in front",
       {{2, nullptr, 0}},
       -1,
       -1,
       SendOutcome::kFrontLost,
       Join({{"Down 0x0010", "Down 0x00A2"}, Calls(20, "Sleep 1"), {"Up 0x00A2", "Up 0x0010"}}),
       kDisabled},
      {"a ghost of the target is in front until the target responds",
       {{0, nullptr, 0, 300}},
       -1,
       -1,
       SendOutcome::kSent,
       Join({Calls(3, "Sleep 100"), wholeScript}),
       kTarget,
       kGhost,
       300},
      {"the target does not respond for a while",
       {},
       -1,
       -1,
       SendOutcome::kSent,
       Join({Calls(2, "Sleep 100"), wholeScript}),
       -1,
       kTarget,
       200},
      {"the target does not respond at all",
       {},
       -1,
       -1,
       SendOutcome::kTargetHung,
       Calls(50, "Sleep 100"),
       -1,
       kTarget,
       -1},
      {"the key up of a is refused",
       {},
       3,
       -1,
       SendOutcome::kRefused,
       {"Down 0x0010", "Down 0x00A2", "Down 0x0041", "Up 0x0041 refused", "Up 0x0041 refused",
        "Up 0x00A2 refused", "Up 0x0010 refused"},
       -1,
       kTarget,
       0,
       "a LControl Shift"},
      {"another program takes the front from a lone Alt",
       {{3, nullptr, 0}},
       -1,
       -1,
       SendOutcome::kFrontLost,
       {"Down 0x0041", "Up 0x0041", "Down 0x00A4", "Down 0x00E8", "Up 0x00E8", "Up 0x00A4"},
       -1,
       kTarget,
       0,
       "",
       {"a", "/LMenu", "x"}},
      {"another program takes the front from an Alt used with a key",
       {{3, nullptr, 0}},
       -1,
       -1,
       SendOutcome::kFrontLost,
       {"Down 0x00A4", "Down 0x0041", "Up 0x0041", "Up 0x00A4"},
       -1,
       kTarget,
       0,
       "",
       {"/LMenu", "a", "x"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeSenderSystem system;
    const WindowHandle target = system.AddWindow({8, 80, "Target"});
    const WindowHandle dialog = system.AddWindow({8, 80, "Save As", target});
    const WindowHandle other = system.AddWindow({9, 90, "Other"});
    const WindowHandle windows[] = {target,
                                    dialog,
                                    other,
                                    system.AddWindow({9, 90, "Printer settings", target}),
                                    system.AddWindow({8, 80, "Program Manager"}),
                                    system.AddWindow({7, 70, "Target (Not Responding)"}),
                                    system.AddWindow({8, 80, "Options"})};
    system.WindowOf(windows[kDesktop]).windowClass = "Progman";
    system.WindowOf(windows[kGhost]).windowClass = "Ghost";
    system.WindowOf(windows[kDisabled]).enabled = false;
    system.WindowOf(target).respondsFrom = c.targetRespondsFrom;
    system.foreground = windows[c.inFront];
    for (FrontChange change : c.changes) {
      change.window = c.to >= 0                 ? windows[c.to]
                      : change.emptyLooks > 0   ? target
                      : change.afterEvents == 2 ? dialog
                                                : other;
      system.frontChanges.push_back(change);
    }
    system.sendsBeforeFailure = c.refusedEvent;
    CMyList<KeyStroke> keys;
    for (const char* token : c.script) AddKeys(system, keys, {token});
    TargetFront front(system, target, 8, 0);
    CMyString stillDown;
    EXPECT_EQ(InjectKeyList(system, keys, 0, front, &stillDown), c.outcome);
    EXPECT_EQ(system.calls, c.calls);
    EXPECT_STREQ(stillDown.Text() != nullptr ? stillDown.Text() : "", c.stillDown);
  }
}

TEST(InjectKeyListTest, AFailureOfThePlatformReleasesWhatIsHeldAndGoesOn) {
  FakeSenderSystem system;
  CMyList<KeyStroke> keys;
  AddKeys(system, keys, {"/Shift", "/LMenu", "/\xE4", "x"});
  system.sendsBeforeException = 3;
  EXPECT_THROW(Inject(system, keys, 0), std::runtime_error);
  EXPECT_EQ(system.calls, (Calls{"Down 0x0010", "Down 0x00A4", "Char down 0xE4", "Char up 0xE4",
                                 "Up 0x00A4", "Up 0x0010"}));
}

TEST(InjectKeyEventTest, PressOnlyIsADownAndEveryOtherActionAnUp) {
  FakeSenderSystem system;
  TargetFront anywhere(system);
  for (std::int32_t action :
       {KeyStroke::kPressOnly, KeyStroke::kReleaseOnly, KeyStroke::kPressAndRelease}) {
    EXPECT_EQ(InjectKeyEvent(system, KeyStroke{0x0D, action}, 0, anywhere), SendOutcome::kSent);
  }
  EXPECT_EQ(system.calls, (Calls{"Down 0x000D", "Up 0x000D", "Up 0x000D"}));
}

}  // namespace
}  // namespace tapwise
