#include "targets.h"

#include <gtest/gtest.h>

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

TEST(FindProcessByNameTest, MatchesTheWholeNameIgnoringCaseFirstListedFirst) {
  FakeSenderSystem system;
  system.processes = {
      {4, "Unknown-ish.exe"}, {8, "NotePad.exe"}, {12, "notepad.exe"}, {16, "Unknown"}};
  EXPECT_EQ(FindProcessByName(system, "NOTEPAD.EXE"), 8u);
  EXPECT_EQ(FindProcessByName(system, "notepad"), 0u);
  EXPECT_EQ(FindProcessByName(system, "notepad.ex"), 0u);
  EXPECT_EQ(FindProcessByName(system, "uNKNOWN"), 16u);
  system.processesEnumerable = false;
  EXPECT_EQ(FindProcessByName(system, "notepad.exe"), 0u);
}

TEST(FindWindowOfProcessTest, TakesTheFirstVisibleUnownedWindowAndReportsEveryTitleVisited) {
  FakeSenderSystem system;
  system.AddWindow({1, 10, "Other"});
  // Owned windows lie above their owner: a hidden helper and a shown tool window.
  const WindowHandle helper = system.AddWindow({2, 20, "", nullptr, false, false});
  const WindowHandle tool = system.AddWindow({2, 20, "Tool"});
  const WindowHandle main = system.AddWindow({2, 20, "Main"});
  system.WindowOf(helper).parent = main;
  system.WindowOf(tool).parent = main;
  // A process with hidden windows only.
  const WindowHandle hidden = system.AddWindow({3, 30, "Hidden", nullptr, false, false});
  system.AddWindow({3, 30, "Hidden too", nullptr, false, false});

  EXPECT_EQ(FindWindowOfProcess(system, 2), main);
  EXPECT_EQ(system.debugOutput, (Lines{"Other", "", "Tool", "Main"}));
  EXPECT_EQ(FindWindowOfProcess(system, 3), hidden);  // the first in Z order
  system.debugOutput.clear();
  EXPECT_EQ(FindWindowOfProcess(system, 4), nullptr);
  EXPECT_EQ(system.debugOutput, (Lines{"Other", "", "Tool", "Main", "Hidden", "Hidden too"}));
}

TEST(ActivateWindowTest, RestoresAMinimisedWindowAndHidesAnyOtherFirst) {
  FakeSenderSystem system;
  const WindowHandle normal = system.AddWindow({1, 10, "Normal"});
  const WindowHandle minimized = system.AddWindow({1, 10, "Small", nullptr, true});
  ActivateWindow(system, normal);
  ActivateWindow(system, minimized);
  EXPECT_EQ(system.calls, (Lines{"Hide Normal", "Show Normal", "Foreground Normal", "Restore Small",
                                 "Show Small", "Foreground Small"}));
  EXPECT_EQ(system.foreground, minimized);
}

TEST(ActivateWindowTest, RetriesWithInputAttachedWhenTheForegroundIsRefused) {
  FakeSenderSystem system;
  const WindowHandle other = system.AddWindow({1, 10, "Editor"});
  const WindowHandle target = system.AddWindow({2, 20, "Target"});
  system.foreground = other;
  system.foregroundRefusals = 2;
  ActivateWindow(system, target);
  EXPECT_EQ(system.calls,
            (Lines{"Hide Target", "Show Target", "Foreground Target", "Attach 1 10",
                   "Foreground Target", "Raise Target", "Detach 1 10", "Sleep 10", "Attach 1 10",
                   "Foreground Target", "Raise Target", "Detach 1 10"}));
  EXPECT_EQ(system.foreground, target);

  // A platform that never gives in: a bounded number of tries, then the keys go on.
  system.foreground = other;
  system.foregroundRefusals = 1000;
  system.calls.clear();
  ActivateWindow(system, target);
  EXPECT_EQ(std::count(system.calls.begin(), system.calls.end(), "Foreground Target"), 4);
  EXPECT_EQ(std::count(system.calls.begin(), system.calls.end(), "Detach 1 10"), 3);
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
