// The seam between Tapwise and the platform: console output, keyboard events, the timer,
// the shell, windows and processes, in Tapwise's own terms. RealSenderSystem does each
// with Win32 and keeps its constants, buffers and result codes to itself; unit tests put
// a recording double in its place.
#pragma once

#include <cstdint>

#include "my_string.h"

namespace tapwise {

using WindowHandle = void*;
using ProcessHandle = void*;  // a process opened for reading, see OpenProcessFor
using ModuleHandle = void*;
using ProcessId = std::uint32_t;
using ThreadId = std::uint32_t;

// Names and titles are read into this many characters, terminator included; longer
// ones come back cut.
constexpr int kNameBufferSize = 260;

enum class KeyDirection { kDown, kUp };

enum class ShowCommand {
  kHide,
  kShow,
  kRestore,  // a minimised window back to its size and place
};

enum class WindowRelation {
  kFirstChild,  // its topmost child; of the desktop, the topmost top-level window
  kNext,        // the next window below in Z order
  kOwner,       // the window that owns a top-level window, if any
};

enum class ProcessAccess {
  kReadModules,  // the module list and the modules' names
  kQueryImage,   // the path of the executable only; granted for more processes
};

// The callback of EnumerateWindows: true to go on with the next window.
using WindowVisitor = bool (*)(WindowHandle window, void* context);

class SenderSystem {
 public:
  virtual ~SenderSystem() = default;

  // Standard output.
  virtual void Print(const char* text) = 0;

  // The key that gives the character: the virtual-key code in the low byte and the
  // shift state in the high byte, or -1 when no key gives it.
  virtual std::int16_t KeyScan(char character) = 0;
  // One keyboard event for the key, by itself: true when the platform took it.
  virtual bool SendKeyEvent(std::uint16_t virtualKey, KeyDirection direction) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  // Sleep keeps to whole periods of the system's timer. Asks for a period of
  // |milliseconds|; true when granted, and then to be ended with the same value.
  virtual bool BeginTimerPeriod(std::uint32_t milliseconds) = 0;
  virtual void EndTimerPeriod(std::uint32_t milliseconds) = 0;

  // Opens the file through the shell as a double click would; true when it opened.
  virtual bool OpenFile(const char* file) = 0;

  // The top-level window with exactly this title, or null.
  virtual WindowHandle FindWindowByTitle(const char* title) = 0;
  virtual WindowHandle DesktopWindow() = 0;
  // The related window, or null.
  virtual WindowHandle RelatedWindow(WindowHandle window, WindowRelation relation) = 0;
  virtual ProcessId ProcessOfWindow(WindowHandle window) = 0;
  virtual ThreadId ThreadOfWindow(WindowHandle window) = 0;
  // The title, cut to kNameBufferSize - 1 characters; empty when there is none.
  virtual void WindowTitle(WindowHandle window, CMyString& title) = 0;
  // The parent of a child window, or the owner of a top-level pop-up; null for others.
  virtual WindowHandle ParentWindow(WindowHandle window) = 0;
  virtual bool IsVisible(WindowHandle window) = 0;
  virtual bool IsMinimized(WindowHandle window) = 0;
  virtual void ShowWindowAs(WindowHandle window, ShowCommand command) = 0;
  virtual void BringToForeground(WindowHandle window) = 0;
  virtual WindowHandle ForegroundWindow() = 0;
  // To the top of the Z order.
  virtual void RaiseToTop(WindowHandle window) = 0;
  // Joins (or parts) the input of two threads: true when done.
  virtual bool AttachInput(ThreadId from, ThreadId to, bool attach) = 0;
  virtual ThreadId CurrentThread() = 0;
  // Calls |visitor| on this thread for every top-level window, in Z order.
  virtual void EnumerateWindows(WindowVisitor visitor, void* context) = 0;
  // To the debugger, if one listens.
  virtual void DebugOutput(const char* text) = 0;

  // Fills |ids| with at most |room| ids of running processes and reports how many. A
  // full table may have cut the list short: the platform tells no total.
  virtual bool EnumerateProcesses(ProcessId* ids, std::uint32_t room, std::uint32_t* count) = 0;
  // Null when the process can't be opened for that.
  virtual ProcessHandle OpenProcessFor(ProcessAccess access, ProcessId id) = 0;
  // The process's first module, its executable.
  virtual bool FirstModule(ProcessHandle process, ModuleHandle* module) = 0;
  // The module's file name without its folder, cut like a title; |name| is unchanged
  // when it can't be read.
  virtual bool ModuleBaseName(ProcessHandle process, ModuleHandle module, CMyString& name) = 0;
  // The full path of the process's executable.
  virtual bool ProcessImagePath(ProcessHandle process, CMyString& path) = 0;
  virtual void CloseProcess(ProcessHandle process) = 0;
};

}  // namespace tapwise
