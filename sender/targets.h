// Finding the target of the keys, bringing it to the front and watching that it stays
// there; the running processes and the top-level windows that the listings name. The
// choices are made on the data the platform gives (pure functions); the rest asks the
// platform for that data and acts on the choice.
#pragma once

#include <cstdint>

#include "my_list.h"
#include "my_string.h"
#include "sender_system.h"

namespace tapwise {

// ---- Choices on the data ----

// The first process, in the platform's order, whose name equals |name| ignoring the
// case of A to Z; 0 when there is none. |nameInUtf8|: the name is in UTF-8 (and so
// only a name in UTF-8 can equal it).
ProcessId ChooseProcessByName(CMyList<RunningProcess>& processes, const char* name,
                              bool nameInUtf8 = false);

// The window chosen for a process, and how many windows, from the topmost, were looked
// at to choose it.
struct WindowChoice {
  WindowHandle window = nullptr;
  std::int32_t visited = 0;
};

// The process's main window: its first visible window without an owner in Z order,
// else its first window of all (which may be hidden); null when it has none.
WindowChoice ChooseWindowOfProcess(CMyList<TopLevelWindow>& windows, ProcessId processId);

// A name or title of a listing.
struct ListedName {
  CMyString text;
  bool inUtf8 = false;  // |text| is in UTF-8, as the code page can't hold it
};

// Appends each distinct name to |names| once, in order of first appearance (names that
// differ in case are distinct).
void DistinctProcessNames(CMyList<RunningProcess>& processes, CMyList<ListedName>& names);

// Appends the titles of the windows to |titles|, each title once, leaving out untitled
// windows and those with a parent or owner. A title counts from the first window that
// has it: when that one is left out, the title is left out.
void ListedWindowTitles(CMyList<TopLevelWindow>& windows, CMyList<ListedName>& titles);

// ---- Lookups and actions on the platform ----

// The first running process named |name| (see ChooseProcessByName); 0 when there is
// none or the processes can't be enumerated.
ProcessId FindProcessByName(SenderSystem& system, const char* name, bool nameInUtf8 = false);

// The process's main window (see ChooseWindowOfProcess). Every title looked at goes to
// the debugger output, the chosen window's included.
WindowHandle FindWindowOfProcess(SenderSystem& system, ProcessId processId);

// Restores a minimised window, or hides one that is not; then shows it and makes it
// the foreground window. When the platform refuses, tries a few more times with this
// thread's input attached to that of the foreground window.
void ActivateWindow(SenderSystem& system, WindowHandle window);

// Appends each distinct base name of the running processes to |names| once, in order
// of first appearance. False when the processes can't be enumerated.
bool RunningProcessNames(SenderSystem& system, CMyList<ListedName>& names);

// The titles of the top-level windows that the window listing names (see
// ListedWindowTitles).
void TopLevelWindowTitles(SenderSystem& system, CMyList<ListedName>& titles);

// Whether the keys go to the target: the window in front belongs to the target's
// process (its own window, or a dialog that it opened). Without a target, any window
// in front will do.
class TargetFront {
 public:
  // Keys may go to whatever window is in front.
  explicit TargetFront(SenderSystem& system) : system_(system) {}
  // Keys may go only to the windows of this process.
  TargetFront(SenderSystem& system, ProcessId process)
      : system_(system), watched_(true), process_(process) {}

  // After the target was activated: waits a few tens of milliseconds at most for it to
  // come to the front, as bringing a window there completes only after a moment.
  bool Confirm();
  // Before each event: true while the target is in front. Asks for the window's
  // process only when the window in front has changed, and waits out a moment without
  // any window in front, as there is while the front changes hands.
  bool StillInFront();

 private:
  bool BelongsToTarget(WindowHandle window);

  SenderSystem& system_;
  const bool watched_ = false;
  const ProcessId process_ = 0;
  WindowHandle lastInFront_ = nullptr;  // the last window in front known to be the target's
};

}  // namespace tapwise
