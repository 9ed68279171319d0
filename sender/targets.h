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

// The desktop and the taskbar: they belong to explorer.exe, but no script means them.
bool IsShellWindow(const TopLevelWindow& window);

// The window chosen for a process, and how many windows, from the topmost, were looked
// at to choose it.
struct WindowChoice {
  WindowHandle window = nullptr;
  std::int32_t visited = 0;
};

// The process's main window: its first visible window without an owner in Z order,
// else its first window of all (which may be hidden); null when it has none. A Store
// app's frame counts as its app's window; the desktop, the taskbar and |excluded| (the
// console Tapwise runs in) count for nobody.
WindowChoice ChooseWindowOfProcess(CMyList<TopLevelWindow>& windows, ProcessId processId,
                                   WindowHandle excluded = nullptr);

// What "-process" finds: a process and its window.
struct ProcessChoice {
  ProcessId process = 0;  // 0: no process has the name
  WindowChoice window;
};

// Among the processes whose name equals |name| ignoring the case of A to Z, the first
// with a main window, else the first of all; never the one that the console Tapwise
// runs in, |ownConsole| (null: none), is shown for (its keys would go to Tapwise's own
// console). |nameInUtf8|: the name is in UTF-8, and only a name in UTF-8 can equal it.
ProcessChoice ChooseProcessAndWindow(CMyList<RunningProcess>& processes,
                                     CMyList<TopLevelWindow>& windows, const char* name,
                                     bool nameInUtf8, const TopLevelWindow* ownConsole);

// The first window, topmost first, whose title equals |title| ignoring the case of A to
// Z, as Windows finds a window by its title; null when there is none. |titleInUtf8| as
// for a process's name.
const TopLevelWindow* ChooseWindowByTitle(CMyList<TopLevelWindow>& windows, const char* title,
                                          bool titleInUtf8);

// Whether Windows would drop the keys that Tapwise sends to a process with these
// rights. A process whose rights Tapwise may not read is taken to outrank it; without
// integrity levels (XP) nothing does.
bool Outranks(const ProcessRights& target, const ProcessRights& own);

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

// How the lookup of a target ended.
enum class Lookup {
  kFound,
  kNoProcess,      // no process has the name
  kNoWindow,       // the process has no window that could take keys
  kHiddenConsole,  // the process's window is the hidden console of a terminal
};

// The process named |name| and its main window (see ChooseProcessAndWindow); its facts
// go to |window| when found. Every title looked at goes to the debugger output, the
// chosen window's included.
Lookup LookUpProcess(SenderSystem& system, const char* name, TopLevelWindow& window,
                     bool nameInUtf8 = false);

// The window titled |title| (see ChooseWindowByTitle): its facts go to |window|.
Lookup LookUpWindow(SenderSystem& system, const char* title, TopLevelWindow& window,
                    bool titleInUtf8 = false);

// Whether Windows would drop the keys sent to the program of |window|.
bool OutranksTapwise(SenderSystem& system, const TopLevelWindow& window);

// Restores a minimised window, or hides one that is not; then shows it and makes it
// the foreground window. When the platform refuses, tries a few more times with this
// thread's input attached to that of the foreground window. A window that a modal
// dialog of its own disables can take no keys: the dialog is activated instead, as the
// taskbar does.
void ActivateWindow(SenderSystem& system, const TopLevelWindow& window);

// Appends each distinct base name of the running processes to |names| once, in order
// of first appearance. False when the processes can't be enumerated.
bool RunningProcessNames(SenderSystem& system, CMyList<ListedName>& names);

// The titles of the top-level windows that the window listing names (see
// ListedWindowTitles).
void TopLevelWindowTitles(SenderSystem& system, CMyList<ListedName>& titles);

// Where the target stands when the keys are to go.
enum class FrontState {
  kInFront,
  kLost,  // another window is in front
  kHung,  // the target does not respond, for longer than it is waited for
};

// Whether the keys go to the target. The target is a window tree: the keys may go to
// the window brought to the front, to a window that it owns however deep (a dialog,
// also one that another process shows for it, such as a printer driver's), and to any
// other top-level window of its program, but never to the desktop or the taskbar.
// Without a target, any window in front will do.
class TargetFront {
 public:
  // Keys may go to whatever window is in front.
  explicit TargetFront(SenderSystem& system) : system_(system) {}
  // Keys may go only to the tree of |window|, whose program is |process|, which was
  // brought to the front when the clock read |activatedAt|.
  TargetFront(SenderSystem& system, WindowHandle window, ProcessId process,
              std::uint32_t activatedAt)
      : system_(system),
        watched_(true),
        window_(window),
        process_(process),
        activatedAt_(activatedAt) {}

  // After the target was activated: waits for it to come to the front, as bringing a
  // window there completes only after a moment, for as long as the start delay but
  // half a second at least, and longer for a target that does not respond.
  FrontState Confirm(std::int32_t startDelay);
  // What is left of the start delay, which counts from the activation: the first key
  // goes no earlier. The whole delay without a target.
  std::int32_t StartDelayLeft(std::int32_t startDelay);
  // Before each event: whether the target is in front. Looks at the window in front
  // afresh only when it has changed; waits out a moment without any window in front or
  // with the target's window disabled, as while the front changes hands, and a few
  // seconds for a target that does not respond.
  FrontState StillInFront();

 private:
  enum class Look { kTarget, kOther, kNone, kHung };
  Look LookAt(WindowHandle front);
  bool InTree(const TopLevelWindow& window);
  // Looks until the target is in front, |front| first, for |limit| ms from |since|
  // (longer while it does not respond), |pause| ms apart; another window in front ends
  // it at once unless |patient|.
  FrontState Await(WindowHandle front, std::uint32_t since, std::uint32_t limit,
                   std::uint32_t pause, bool patient);

  SenderSystem& system_;
  const bool watched_ = false;
  const WindowHandle window_ = nullptr;
  const ProcessId process_ = 0;
  const std::uint32_t activatedAt_ = 0;
  WindowHandle lastInFront_ = nullptr;  // the last window in front known to be the target's
};

}  // namespace tapwise
