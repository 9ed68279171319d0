// A recording double of the platform for the unit tests of Tapwise: scripted
// processes and windows, a US keyboard layout, and a log of every call that sends,
// sleeps, shows or activates, in order. Nothing really sleeps.
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
  std::string name;             // the module base name
  bool opens = true;            // OpenProcess with query and VM-read access
  bool modulesReadable = true;  // EnumProcessModules
  std::string imagePath;        // QueryFullProcessImageNameA; empty: it fails
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
  WindowHandle parent = nullptr;
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
  std::intptr_t shellResult = 42;
  int sendsBeforeFailure = -1;  // SendInput fails from this call on; -1: never
  int foregroundRefusals = 0;   // SetForegroundWindow calls that change nothing
  WindowHandle foreground = nullptr;
  ThreadId currentThread = 1;

  // The record.
  std::string output;
  std::vector<KeyboardInput> inputs;  // every record handed to SendInput
  // In order: "Sleep 20", "Down 0x0041", "Up 0x0041", "Show <title> <command>",
  // "Foreground <title>", "Raise <title>", "Attach <from> <to>", "Detach <from> <to>",
  // "Open <file>".
  std::vector<std::string> calls;
  std::vector<std::string> debugOutput;
  std::vector<std::uint32_t> enumerationSizes;  // the bytes offered to EnumProcesses
  int openHandles = 0;

  void Print(const char* text) override;
  std::int16_t KeyScan(char character) override;
  std::uint32_t SendKeyboardInput(const KeyboardInput& input) override;
  void Sleep(std::uint32_t milliseconds) override;
  std::intptr_t ShellOpen(const char* file) override;
  WindowHandle FindWindowByTitle(const char* title) override;
  WindowHandle DesktopWindow() override;
  WindowHandle RelatedWindow(WindowHandle window, WindowRelation relation) override;
  ThreadId WindowThreadAndProcess(WindowHandle window, ProcessId* processId) override;
  int WindowTitle(WindowHandle window, char* buffer, int size) override;
  WindowHandle ParentWindow(WindowHandle window) override;
  bool IsMinimized(WindowHandle window) override;
  bool ShowWindowAs(WindowHandle window, int command) override;
  bool BringToForeground(WindowHandle window) override;
  WindowHandle ForegroundWindow() override;
  bool RaiseToTop(WindowHandle window) override;
  bool AttachInput(ThreadId from, ThreadId to, bool attach) override;
  ThreadId CurrentThread() override;
  bool EnumerateWindows(WindowVisitor visitor, std::intptr_t context) override;
  void DebugOutput(const char* text) override;
  bool EnumerateProcesses(ProcessId* ids, std::uint32_t bytes,
                          std::uint32_t* bytesReturned) override;
  ProcessHandle OpenProcessFor(std::uint32_t access, ProcessId id) override;
  bool EnumerateModules(ProcessHandle process, ModuleHandle* modules, std::uint32_t bytes,
                        std::uint32_t* bytesNeeded) override;
  std::uint32_t ModuleBaseName(ProcessHandle process, ModuleHandle module, char* buffer,
                               std::uint32_t size) override;
  bool ProcessImagePath(ProcessHandle process, char* buffer, std::uint32_t* size) override;
  bool CloseProcess(ProcessHandle process) override;

 private:
  // Handles are 1-based indexes into windows_, above the desktop's handle.
  static constexpr std::uintptr_t kDesktop = 0x1000;
  std::size_t IndexOf(WindowHandle handle) const;
  const FakeProcess* Process(ProcessHandle handle) const;
  std::vector<FakeWindow> windows_;
  std::vector<std::uint32_t> openAccess_;  // per process index: the access it was opened with
};

}  // namespace tapwise::testing
