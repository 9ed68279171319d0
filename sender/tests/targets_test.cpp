#include "targets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake_sender_system.h"
#include "tapwise.h"

namespace tapwise {
namespace {

using testing::FakeProcess;
using testing::FakeSenderSystem;
using testing::FakeWindow;
using Lines = std::vector<std::string>;

TopLevelWindow Facts(FakeSenderSystem& system, WindowHandle window) {
  TopLevelWindow facts;
  system.DescribeWindow(window, facts);
  return facts;
}

// The window that "-process" takes for a name, among the scripted processes and
// windows; |stage| adds them and says which window must be taken.
TEST(LookUpProcessTest, TakesTheMainWindowOfTheFirstProgramOfTheNameThatHasOne) {
  struct Case {
    const char* what;
    const char* name;
    WindowHandle (*stage)(FakeSenderSystem& system);
    Lookup lookup;
  } const cases[] = {
      {"the whole name in any case", "NOTEPAD.EXE",
       [](FakeSenderSystem& system) {
         return system.AddWindow({8, 80, "Notepad"});
       },
       Lookup::kFound},
      {"no part of a name", "notepad",
       [](FakeSenderSystem& system) {
         system.AddWindow({8, 80, "Notepad"});
         return WindowHandle{};
       },
       Lookup::kNoProcess},
      {"the name of processes that can't be read", "uNKNOWN",
       [](FakeSenderSystem& system) {
         return system.AddWindow({16, 160, "Locked"});
       },
       Lookup::kFound},
      {"no processes to be read", "notepad.exe",
       [](FakeSenderSystem& system) {
         system.processesEnumerable = false;
         system.AddWindow({8, 80, "Notepad"});
         return WindowHandle{};
       },
       Lookup::kNoProcess},
      {"the second of the name has the window", "notepad.exe",
       [](FakeSenderSystem& system) {
         return system.AddWindow({12, 120, "Notepad"});
       },
       Lookup::kFound},
      {"a hidden window without owner above the main window", "notepad.exe",
       [](FakeSenderSystem& system) {
         system.AddWindow({8, 80, "Hidden", nullptr, false, false});
         return system.AddWindow({8, 80, "Notepad"});
       },
       Lookup::kFound},
      {"hidden windows only: the first", "notepad.exe",
       [](FakeSenderSystem& system) {
         const WindowHandle first = system.AddWindow({8, 80, "Hidden", nullptr, false, false});
         system.AddWindow({8, 80, "Hidden too", nullptr, false, false});
         return first;
       },
       Lookup::kFound},
      {"a Store app in the frame of another process", "notepad.exe",
       [](FakeSenderSystem& system) {
         system.AddWindow({8, 80, "", nullptr, false, false});  // a helper, hidden
         const WindowHandle frame = system.AddWindow({20, 200, "Notepad"});
         system.WindowOf(frame).windowClass = "ApplicationFrameWindow";
         system.WindowOf(frame).appProcess = 8;
         return frame;
       },
       Lookup::kFound},
      {"explorer.exe: no desktop or taskbar", "explorer.exe",
       [](FakeSenderSystem& system) {
         system.WindowOf(system.AddWindow({4, 40, ""})).windowClass = "Shell_TrayWnd";
         system.WindowOf(system.AddWindow({4, 40, "Program Manager"})).windowClass = "Progman";
         return system.AddWindow({4, 40, "Documents"});
       },
       Lookup::kFound},
      {"explorer.exe with the desktop and taskbar only", "explorer.exe",
       [](FakeSenderSystem& system) {
         system.WindowOf(system.AddWindow({4, 40, ""})).windowClass = "Shell_TrayWnd";
         system.WindowOf(system.AddWindow({4, 40, "Program Manager"})).windowClass = "Progman";
         return WindowHandle{};
       },
       Lookup::kNoWindow},
      {"the console Tapwise runs in is not taken", "cmd.exe",
       [](FakeSenderSystem& system) {
         system.ownConsole = system.AddWindow({24, 240, "Batch"});
         return system.AddWindow({28, 280, "Prompt"});
       },
       Lookup::kFound},
      {"nor is its program", "cmd.exe",
       [](FakeSenderSystem& system) {
         system.ownConsole = system.AddWindow({24, 240, "Batch"});
         system.AddWindow({24, 240, "Another"});
         return WindowHandle{};
       },
       Lookup::kNoWindow},
      {"nor is it while its console's window is not listed yet", "cmd.exe",
       [](FakeSenderSystem& system) {
         system.ownConsole = system.AddWindow({24, 240, "Batch"});
         system.WindowOf(system.ownConsole).listed = false;
         system.AddWindow({24, 240, "Default IME", nullptr, false, false});
         return WindowHandle{};
       },
       Lookup::kNoWindow},
      {"a terminal's hidden console", "cmd.exe",
       [](FakeSenderSystem& system) {
         const WindowHandle console = system.AddWindow({24, 240, "", nullptr, false, false});
         system.WindowOf(console).windowClass = "PseudoConsoleWindow";
         return WindowHandle{};
       },
       Lookup::kHiddenConsole},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeSenderSystem system;
    system.processes = {{4, "explorer.exe"},
                        {8, "NotePad.exe"},
                        {12, "notepad.exe"},
                        {16, "Unknown"},
                        {20, "ApplicationFrameHost.exe"},
                        {24, "cmd.exe"},
                        {28, "cmd.exe"}};
    system.AddWindow({1, 10, "Other"});
    const WindowHandle expected = c.stage(system);
    TopLevelWindow window;
    EXPECT_EQ(LookUpProcess(system, c.name, window), c.lookup);
    if (c.lookup == Lookup::kFound) {
      EXPECT_EQ(window.handle, expected);
    }
  }
}

TEST(LookUpProcessTest, ReportsEveryTitleVisitedAndSkipsOwnedHelpers) {
  FakeSenderSystem system;
  system.processes = {{2, "app.exe"}, {3, "none.exe"}};
  system.AddWindow({1, 10, "Other"});
  // Owned windows lie above their owner: a hidden helper and a shown tool window.
  const WindowHandle helper = system.AddWindow({2, 20, "", nullptr, false, false});
  const WindowHandle tool = system.AddWindow({2, 20, "Tool"});
  const WindowHandle main = system.AddWindow({2, 20, "Main"});
  system.WindowOf(helper).parent = main;
  system.WindowOf(tool).parent = main;
  TopLevelWindow window;
  EXPECT_EQ(LookUpProcess(system, "app.exe", window), Lookup::kFound);
  EXPECT_EQ(window.handle, main);
  EXPECT_EQ(system.debugOutput, (Lines{"Other", "", "Tool", "Main"}));
  system.debugOutput.clear();
  EXPECT_EQ(LookUpProcess(system, "none.exe", window), Lookup::kNoWindow);
  EXPECT_EQ(system.debugOutput, (Lines{"Other", "", "Tool", "Main"}));
}

TEST(ActivateWindowTest, RestoresAMinimisedWindowHidesAnyOtherFirstAndPrefersItsModalDialog) {
  FakeSenderSystem system;
  const WindowHandle normal = system.AddWindow({1, 10, "Normal"});
  const WindowHandle minimized = system.AddWindow({1, 10, "Small", nullptr, true});
  const WindowHandle waiting = system.AddWindow({2, 20, "Editor"});
  const WindowHandle dialog = system.AddWindow({2, 20, "Save As", waiting});
  system.WindowOf(waiting).enabled = false;
  system.WindowOf(waiting).popup = dialog;
  ActivateWindow(system, Facts(system, normal));
  ActivateWindow(system, Facts(system, minimized));
  ActivateWindow(system, Facts(system, waiting));
  EXPECT_EQ(system.calls,
            (Lines{"Hide Normal", "Show Normal", "Foreground Normal", "Restore Small", "Show Small",
                   "Foreground Small", "Hide Save As", "Show Save As", "Foreground Save As"}));
  EXPECT_EQ(system.foreground, dialog);
}

TEST(ActivateWindowTest, RetriesWithInputAttachedWhenTheForegroundIsRefused) {
  FakeSenderSystem system;
  const WindowHandle other = system.AddWindow({1, 10, "Editor"});
  const WindowHandle target = system.AddWindow({2, 20, "Target"});
  system.foreground = other;
  system.foregroundRefusals = 2;
  ActivateWindow(system, Facts(system, target));
  EXPECT_EQ(system.calls, (Lines{"Hide Target", "Show Target", "Foreground Target", "Force Target",
                                 "Sleep 10", "Force Target"}));
  EXPECT_EQ(system.foreground, target);

  // A platform that never gives in: a bounded number of tries, then the keys go on.
  system.foreground = other;
  system.foregroundRefusals = 1000;
  system.calls.clear();
  ActivateWindow(system, Facts(system, target));
  EXPECT_EQ(std::count(system.calls.begin(), system.calls.end(), "Force Target"), 3);
}

TEST(ListProcessesTest, PrintsEachBaseNameOnceInOrderOfFirstAppearance) {
  FakeSenderSystem system;
  system.processes = {{0, "Unknown"},      {4, "svchost.exe"}, {8, "SVCHOST.EXE"},
                      {12, "svchost.exe"}, {16, "Unknown"},    {20, "svchost.exe"}};
  ListProcesses(system, "Can't find the process: ", "foo.exe");
  EXPECT_EQ(system.output, std::string(kBanner) +
                               "! Error: Can't find the process: foo.exe\n\n"
                               "List of current process:\n"
                               "* \"Unknown\"\n* \"svchost.exe\"\n* \"SVCHOST.EXE\"\n");

  system.output.clear();
  system.processesEnumerable = false;
  ListProcesses(system, nullptr, "ignored");
  EXPECT_EQ(system.output, std::string(kBanner) + "List of current process:\n");
}

TEST(ListWindowsTest, LeavesOutUntitledOwnedAndRepeatedTitlesEachTime) {
  FakeSenderSystem system;
  const WindowHandle owner = system.AddWindow({1, 10, "Main"});
  system.AddWindow({1, 10, "Dialog", owner});  // owned, seen first:
  system.AddWindow({2, 20, "Dialog"});         // hides this one
  system.AddWindow({2, 20, ""});
  system.AddWindow({3, 30, "Main"});
  system.AddWindow({3, 30, "Default IME", nullptr, false, false});
  const std::string listing =
      std::string(kBanner) + "List of current windows:\n" + "* \"Main\"\n* \"Default IME\"\n";
  ListWindows(system, nullptr, nullptr);
  EXPECT_EQ(system.output, listing);
  system.output.clear();
  ListWindows(system, nullptr, nullptr);
  EXPECT_EQ(system.output, listing);
}

}  // namespace
}  // namespace tapwise
