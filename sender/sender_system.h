// The seam between Tapwise and the platform: console output, keyboard input, the
// shell, windows and processes. RealSenderSystem forwards each call to the Win32 call
// of the same purpose; unit tests put a recording double in its place.
//
// The methods follow the Win32 calls one to one, so that the code above the seam
// keeps every step of its lookups, but their names differ from the Win32 names,
// several of which are macros in <windows.h>.
#pragma once

#include <cstdint>

namespace tapwise {

using WindowHandle = void*;   // HWND
using ProcessHandle = void*;  // HANDLE of an opened process
using ModuleHandle = void*;   // HMODULE
using ProcessId = std::uint32_t;
using ThreadId = std::uint32_t;

// One keyboard INPUT record as SendInput takes it, field by field.
struct KeyboardInput {
  std::uint32_t type = 0;
  std::uint16_t virtualKey = 0;
  std::uint16_t scanCode = 0;
  std::uint32_t flags = 0;
  std::uint32_t time = 0;
  std::uintptr_t extraInfo = 0;
};

// The platform's values of the constants used above the seam.
constexpr std::uint32_t kInputKeyboard = 1;       // INPUT_KEYBOARD
constexpr std::uint32_t kKeyEventKeyUp = 0x0002;  // KEYEVENTF_KEYUP
constexpr int kShowHide = 0;                      // SW_HIDE
constexpr int kShowShow = 5;                      // SW_SHOW
constexpr int kShowRestore = 9;                   // SW_RESTORE
constexpr std::uint32_t kProcessQueryInformationAndVmRead = 0x0410;
constexpr std::uint32_t kProcessQueryLimitedInformation = 0x1000;

enum class WindowRelation {
  kFirstChild,  // GW_CHILD
  kNext,        // GW_HWNDNEXT
};

// The callback of EnumerateWindows: true to go on with the next window.
using WindowVisitor = bool (*)(WindowHandle window, std::intptr_t context);

class SenderSystem {
 public:
  virtual ~SenderSystem() = default;

  // Standard output.
  virtual void Print(const char* text) = 0;

  // VkKeyScanA: the virtual-key code in the low byte and the shift state in the high
  // byte, or -1 when no key gives the character.
  virtual std::int16_t KeyScan(char character) = 0;
  // SendInput with this one record: the number of events inserted.
  virtual std::uint32_t SendKeyboardInput(const KeyboardInput& input) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;

  // ShellExecuteA(no window, "open", file, no parameters, no directory, SW_SHOW):
  // greater than 32 on success.
  virtual std::intptr_t ShellOpen(const char* file) = 0;

  // FindWindowA(no class, title).
  virtual WindowHandle FindWindowByTitle(const char* title) = 0;
  virtual WindowHandle DesktopWindow() = 0;
  virtual WindowHandle RelatedWindow(WindowHandle window, WindowRelation relation) = 0;
  // GetWindowThreadProcessId: the thread that owns the window; its process goes to
  // |processId| when that is not null.
  virtual ThreadId WindowThreadAndProcess(WindowHandle window, ProcessId* processId) = 0;
  // GetWindowTextA: the buffer always holds a terminated text on return.
  virtual int WindowTitle(WindowHandle window, char* buffer, int size) = 0;
  virtual WindowHandle ParentWindow(WindowHandle window) = 0;
  virtual bool IsMinimized(WindowHandle window) = 0;
  virtual bool ShowWindowAs(WindowHandle window, int command) = 0;
  virtual bool BringToForeground(WindowHandle window) = 0;  // SetForegroundWindow
  virtual WindowHandle ForegroundWindow() = 0;
  virtual bool RaiseToTop(WindowHandle window) = 0;  // BringWindowToTop
  virtual bool AttachInput(ThreadId from, ThreadId to, bool attach) = 0;
  virtual ThreadId CurrentThread() = 0;
  // EnumWindows: calls |visitor| on this thread for every top-level window.
  virtual bool EnumerateWindows(WindowVisitor visitor, std::intptr_t context) = 0;
  virtual void DebugOutput(const char* text) = 0;  // OutputDebugStringA

  // EnumProcesses: fills |ids| (room for |bytes| bytes) and reports the bytes used.
  virtual bool EnumerateProcesses(ProcessId* ids, std::uint32_t bytes,
                                  std::uint32_t* bytesReturned) = 0;
  // OpenProcess without handle inheritance: null when the process can't be opened.
  virtual ProcessHandle OpenProcessFor(std::uint32_t access, ProcessId id) = 0;
  // EnumProcessModules with room for |bytes| bytes of module handles.
  virtual bool EnumerateModules(ProcessHandle process, ModuleHandle* modules, std::uint32_t bytes,
                                std::uint32_t* bytesNeeded) = 0;
  // GetModuleBaseNameA: the characters copied, 0 on failure.
  virtual std::uint32_t ModuleBaseName(ProcessHandle process, ModuleHandle module, char* buffer,
                                       std::uint32_t size) = 0;
  // QueryFullProcessImageNameA (Win32 path format): on success |size| holds the length.
  virtual bool ProcessImagePath(ProcessHandle process, char* buffer, std::uint32_t* size) = 0;
  virtual bool CloseProcess(ProcessHandle process) = 0;
};

}  // namespace tapwise
