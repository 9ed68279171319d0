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

struct FakeProcess {
  FakeProcess(ProcessId id_, std::string name_) : id(id_), name(std::move(name_)) {}

  ProcessId id = 0;
  std::string name;  // as the platform reads it: "Unknown" when it can't
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
};

// After the given number of keyboard events (taken or not), |window| takes the front;
// the front is empty for the next |emptyLooks| looks at it first.
struct FrontChange {
  int afterEvents = 0;
  WindowHandle window = nullptr;
  int emptyLooks = 0;
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
  ThreadId currentThread = 1;

  // The record.
  std::string output;
  // In order: "Sleep 20", "Down 0x0041", "Up 0x0041", "Up 0x0041 refused",
  // "Char down 0xE4", "Char up 0xE4" (a character that no key types, by its byte),
  // "Begin period 1", "End period 1", "Hide <title>", "Show <title>", "Restore <title>",
  // "Foreground <title>", "Raise <title>", "Attach <from> <to>", "Detach <from> <to>",
  // "Open <file>".
  std::vector<std::string> calls;
  std::vector<std::string> debugOutput;

  void Print(const char* text) override;
  std::int16_t KeyScan(char character) override;
  bool SendKeyEvent(std::uint16_t virtualKey, KeyDirection direction) override;
  bool SendCharacterEvent(char character, KeyDirection direction) override;
  void Sleep(std::uint32_t milliseconds) override;
  bool BeginTimerPeriod(std::uint32_t milliseconds) override;
  void EndTimerPeriod(std::uint32_t milliseconds) override;
  bool OpenFile(const char* file) override;
  bool RunningProcesses(CMyList<RunningProcess>& list) override;
  void TopLevelWindows(CMyList<TopLevelWindow>& list) override;
  WindowHandle FindWindowByTitle(const char* title) override;
  ProcessId ProcessOfWindow(WindowHandle window) override;
  ThreadId ThreadOfWindow(WindowHandle window) override;
  bool IsMinimized(WindowHandle window) override;
  void ShowWindowAs(WindowHandle window, ShowCommand command) override;
  void BringToForeground(WindowHandle window) override;
  WindowHandle ForegroundWindow() override;
  void RaiseToTop(WindowHandle window) override;
  bool AttachInput(ThreadId from, ThreadId to, bool attach) override;
  ThreadId CurrentThread() override;
  void DebugOutput(const char* text) override;

 private:
  // Handles are 1-based indexes into windows_, above an unused base.
  static constexpr std::uintptr_t kBase = 0x1000;
  std::size_t IndexOf(WindowHandle handle) const;
  // Logs one keyboard event as scripted; true when it is taken.
  bool SendEvent(const std::string& event);
  std::vector<FakeWindow> windows_;
  int sends_ = 0;
};

}  // namespace tapwise::testing
