// A recording double of the platform for the unit tests of Tapwise: the processes and
// windows it reports are data, with a US keyboard layout, faults on demand, a window in
// front that moves as scripted, and a log of every call that sends, sleeps, sets the
// timer, shows or activates, in order. Nothing really sleeps.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sender_system.h"

namespace tapwise::testing {

using ThreadId = std::uint32_t;

struct FakeProcess {
  FakeProcess(ProcessId id_, std::string name_) : id(id_), name(std::move(name_)) {}

  ProcessId id = 0;
  std::string name;  // as the platform reads it: "Unknown" when it can't
  ProcessRights rights = kUserRights;

  // A program that a user starts: medium integrity level, no UI access.
  static constexpr ProcessRights kUserRights{ProcessRights::Read::kRead, 0x2000, false};

  // ---- Text that the ANSI code page can't hold ----
  bool nameInUtf8 = false;
};

struct FakeWindow {
  FakeWindow(ProcessId process_, ThreadId thread_, std::string title_,
             WindowHandle parent_ = nullptr, bool minimized_ = false, bool visible_ = true)
      : process(process_),
        thread(thread_),
        title(std::move(title_)),
        parent(parent_),
        minimized(minimized_),
        visible(visible_) {}

  ProcessId process = 0;
  ThreadId thread = 0;
  std::string title;
  WindowHandle parent = nullptr;  // its parent or owner: the double does not tell them apart
  bool minimized = false;
  bool visible = true;
  std::string windowClass;
  ProcessId appProcess = 0;  // the app shown in a frame; 0: |process|
  bool enabled = true;
  int respondsFrom = 0;          // the clock's millisecond from which it responds; -1: never
  WindowHandle popup = nullptr;  // its last active pop-up; null: itself
  bool listed = true;  // false: not yet among the top-level windows, as a console's window
                       // while its host is still setting it up

  // ---- Text that the ANSI code page can't hold ----
  bool titleInUtf8 = false;
};

// After the given number of keyboard events (taken or not), |window| takes the front;
// the front is empty for the next |emptyLooks| looks at it first. With |atMillisecond|,
// it does so once the clock reads that instead.
struct FrontChange {
  int afterEvents = 0;
  WindowHandle window = nullptr;
  int emptyLooks = 0;
  int atMillisecond = -1;
};

class FakeSenderSystem : public SenderSystem {
 public:
  // Adds a top-level window below those added before (Z order, topmost first).
  WindowHandle AddWindow(const FakeWindow& window);
  FakeWindow& WindowOf(WindowHandle handle);

  // The script.
  std::vector<FakeProcess> processes;
  bool processesEnumerable = true;
  bool fileOpens = true;
  int sendsBeforeFailure = -1;    // events are refused from this call on; -1: never
  int sendsBeforeException = -1;  // this call throws; -1: none does
  bool timerPeriodGranted = true;
  int foregroundRefusals = 0;  // SetForegroundWindow calls that change nothing
  WindowHandle foreground = nullptr;
  int emptyLooks = 0;  // looks at the front that find none, before it is |foreground|
  std::vector<FrontChange> frontChanges;
  WindowHandle ownConsole = nullptr;
  ProcessRights ownRights = FakeProcess::kUserRights;
  std::uint32_t clock = 0;  // milliseconds; each Sleep moves it on

  // ---- The keyboard's state ----
  std::uint16_t keyHeld = 0;  // a key that the user holds down ...
  int keyHeldLooks = 0;       // ... for this many looks at it

  // The record.
  std::string output;  // what is printed in UTF-8 too, as it is
  // In order: "Sleep 20", "Down 0x0041", "Up 0x0041", "Up 0x0041 refused",
  // "Down 0x0025 extended" (an extended key), "Char down 0xE4", "Char up 0xE4" (a
  // character that no key types, by its byte), "Unicode down 0xD83D 0xDE00" (a character
  // by its UTF-16 units), "Begin period 1", "End period 1", "Hide <title>",
  // "Show <title>", "Restore <title>", "Foreground <title>", "Force <title>" (with the
  // input attached), "Open <file>", "Open UTF-8 <file>".
  std::vector<std::string> calls;
  std::vector<std::string> debugOutput;
  std::vector<std::string> printedInUtf8;

  void Print(const char* text) override;
  std::int16_t KeyScan(char character) override;
  bool SendKeyEvent(std::uint16_t virtualKey, bool extended, KeyDirection direction) override;
  bool SendCharacterEvent(char character, KeyDirection direction) override;
  void Sleep(std::uint32_t milliseconds) override;
  bool BeginTimerPeriod(std::uint32_t milliseconds) override;
  void EndTimerPeriod(std::uint32_t milliseconds) override;
  bool OpenFile(const char* file) override;
  bool RunningProcesses(CMyList<RunningProcess>& list) override;
  void TopLevelWindows(CMyList<TopLevelWindow>& list) override;
  void ShowWindowAs(WindowHandle window, ShowCommand command) override;
  void BringToForeground(WindowHandle window) override;
  WindowHandle ForegroundWindow() override;
  bool DescribeWindow(WindowHandle window, TopLevelWindow& facts) override;
  void ForceToForeground(WindowHandle window) override;
  WindowHandle LastActivePopup(WindowHandle window) override;
  WindowHandle OwnConsoleWindow() override;
  ProcessRights OwnRights() override;
  ProcessRights RightsOf(ProcessId process) override;
  std::uint32_t Milliseconds() override;
  void DebugOutput(const char* text) override;

  // ---- Text that the ANSI code page can't hold ----
  void PrintUtf8(const char* text) override;
  // A text of several bytes is one character in UTF-8 as in the double's code page,
  // which Windows 10 can have as its system code page.
  std::uint32_t CharacterOf(const char* text, bool utf8) override;
  bool SendUnicodeEvent(const std::uint16_t* units, int count, KeyDirection direction) override;
  bool OpenUtf8File(const char* file) override;

  // ---- The keyboard's state ----
  bool IsKeyDown(std::uint16_t virtualKey) override;

 private:
  // Handles are 1-based indexes into windows_, above an unused base.
  static constexpr std::uintptr_t kBase = 0x1000;
  std::size_t IndexOf(WindowHandle handle) const;
  void Describe(std::size_t index, TopLevelWindow& facts) const;
  // Logs the request; it takes effect unless refused.
  void TakeForeground(const char* verb, WindowHandle window);
  // Logs one keyboard event as scripted; true when it is taken.
  bool SendEvent(const std::string& event);
  std::vector<FakeWindow> windows_;
  int sends_ = 0;
};

}  // namespace tapwise::testing
