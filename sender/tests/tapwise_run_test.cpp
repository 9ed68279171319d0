#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake_sender_system.h"
#include "key_script.h"
#include "tapwise.h"

namespace tapwise {
namespace {

using testing::FakeSenderSystem;
using Calls = std::vector<std::string>;

Calls Join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class RunTest : public ::testing::Test {
 protected:
  RunTest() {
    system_.processes = {{4, "explorer.exe"}, {8, "notepad.exe"}, {12, "service.exe"}};
    editor_ = system_.AddWindow({8, 80, "Untitled - Notepad"});
    system_.AddWindow({4, 40, "Desktop"});
    system_.foreground = system_.AddWindow({99, 990, "Console"});
  }

  // |inUtf8|: beside |arguments|, those in UTF-8.
  int Run(std::vector<const char*> arguments, std::vector<char> inUtf8 = {}) {
    arguments.insert(arguments.begin(), "Tapwise.exe");
    inUtf8.insert(inUtf8.begin(), arguments.size() - inUtf8.size(), false);
    const std::unique_ptr<bool[]> flags(new bool[inUtf8.size()]);
    std::copy(inUtf8.begin(), inUtf8.end(), flags.get());
    return RunTapwise(static_cast<int>(arguments.size()), arguments.data(), system_, flags.get());
  }

  std::string SpecialKeys() {
    CMyString names;
    JoinSpecialKeyNames(names);
    return std::string("SpecialKeys are:\n") + names.Text() + "\n";
  }

  FakeSenderSystem system_;
  WindowHandle editor_ = nullptr;
  const std::string banner_ = kBanner;
  const std::string processList_ =
      "List of current process:\n* \"explorer.exe\"\n* \"notepad.exe\"\n* \"service.exe\"\n";
  const std::string windowList_ =
      "List of current windows:\n* \"Untitled - Notepad\"\n* \"Desktop\"\n* \"Console\"\n";
};

TEST_F(RunTest, TypesTheScriptIntoTheProcessWindowAfterTheStartDelay) {
  EXPECT_EQ(Run({"-wait", "500", "-process", "NOTEPAD.exe", "-waitKey", "7", "/Shift", "h",
                 "\\Shift", "i"}),
            0);
  EXPECT_EQ(system_.output, "");
  EXPECT_EQ(system_.calls,
            (Calls{"Hide Untitled - Notepad", "Show Untitled - Notepad",
                   "Foreground Untitled - Notepad", "Begin period 1", "Sleep 500", "Sleep 7",
                   "Down 0x0010", "Sleep 7", "Down 0x0048", "Sleep 7", "Up 0x0048", "Sleep 7",
                   "Up 0x0010", "Sleep 7", "Down 0x0049", "Sleep 7", "Up 0x0049", "End period 1"}));
  EXPECT_EQ(system_.foreground, editor_);
}

TEST_F(RunTest, UsesTheDefaultDelaysAndFindsAWindowByItsTitle) {
  EXPECT_EQ(Run({"-window", "Desktop", "a"}), 0);
  EXPECT_EQ(system_.calls, (Calls{"Hide Desktop", "Show Desktop", "Foreground Desktop",
                                  "Begin period 1", "Sleep 1000", "Sleep 20", "Down 0x0041",
                                  "Sleep 20", "Up 0x0041", "End period 1"}));
}

TEST_F(RunTest, OpensARunFileWithoutActivatingAnything) {
  EXPECT_EQ(Run({"-run", "calc.exe", "-waitKey", "0", "LMenu"}), 0);
  EXPECT_EQ(system_.calls, (Calls{"Open calc.exe", "Begin period 1", "Sleep 1000", "Down 0x00A4",
                                  "Up 0x00A4", "End period 1"}));
}

TEST_F(RunTest, SleepsTheStartDelayEvenWithNothingToSend) {
  EXPECT_EQ(Run({"-wait", "500"}), 0);
  EXPECT_EQ(Run({"-wait", "0"}), 0);
  EXPECT_EQ(Run({"-wait", "abc", "-waitKey", "x"}), 0);  // no number reads as 0
  // A fine timer only while there is something to wait for.
  EXPECT_EQ(system_.calls,
            (Calls{"Begin period 1", "Sleep 500", "End period 1", "Sleep 0", "Sleep 0"}));
  EXPECT_EQ(system_.output, "");
}

TEST_F(RunTest, NegativeDelaysCountAsZero) {
  EXPECT_EQ(Run({"-wait", "-1", "-waitKey", "-20", "a"}), 0);
  EXPECT_EQ(system_.calls, (Calls{"Sleep 0", "Down 0x0041", "Up 0x0041"}));
}

TEST_F(RunTest, NoArgumentsShowTheUsage) {
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(system_.output, banner_ + kUsageText);
  EXPECT_TRUE(system_.calls.empty());
}

TEST_F(RunTest, ListingsEndTheRunWithZero) {
  EXPECT_EQ(Run({"-wait", "100", "-process"}), 0);
  EXPECT_EQ(system_.output, banner_ + processList_);
  system_.output.clear();
  EXPECT_EQ(Run({"-window"}), 0);
  EXPECT_EQ(system_.output, banner_ + windowList_);
  system_.output.clear();
  EXPECT_EQ(Run({"-skeys", "a"}), 0);
  EXPECT_EQ(system_.output, banner_ + SpecialKeys());
  EXPECT_TRUE(system_.calls.empty());
}

TEST_F(RunTest, SpecialKeysAfterASourceLeaveItActivatedAndSendNothing) {
  EXPECT_EQ(Run({"-window", "Desktop", "-skeys"}), 0);
  EXPECT_EQ(system_.output, banner_ + SpecialKeys());
  EXPECT_EQ(system_.calls, (Calls{"Hide Desktop", "Show Desktop", "Foreground Desktop"}));
}

TEST_F(RunTest, AKeyThatNamesNothingSendsNoKeyAndWaitsNoDelay) {
  const struct {
    std::vector<const char*> arguments;
    const char* reported;
  } cases[] = {
      {{"x", "Zorro", "y"}, "Zorro"},
      {{"-wait"}, "-wait"},  // one argument is no delay
      {{"-waitKey", "5", "-window", "Desktop", "a"}, "-window"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reported);
    system_.output.clear();
    system_.calls.clear();
    EXPECT_EQ(Run(c.arguments), 0);
    EXPECT_EQ(system_.output,
              banner_ + "! Error: Key not match: " + c.reported + "\n\n" + SpecialKeys());
    EXPECT_TRUE(system_.calls.empty());
  }
}

TEST_F(RunTest, AWaitBehindTheSourceIsAKeyToken) {
  EXPECT_EQ(Run({"-run", "calc.exe", "-wait", "200", "a"}), 0);
  EXPECT_EQ(system_.calls, (Calls{"Open calc.exe"}));
  EXPECT_NE(system_.output.find("! Error: Key not match: -wait\n\n"), std::string::npos);
}

TEST_F(RunTest, FailedLookupsEndWithOneAndTheirListing) {
  EXPECT_EQ(Run({"-process", "notepad", "a"}), 1);
  EXPECT_EQ(system_.output,
            banner_ + "! Error: Can't find the process: notepad\n\n" + processList_);
  system_.output.clear();
  EXPECT_EQ(Run({"-process", "service.exe", "a"}), 1);
  EXPECT_EQ(
      system_.output,
      banner_ + "! Error: Can't find a window for the process: service.exe\n\n" + processList_);
  system_.output.clear();
  EXPECT_EQ(Run({"-window", "NoSuchTitle", "a"}), 1);
  EXPECT_EQ(system_.output,
            banner_ + "! Error: Can't find de window: NoSuchTitle\n\n" + windowList_);
  system_.output.clear();
  system_.fileOpens = false;
  EXPECT_EQ(Run({"-run", "missing.doc", "a"}), 1);
  EXPECT_EQ(system_.output,
            banner_ + "! Error: Can't find source to execute: missing.doc\n\n" + kUsageText);
  EXPECT_EQ(system_.calls, (Calls{"Open missing.doc"}));  // nothing else: no delay, no key
}

TEST_F(RunTest, AnEventNotSentEndsWithOneAndTheUsage) {
  system_.sendsBeforeFailure = 1;
  EXPECT_EQ(Run({"-wait", "0", "-waitKey", "5", "a", "b"}), 1);
  EXPECT_EQ(system_.output, banner_ + "! Error: All key can't be send\n\n" +
                                "! Error: Keys that may still be down: a\n\n" + kUsageText);
  // The key that is down is let go of, if the platform takes it.
  EXPECT_EQ(system_.calls, (Calls{"Begin period 1", "Sleep 0", "Sleep 5", "Down 0x0041", "Sleep 5",
                                  "Up 0x0041 refused", "Up 0x0041 refused", "End period 1"}));
}

TEST_F(RunTest, ATargetThatDoesNotComeToTheFrontGetsNoKey) {
  system_.foregroundRefusals = 1000;
  EXPECT_EQ(Run({"-wait", "0", "-process", "notepad.exe", "a"}), 1);
  EXPECT_EQ(system_.output,
            banner_ + "! Error: Can't bring the window to the front: notepad.exe\n\n" + kUsageText);
  // Half a second for the platform to complete the change, however short the start
  // delay, then no more.
  const Calls waited(50, "Sleep 10");
  ASSERT_GE(system_.calls.size(), waited.size() + 1);
  EXPECT_EQ(Calls(system_.calls.end() - 51, system_.calls.end()),
            Join({{"Force Untitled - Notepad"}, waited}));
  EXPECT_EQ(std::count_if(system_.calls.begin(), system_.calls.end(),
                          [](const std::string& call) { return call.rfind("Down", 0) == 0; }),
            0);
}

// Targets that can't take keys as they stand: each case stages the double, runs, and
// expects the exit code, the report after the banner and the calls made.
TEST_F(RunTest, ATargetIsTakenOnlyAsItCanTakeTheKeys) {
  const std::string refused =
      "! Error: Can't send keys to a program with higher rights: notepad.exe\n\n" +
      std::string(kUsageText);
  const Calls activatedAndTyped{"Hide Untitled - Notepad",
                                "Show Untitled - Notepad",
                                "Foreground Untitled - Notepad",
                                "Sleep 0",
                                "Down 0x0041",
                                "Up 0x0041"};
  struct Case {
    const char* what;
    void (*stage)(FakeSenderSystem& system, WindowHandle editor);
    std::vector<const char*> arguments;
    int exitCode;
    std::string report;  // after the banner; none for an empty one
    Calls calls;
  } const cases[] = {
      {"a higher integrity level",
       [](FakeSenderSystem& system, WindowHandle) {
         system.processes[1].rights = {ProcessRights::Read::kRead, 0x3000, false};
       },
       {"-process", "notepad.exe", "a"},
       1,
       refused,
       {}},
      {"the same level with UI access",
       [](FakeSenderSystem& system, WindowHandle) {
         system.processes[1].rights = {ProcessRights::Read::kRead, 0x2000, true};
       },
       {"-process", "notepad.exe", "a"},
       1,
       refused,
       {}},
      {"a token that can't be read",
       [](FakeSenderSystem& system, WindowHandle) {
         system.processes[1].rights = {ProcessRights::Read::kDenied, 0, false};
       },
       {"-process", "notepad.exe", "a"},
       1,
       refused,
       {}},
      {"no integrity levels (XP)",
       [](FakeSenderSystem& system, WindowHandle) {
         system.ownRights = {ProcessRights::Read::kNoLevels, 0, false};
         system.processes[1].rights = {ProcessRights::Read::kDenied, 0, false};
       },
       {"-wait", "0", "-process", "notepad.exe", "-waitKey", "0", "a"},
       0,
       "",
       activatedAndTyped},
      {"a terminal's hidden console",
       [](FakeSenderSystem& system, WindowHandle) {
         system.processes.emplace_back(16, "cmd.exe");
         system.WindowOf(system.AddWindow({16, 160, "", nullptr, false, false})).windowClass =
             "PseudoConsoleWindow";
       },
       {"-process", "cmd.exe", "a"},
       1,
       "! Error: The process runs in a terminal, give -window the terminal's title: cmd.exe\n\n"
       "List of current windows:\n* \"Untitled - Notepad\"\n* \"Desktop\"\n* \"Console\"\n",
       {}},
      {"a modal dialog keeps the window waiting: the dialog takes the keys",
       [](FakeSenderSystem& system, WindowHandle editor) {
         system.WindowOf(editor).enabled = false;
         system.WindowOf(editor).popup = system.AddWindow({8, 80, "Save As", editor});
       },
       {"-wait", "0", "-window", "untitled - notepad", "-waitKey", "0", "a"},
       0,
       "",
       {"Hide Save As", "Show Save As", "Foreground Save As", "Sleep 0", "Down 0x0041",
        "Up 0x0041"}},
      {"a target that comes to the front after 300 ms: the first key a second after",
       [](FakeSenderSystem& system, WindowHandle editor) {
         system.foregroundRefusals = 1000;
         system.frontChanges = {{0, editor, 0, 300}};
       },
       {"-process", "notepad.exe", "-waitKey", "0", "a"},
       0,
       "",
       Join({{"Hide Untitled - Notepad", "Show Untitled - Notepad", "Foreground Untitled - Notepad",
              "Force Untitled - Notepad", "Sleep 10", "Force Untitled - Notepad", "Sleep 10",
              "Force Untitled - Notepad"},
             Calls(14, "Sleep 20"),
             {"Begin period 1", "Sleep 720", "Down 0x0041", "Up 0x0041", "End period 1"}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    system_ = FakeSenderSystem();
    system_.processes = {{4, "explorer.exe"}, {8, "notepad.exe"}, {12, "service.exe"}};
    editor_ = system_.AddWindow({8, 80, "Untitled - Notepad"});
    system_.AddWindow({4, 40, "Desktop"});
    system_.foreground = system_.AddWindow({99, 990, "Console"});
    c.stage(system_, editor_);
    EXPECT_EQ(Run(c.arguments), c.exitCode);
    EXPECT_EQ(system_.output, c.report.empty() ? "" : banner_ + c.report);
    EXPECT_EQ(system_.calls, c.calls);
  }
}

TEST_F(RunTest, KeysStopWhenTheTargetLosesTheFrontAndWhatIsHeldIsLetGo) {
  system_.frontChanges = {{2, system_.foreground, 0}};  // the console takes the front back
  EXPECT_EQ(Run({"-wait", "0", "-window", "Untitled - Notepad", "-waitKey", "0", "/Shift", "h",
                 "\\Shift", "i"}),
            1);
  EXPECT_EQ(system_.output,
            banner_ + "! Error: Keys stopped, the target lost the front: Untitled - Notepad\n\n");
  EXPECT_EQ(system_.calls, (Calls{"Hide Untitled - Notepad", "Show Untitled - Notepad",
                                  "Foreground Untitled - Notepad", "Sleep 0", "Down 0x0010",
                                  "Down 0x0048", "Up 0x0048", "Up 0x0010"}));
}

// What the code page can't hold is found and typed as written (zhe, l with stroke and
// an emoji, in UTF-8), and shown as such.
TEST_F(RunTest, ArgumentsThatTheCodePageCantHoldAreTakenAsWritten) {
  const WindowHandle notes = system_.AddWindow({12, 120, "\xD0\x96"});
  system_.WindowOf(notes).titleInUtf8 = true;
  system_.AddWindow({4, 40, "\xD0\x96"});  // the same bytes in the code page
  EXPECT_EQ(Run({"-wait", "0", "-window", "\xD0\x96", "-waitKey", "0", "\xC5\x82", "a"},
                {false, false, false, true, false, false, true, false}),
            0);
  EXPECT_EQ(system_.calls,
            (Calls{"Hide \xD0\x96", "Show \xD0\x96", "Foreground \xD0\x96", "Sleep 0",
                   "Unicode down 0x0142", "Unicode up 0x0142", "Down 0x0041", "Up 0x0041"}));
  EXPECT_EQ(system_.foreground, notes);

  system_.processes.emplace_back(16, "\xC5\x82.exe");
  system_.processes.back().nameInUtf8 = true;
  system_.output.clear();
  EXPECT_EQ(Run({"-process", "\xC5\x81.exe", "a"}, {false, true, false}), 1);
  EXPECT_EQ(system_.output, banner_ + "! Error: Can't find the process: \xC5\x81.exe\n\n" +
                                processList_ + "* \"\xC5\x82.exe\"\n");
  EXPECT_EQ(system_.printedInUtf8, (Calls{"\xC5\x81.exe", "\xC5\x82.exe"}));
  system_.output.clear();
  EXPECT_EQ(Run({"\xF0\x9F\x98\x80\xF0\x9F\x98\x80"}, {true}), 0);
  EXPECT_NE(system_.output.find("Key not match: \xF0\x9F\x98\x80\xF0\x9F\x98\x80\n"),
            std::string::npos);
}

// The user's hand still on a modifier of the hotkey that started the run: waited for,
// up to two seconds. One that the script lets go of first was left down on purpose by
// an earlier run, and is not waited for.
TEST_F(RunTest, AModifierHeldAtTheStartIsWaitedForAndStopsTheRunIfItStaysDown) {
  const struct {
    int looks;
    std::vector<const char*> script;
    int exitCode;
    const char* output;
    int waits;
    Calls keys;
  } cases[] = {
      {3, {"s"}, 0, "", 3, {"Down 0x0053", "Up 0x0053"}},
      {1000, {"s"}, 1, "! Error: Keys not sent, a modifier key is held down: Control\n\n", 200, {}},
      {1000, {"s", "\\RControl"}, 0, "", 0, {"Down 0x0053", "Up 0x0053", "Up 0x00A3 extended"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.looks << " looks, ends with " << c.script.back());
    system_.calls.clear();
    system_.output.clear();
    system_.keyHeld = 0x11;
    system_.keyHeldLooks = c.looks;
    std::vector<const char*> arguments{"-wait", "0", "-waitKey", "0"};
    arguments.insert(arguments.end(), c.script.begin(), c.script.end());
    EXPECT_EQ(Run(arguments), c.exitCode);
    EXPECT_EQ(system_.output, c.exitCode == 0 ? "" : banner_ + c.output);
    Calls expected{"Sleep 0"};
    expected.insert(expected.end(), static_cast<std::size_t>(c.waits), "Sleep 10");
    expected.insert(expected.end(), c.keys.begin(), c.keys.end());
    EXPECT_EQ(system_.calls, expected);
  }
}

TEST_F(RunTest, TheTimerPeriodIsGivenBackWhenSendingThrowsAndEndedOnlyWhenGranted) {
  system_.sendsBeforeException = 1;
  EXPECT_THROW(Run({"-wait", "0", "-waitKey", "5", "a"}), std::runtime_error);
  EXPECT_EQ(system_.calls, (Calls{"Begin period 1", "Sleep 0", "Sleep 5", "Down 0x0041", "Sleep 5",
                                  "Up 0x0041", "End period 1"}));
  system_.calls.clear();
  system_.timerPeriodGranted = false;
  EXPECT_EQ(Run({"-wait", "10"}), 0);
  EXPECT_EQ(system_.calls, (Calls{"Begin period 1", "Sleep 10"}));
}

}  // namespace
}  // namespace tapwise
