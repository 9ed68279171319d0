// Finding the target of the keys and bringing it to the front; the running processes
// and the top-level windows that the listings name.
#pragma once

#include "my_list.h"
#include "my_string.h"
#include "sender_system.h"

namespace tapwise {

// The base name of a process's executable, e.g. "notepad.exe"; "Unknown" when the
// process can't be opened or its name can't be read. True when a name was read.
bool GetProcessBaseName(SenderSystem& system, ProcessId processId, CMyString& name);

// The first running process, in the platform's order, whose base name equals |name|
// ignoring the case of A to Z; 0 when there is none.
ProcessId FindProcessByName(SenderSystem& system, const char* name);

// The process's main window: its first visible window without an owner in Z order,
// else its first window of all (which may be hidden); null when it has none. Every
// title visited goes to the debugger output, the chosen window's included.
WindowHandle FindWindowOfProcess(SenderSystem& system, ProcessId processId);

// Restores a minimised window, or hides one that is not; then shows it and makes it
// the foreground window. When the platform refuses, tries a few more times with this
// thread's input attached to that of the foreground window.
void ActivateWindow(SenderSystem& system, WindowHandle window);

// Appends each distinct base name of the running processes to |names| once, in order
// of first appearance (names that differ in case are distinct). False when the
// processes can't be enumerated.
bool RunningProcessNames(SenderSystem& system, CMyList<CMyString>& names);

// Appends the titles of the top-level windows to |titles|, each title once, leaving out
// untitled windows and those with a parent or owner. A title counts from the first
// window that has it: when that one is left out, the title is left out.
void ListedWindowTitles(SenderSystem& system, CMyList<CMyString>& titles);

}  // namespace tapwise
