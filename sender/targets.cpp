#include "targets.h"

namespace tapwise {

const char kUnknownProcessName[] = "Unknown";

namespace {

// How often ActivateWindow asks again for the foreground, and the pause between.
constexpr int kForegroundRetries = 3;
constexpr std::uint32_t kForegroundRetryPause = 10;

// How long the target may take to come to the front once activated: this many looks,
// this far apart.
constexpr int kConfirmPauses = 5;
constexpr std::uint32_t kConfirmPause = 10;

// How long a moment without any window in front is waited out.
constexpr int kSettlePauses = 20;
constexpr std::uint32_t kSettlePause = 1;

// Moves the cursor over |seen| from its first element to one equal to |name|.
bool Contains(CMyList<ListedName>& seen, const CMyString& name, bool inUtf8) {
  for (seen.SetPosition(0); seen.HasCurrent(); seen.MoveNext()) {
    if (seen.GetCurrent().text == name && seen.GetCurrent().inUtf8 == inUtf8) return true;
  }
  return false;
}

void Add(CMyList<ListedName>& names, const CMyString& name, bool inUtf8) {
  ListedName listed;
  listed.text = name;
  listed.inUtf8 = inUtf8;
  names.Add(listed);
}

}  // namespace

ProcessId ChooseProcessByName(CMyList<RunningProcess>& processes, const char* name,
                              bool nameInUtf8) {
  CMyString wanted(name);
  wanted.MakeLower();
  CMyString candidate;
  for (processes.SetPosition(0); processes.HasCurrent(); processes.MoveNext()) {
    const RunningProcess& process = processes.GetCurrent();
    candidate = process.name;
    candidate.MakeLower();
    if (candidate == wanted && process.nameInUtf8 == nameInUtf8) return process.id;
  }
  return 0;
}

WindowChoice ChooseWindowOfProcess(CMyList<TopLevelWindow>& windows, ProcessId processId) {
  // A program's windows come with hidden helpers (the input-method window among
  // them) owned by its main window, and owned windows lie above their owner in Z
  // order: the first window of the process is seldom the one to bring to the front.
  WindowChoice choice;
  WindowHandle first = nullptr;
  for (windows.SetPosition(0); windows.HasCurrent(); windows.MoveNext()) {
    const TopLevelWindow& window = windows.GetCurrent();
    ++choice.visited;
    if (window.process != processId) continue;
    if (window.visible && window.owner == nullptr) {
      choice.window = window.handle;
      return choice;
    }
    if (first == nullptr) first = window.handle;
  }
  choice.window = first;
  return choice;
}

void DistinctProcessNames(CMyList<RunningProcess>& processes, CMyList<ListedName>& names) {
  for (processes.SetPosition(0); processes.HasCurrent(); processes.MoveNext()) {
    const RunningProcess& process = processes.GetCurrent();
    if (!Contains(names, process.name, process.nameInUtf8)) {
      Add(names, process.name, process.nameInUtf8);
    }
  }
}

void ListedWindowTitles(CMyList<TopLevelWindow>& windows, CMyList<ListedName>& titles) {
  CMyList<ListedName> seen;  // every title met, listed or not
  for (windows.SetPosition(0); windows.HasCurrent(); windows.MoveNext()) {
    const TopLevelWindow& window = windows.GetCurrent();
    if (Contains(seen, window.title, window.titleInUtf8)) continue;
    // Seen before the tests below: a window left out still hides later equal titles.
    Add(seen, window.title, window.titleInUtf8);
    if (window.parent != nullptr || window.title.Length() == 0) continue;
    Add(titles, window.title, window.titleInUtf8);
  }
}

ProcessId FindProcessByName(SenderSystem& system, const char* name, bool nameInUtf8) {
  CMyList<RunningProcess> processes;
  if (!system.RunningProcesses(processes)) return 0;
  return ChooseProcessByName(processes, name, nameInUtf8);
}

WindowHandle FindWindowOfProcess(SenderSystem& system, ProcessId processId) {
  CMyList<TopLevelWindow> windows;
  system.TopLevelWindows(windows);
  const WindowChoice choice = ChooseWindowOfProcess(windows, processId);
  windows.SetPosition(0);
  for (std::int32_t i = 0; i < choice.visited; ++i, windows.MoveNext()) {
    system.DebugOutput(windows.GetCurrent().title.Text());
  }
  return choice.window;
}

void ActivateWindow(SenderSystem& system, WindowHandle window) {
  system.ShowWindowAs(window,
                      system.IsMinimized(window) ? ShowCommand::kRestore : ShowCommand::kHide);
  system.ShowWindowAs(window, ShowCommand::kShow);
  system.BringToForeground(window);
  // The platform may keep the foreground with the window the user works in, and the
  // keys would go there. With this thread's input attached to that window's thread,
  // the change is allowed.
  for (int retry = 0; retry < kForegroundRetries; ++retry) {
    const WindowHandle foreground = system.ForegroundWindow();
    if (foreground == window) return;
    if (retry > 0) system.Sleep(kForegroundRetryPause);
    const ThreadId self = system.CurrentThread();
    const ThreadId owner = foreground != nullptr ? system.ThreadOfWindow(foreground) : 0;
    const bool attached = owner != 0 && owner != self && system.AttachInput(self, owner, true);
    system.BringToForeground(window);
    system.RaiseToTop(window);
    if (attached) system.AttachInput(self, owner, false);
  }
}

bool RunningProcessNames(SenderSystem& system, CMyList<ListedName>& names) {
  CMyList<RunningProcess> processes;
  if (!system.RunningProcesses(processes)) return false;
  DistinctProcessNames(processes, names);
  return true;
}

void TopLevelWindowTitles(SenderSystem& system, CMyList<ListedName>& titles) {
  CMyList<TopLevelWindow> windows;
  system.TopLevelWindows(windows);
  ListedWindowTitles(windows, titles);
}

bool TargetFront::Confirm() {
  for (int pause = 0;; ++pause) {
    if (BelongsToTarget(system_.ForegroundWindow())) return true;
    if (pause == kConfirmPauses) return false;
    system_.Sleep(kConfirmPause);
  }
}

bool TargetFront::StillInFront() {
  if (!watched_) return true;
  WindowHandle front = system_.ForegroundWindow();
  if (front != nullptr && front == lastInFront_) return true;
  for (int pause = 0; front == nullptr && pause < kSettlePauses; ++pause) {
    system_.Sleep(kSettlePause);
    front = system_.ForegroundWindow();
  }
  return BelongsToTarget(front);
}

bool TargetFront::BelongsToTarget(WindowHandle window) {
  if (!watched_) return true;
  if (window == nullptr) return false;
  if (window == lastInFront_) return true;
  if (system_.ProcessOfWindow(window) != process_) return false;
  lastInFront_ = window;
  return true;
}

}  // namespace tapwise
