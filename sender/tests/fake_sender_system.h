// A recording double of the platform for the unit tests of Tapwise: scripted
// processes and windows, a US keyboard layout, faults on demand, and a log of every
// call that sends, sleeps, sets the timer, shows or activates, in order. Nothing
// really sleeps.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sender_system.h"

namespace tapwise::testing {

struct FakeProcess {
  FakeProcess(ProcessId id_, std::string name_, bool opens_ = true, bool modulesReadable_ = true,
              std::string imagePath_ = "")
      : id(id_),
        name(std::move(name_)),
        opens(opens_),
        modulesReadable(modulesReadable_),
        imagePath(std::move(imagePath_)) {}

  ProcessId id = 0;
  std::string name;             // the module base name; empty: it can't be read
  bool opens = true;            // opened to read its modules
  bool modulesReadable = true;  // its first module can be had
  std::string imagePath;        // the executable's path; empty: it can't be read
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
  ThreadId currentThread = 1;

  // The record.
  std::string output;
  // In order: "Sleep 20", "Down 0x0041", "Up 0x0041", "Up 0x0041 refused",
  // "Begin period 1", "End period 1", "Hide <title>", "Show <title>", "Restore <title>",
  // "Foreground <title>", "Raise <title>", "Attach <from> <to>", "Detach <from> <to>",
  // "Open <file>".
  std::vector<std::string> calls;
  std::vector<std::string> debugOutput;
  std::vector<std::uint32_t> enumerationRooms;  // the ids room offered to each enumeration
  int openHandles = 0;

  void Print(const char* text) override;
  std::int16_t KeyScan(char character) override;
  bool SendKeyEvent(std::uint16_t virtualKey, KeyDirection direction) override;
  void Sleep(std::uint32_t milliseconds) override;
  bool BeginTimerPeriod(std::uint32_t milliseconds) override;
  void EndTimerPeriod(std::uint32_t milliseconds) override;
  bool OpenFile(const char* file) override;
  WindowHandle FindWindowByTitle(const char* title) override;
  WindowHandle DesktopWindow() override;
  WindowHandle RelatedWindow(WindowHandle window, WindowRelation relation) override;
  ProcessId ProcessOfWindow(WindowHandle window) override;
  ThreadId ThreadOfWindow(WindowHandle window) override;
  void WindowTitle(WindowHandle window, CMyString& title) override;
  WindowHandle ParentWindow(WindowHandle window) override;
  bool IsVisible(WindowHandle window) override;
  bool IsMinimized(WindowHandle window) override;
  void ShowWindowAs(WindowHandle window, ShowCommand command) override;
  void BringToForeground(WindowHandle window) override;
  WindowHandle ForegroundWindow() override;
  void RaiseToTop(WindowHandle window) override;
  bool AttachInput(ThreadId from, ThreadId to, bool attach) override;
  ThreadId CurrentThread() override;
  void EnumerateWindows(WindowVisitor visitor, void* context) override;
  void DebugOutput(const char* text) override;
  bool EnumerateProcesses(ProcessId* ids, std::uint32_t room, std::uint32_t* count) override;
  ProcessHandle OpenProcessFor(ProcessAccess access, ProcessId id) override;
  bool FirstModule(ProcessHandle process, ModuleHandle* module) override;
  bool ModuleBaseName(ProcessHandle process, ModuleHandle module, CMyString& name) override;
  bool ProcessImagePath(ProcessHandle process, CMyString& path) override;
  void CloseProcess(ProcessHandle process) override;

 private:
  // Handles are 1-based indexes into windows_, above the desktop's handle.
  static constexpr std::uintptr_t kDesktop = 0x1000;
  std::size_t IndexOf(WindowHandle handle) const;
  const FakeProcess* Process(ProcessHandle handle) const;
  std::vector<FakeWindow> windows_;
  std::vector<ProcessAccess> openAccess_;  // per process index: the access it was opened with
  int sends_ = 0;
};

}  // namespace tapwise::testing
