// Finding the target of the keys, bringing it to the front, and the listings of the
// running processes and the top-level windows.
#pragma once

#include <cstdint>

#include "my_list.h"
#include "my_string.h"
#include "sender_system.h"

namespace tapwise {

// Room for a module base name or a window title, terminator included.
constexpr int kNameBufferSize = 260;

// The base name of a process's executable, e.g. "notepad.exe", into |buffer|; it is
// "Unknown" when the process can't be opened or its name can't be read. True when a
// name was read.
bool GetProcessBaseName(SenderSystem& system, ProcessId processId, char* buffer, int size);

// The first running process, in the platform's order, whose base name equals |name|
// ignoring the case of A to Z; 0 when there is none.
ProcessId FindProcessByName(SenderSystem& system, const char* name);

// The first top-level window of the process in Z order, visible or not; null when
// there is none. Every title visited goes to the debugger output.
WindowHandle FindWindowOfProcess(SenderSystem& system, ProcessId processId);

// Restores a minimised window, or hides one that is not; then shows it and makes it
// the foreground window. When the platform refuses, tries a few more times with this
// thread's input attached to that of the foreground window.
void ActivateWindow(SenderSystem& system, WindowHandle window);

// The banner, the error line when |message| is not null, and each distinct base name
// of the running processes once.
void ListProcesses(SenderSystem& system, const char* message, const char* detail);

// The banner, the error line when |message| is not null, and each distinct title of
// the top-level windows once, leaving out untitled windows and those with a parent
// or owner.
void ListWindows(SenderSystem& system, const char* message, const char* detail);

// The enumeration callback of ListWindows; |context| is the SenderSystem. Always true,
// so that every window is visited.
bool ListWindowsCallback(WindowHandle window, std::intptr_t context);

// The titles seen by the current (or last) window listing.
extern CMyList<CMyString> SeenWindowTitles;

}  // namespace tapwise
