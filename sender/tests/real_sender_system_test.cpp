// The Win32 side of the seam, against the real platform (under Wine in the test run).
#include "real_sender_system.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tapwise.h"
#include "targets.h"

namespace tapwise {
namespace {

// The real platform, with the console output kept for the test.
class CapturingSystem : public RealSenderSystem {
 public:
  std::string output;
  void Print(const char* text) override { output += text; }
};

std::string ExecutableBaseName() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string whole = path;
  return whole.substr(whole.find_last_of('\\') + 1);
}

TEST(RealSenderSystemTest, ScansCharactersWithTheirShiftState) {
  RealSenderSystem system;
  EXPECT_EQ(system.KeyScan('a') & 0xFF, 'A');
  EXPECT_EQ(system.KeyScan('A') & 0xFF, 'A');
  EXPECT_EQ(system.KeyScan('A') & 0x100, 0x100);  // with Shift
}

// No ANSI code page holds an emoji, and every one holds ASCII.
TEST(RealSenderSystemTest, TakesArgumentsInTheCodePageWhereItHoldsThemElseInUtf8) {
  const wchar_t* const wide[] = {L"Tapwise.exe", L"-window", L"\U0001F600 x"};
  const ProgramArguments arguments(3, wide);
  ASSERT_EQ(arguments.Count(), 3);
  EXPECT_STREQ(arguments.Texts()[1], "-window");
  EXPECT_FALSE(arguments.InUtf8()[1]);
  EXPECT_STREQ(arguments.Texts()[2], "\xF0\x9F\x98\x80 x");
  EXPECT_TRUE(arguments.InUtf8()[2]);
  RealSenderSystem system;
  EXPECT_EQ(system.CharacterOf("\xF0\x9F\x98\x80", true), 0x1F600u);
  EXPECT_EQ(system.CharacterOf("\xD0\xB6", true), 0x436u);
  EXPECT_EQ(system.CharacterOf("ab", false), 0u);
}

TEST(RealSenderSystemTest, GrantsAFineTimerPeriod) {
  RealSenderSystem system;
  ASSERT_TRUE(system.BeginTimerPeriod(1));
  system.EndTimerPeriod(1);
}

TEST(RealSenderSystemTest, NamesAndFindsRunningProcesses) {
  RealSenderSystem system;
  CMyString name;
  EXPECT_TRUE(ReadProcessName(GetCurrentProcessId(), name));
  EXPECT_EQ(name.Text(), ExecutableBaseName());
  EXPECT_FALSE(ReadProcessName(0xFFFFFFF0u, name));  // no such process
  EXPECT_STREQ(name.Text(), "Unknown");
  TopLevelWindow window;
  EXPECT_NE(LookUpProcess(system, ExecutableBaseName().c_str(), window), Lookup::kNoProcess);
  // A system process: 64-bit on a 64-bit system, whose modules a 32-bit build can't
  // read; it must be found all the same.
  EXPECT_NE(LookUpProcess(system, "SERVICES.EXE", window), Lookup::kNoProcess);
  EXPECT_EQ(LookUpProcess(system, "no such program.exe", window), Lookup::kNoProcess);
}

// A platform with 3000 processes, which fills whatever table it is given.
std::vector<std::uint32_t> g_rooms;
bool Enumerate3000Processes(ProcessId* ids, std::uint32_t room, std::uint32_t* count) {
  g_rooms.push_back(room);
  *count = room < 3000 ? room : 3000;
  for (std::uint32_t i = 0; i < *count; ++i) ids[i] = 4 * (i + 1);
  return true;
}

TEST(ProcessIdTableTest, GrowsUntilEveryProcessFits) {
  ProcessIdTable table;
  ASSERT_TRUE(table.Enumerate(Enumerate3000Processes));
  EXPECT_EQ(g_rooms, (std::vector<std::uint32_t>{1024, 2048, 4096}));
  ASSERT_EQ(table.Count(), 3000u);
  EXPECT_EQ(table[2999], 12000u);
}

TEST(RealSenderSystemTest, FindsAndListsTheWindowsOfThisProcess) {
  const std::string title = "Tapwise seam test " + std::to_string(GetCurrentProcessId());
  HWND window = CreateWindowA("STATIC", title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                              nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  CapturingSystem system;
  TopLevelWindow facts;
  ASSERT_EQ(LookUpWindow(system, title.c_str(), facts), Lookup::kFound);
  EXPECT_EQ(facts.handle, window);
  EXPECT_STREQ(facts.windowClass.Text(), "Static");
  EXPECT_EQ(facts.rootOwner, window);
  EXPECT_EQ(facts.appProcess, GetCurrentProcessId());
  EXPECT_TRUE(facts.enabled && facts.responding && !facts.visible);
  // Windows finds a title in any case.
  ASSERT_EQ(LookUpWindow(system, ("tAPWISE" + title.substr(7)).c_str(), facts), Lookup::kFound);
  EXPECT_EQ(facts.handle, window);

  // Still hidden: the first window of this process in Z order, maybe one the platform
  // made for it. Once shown, the only visible window without owner.
  const std::string self = ExecutableBaseName();
  ASSERT_EQ(LookUpProcess(system, self.c_str(), facts), Lookup::kFound);
  EXPECT_EQ(facts.process, GetCurrentProcessId());
  ShowWindow(window, SW_SHOWNOACTIVATE);
  ASSERT_EQ(LookUpProcess(system, self.c_str(), facts), Lookup::kFound);
  EXPECT_EQ(facts.handle, window);
  // A program of the same rights as this one.
  EXPECT_FALSE(OutranksTapwise(system, facts));

  ListWindows(system, nullptr, nullptr);
  const std::string line = "* \"" + title + "\"\n";
  const std::size_t at = system.output.find(line);
  EXPECT_NE(at, std::string::npos) << system.output;
  EXPECT_EQ(system.output.find(line, at + 1), std::string::npos);
  DestroyWindow(window);
}

}  // namespace
}  // namespace tapwise
