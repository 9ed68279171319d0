// The seam between Tapwise and the platform: console output, keyboard events, the timer,
// the shell, windows and processes, in Tapwise's own terms. RealSenderSystem does each
// with Win32 and keeps its constants, buffers and result codes to itself; unit tests put
// a recording double in its place. The lookups get the processes and the top-level
// windows as data and choose among them on their own.
#pragma once

#include <cstdint>

#include "my_list.h"
#include "my_string.h"

namespace tapwise {

using WindowHandle = void*;
using ProcessId = std::uint32_t;

// Names and titles are read into this many characters, terminator included; longer
// ones come back cut.
constexpr int kNameBufferSize = 260;

// The name of a process whose executable's name can't be read.
extern const char kUnknownProcessName[];

// A running process.
struct RunningProcess {
  ProcessId id = 0;
  // The base name of its executable, e.g. "notepad.exe", cut like a title;
  // kUnknownProcessName when it can't be read.
  CMyString name;

  // ---- Text that the ANSI code page can't hold ----
  bool nameInUtf8 = false;  // |name| is in UTF-8 (see SenderSystem)
};

// A top-level window.
struct TopLevelWindow {
  WindowHandle handle = nullptr;
  ProcessId process = 0;
  WindowHandle owner = nullptr;   // the window that owns it, if any
  WindowHandle parent = nullptr;  // what the platform calls its parent: the owner of a pop-up
  bool visible = false;
  bool minimized = false;
  CMyString title;  // cut to kNameBufferSize - 1 characters; empty when there is none

  // What tells a program's windows from others', cut like the title.
  CMyString windowClass;
  WindowHandle rootOwner = nullptr;  // the last of its chain of owners; itself when unowned
  // The program that the window shows: for a Store app's frame (another process's
  // window), the app's process; else |process|.
  ProcessId appProcess = 0;
  bool enabled = true;     // false while a modal dialog of its program is open
  bool responding = true;  // false while its program does not answer

  // ---- Text that the ANSI code page can't hold ----
  bool titleInUtf8 = false;  // |title| is in UTF-8 (see SenderSystem)
};

// How a process stands against Tapwise when it sends keys: Windows drops, without a
// word, the keys sent to a program of a higher integrity level, or one with UI access
// when the sender has none.
struct ProcessRights {
  enum class Read {
    kRead,      // |level| and |uiAccess| hold
    kNoLevels,  // the Windows has no integrity levels (XP)
    kDenied,    // Tapwise may not read them
    kGone,      // no such process
  };
  Read read = Read::kNoLevels;
  std::uint32_t level = 0;
  bool uiAccess = false;
};

enum class KeyDirection { kDown, kUp };

enum class ShowCommand {
  kHide,
  kShow,
  kRestore,  // a minimised window back to its size and place
};

class SenderSystem {
 public:
  virtual ~SenderSystem() = default;

  // Standard output.
  virtual void Print(const char* text) = 0;

  // The key that gives the character: the virtual-key code in the low byte and the
  // shift state in the high byte, or -1 when no key gives it.
  virtual std::int16_t KeyScan(char character) = 0;
  // One keyboard event for the key, by itself, with the key's scan code, and marked as
  // an extended key when |extended|: true when the platform took it.
  virtual bool SendKeyEvent(std::uint16_t virtualKey, bool extended, KeyDirection direction) = 0;
  // One keyboard event that types the 8-bit character as itself, for a character that
  // no key of the keyboard layout types: true when the platform took it.
  virtual bool SendCharacterEvent(char character, KeyDirection direction) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  // Sleep keeps to whole periods of the system's timer. Asks for a period of
  // |milliseconds|; true when granted, and then to be ended with the same value.
  virtual bool BeginTimerPeriod(std::uint32_t milliseconds) = 0;
  virtual void EndTimerPeriod(std::uint32_t milliseconds) = 0;

  // Opens the file through the shell as a double click would; true when it opened.
  virtual bool OpenFile(const char* file) = 0;

  // Appends the running processes to |processes| in the platform's order, every one
  // of them however many run. False when they can't be enumerated.
  virtual bool RunningProcesses(CMyList<RunningProcess>& processes) = 0;
  // Appends the top-level windows to |windows|, topmost first.
  virtual void TopLevelWindows(CMyList<TopLevelWindow>& windows) = 0;

  virtual void ShowWindowAs(WindowHandle window, ShowCommand command) = 0;
  virtual void BringToForeground(WindowHandle window) = 0;
  // The window that gets the keyboard's events; null for a moment while the front
  // changes hands.
  virtual WindowHandle ForegroundWindow() = 0;

  // What the snapshot of TopLevelWindows holds, for one window; false when there is no
  // such window (any more).
  virtual bool DescribeWindow(WindowHandle window, TopLevelWindow& facts) = 0;
  // BringToForeground with this thread's input joined to that of the window in front,
  // which lets the change happen where Windows would refuse it; the window goes to the
  // top of the Z order too.
  virtual void ForceToForeground(WindowHandle window) = 0;
  // The window of the same program that was active last among |window| and the pop-ups
  // it owns: the modal dialog that keeps a disabled window waiting.
  virtual WindowHandle LastActivePopup(WindowHandle window) = 0;
  // The console window that Tapwise runs in; null when it has none.
  virtual WindowHandle OwnConsoleWindow() = 0;
  virtual ProcessRights OwnRights() = 0;
  virtual ProcessRights RightsOf(ProcessId process) = 0;
  // A clock that counts milliseconds and wraps around: only differences count.
  virtual std::uint32_t Milliseconds() = 0;
  // To the debugger, if one listens.
  virtual void DebugOutput(const char* text) = 0;

  // ---- Text that the ANSI code page can't hold ----
  // Texts go to and come from the platform in the ANSI code page, byte for byte as its
  // 8-bit calls give and take them, wherever that holds them exactly; a text that it
  // can't hold (a character outside it, or one that it would only approximate) goes in
  // UTF-8 instead, and is marked so.

  // Standard output for a text in UTF-8: as itself on a console, else in the code page
  // as near as that comes.
  virtual void PrintUtf8(const char* text) = 0;
  // The code point of the one character that |text| is, in UTF-8 or in the code page;
  // 0 when it is no character or more than one.
  virtual std::uint32_t CharacterOf(const char* text, bool utf8) = 0;
  // One keyboard event that types a character as itself: its UTF-16 units, one or a
  // surrogate pair, in order and in one go. True when the platform took them all.
  virtual bool SendUnicodeEvent(const std::uint16_t* units, int count, KeyDirection direction) = 0;
  virtual bool OpenUtf8File(const char* file) = 0;

  // ---- The keyboard's state ----
  // Whether the key is down at this moment, whoever pressed it.
  virtual bool IsKeyDown(std::uint16_t virtualKey) = 0;
};

}  // namespace tapwise
