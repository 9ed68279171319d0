#include "targets.h"

namespace tapwise {

const char kUnknownProcessName[] = "Unknown";

namespace {

// How often ActivateWindow asks again for the foreground, and the pause between.
constexpr int kForegroundRetries = 3;
constexpr std::uint32_t kForegroundRetryPause = 10;

// How long the target may take to come to the front once activated, at least, however
// short the start delay; the looks come this many to the wait, this far apart at least.
constexpr std::uint32_t kLeastConfirmWait = 500;
constexpr std::uint32_t kConfirmLooks = 50;
constexpr std::uint32_t kLeastConfirmPause = 10;

// How long a moment without any window in front (or with the target disabled) is
// waited out, and the pause between looks.
constexpr std::uint32_t kSettleWait = 20;
constexpr std::uint32_t kSettlePause = 1;

// How long a target that does not respond is waited for: Windows gives up on it after
// 5 s and shows a ghost of its window in its place.
constexpr std::uint32_t kHungWait = 5000;
constexpr std::uint32_t kHungPause = 100;

// The windows that Windows shows for others: the ghost of a window that does not
// respond, and the hidden console window of a program that runs in a terminal.
const char kGhostClass[] = "Ghost";
const char kPseudoConsoleClass[] = "PseudoConsoleWindow";

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

bool EqualIgnoringCase(const CMyString& text, const char* wanted) {
  CMyString a(text);
  CMyString b(wanted);
  a.MakeLower();
  b.MakeLower();
  return a == b;
}

bool IsMainWindow(const TopLevelWindow& window) {
  return window.visible && window.owner == nullptr;
}

// The facts of the window with this handle in |windows|; null when it is none of them.
const TopLevelWindow* Find(CMyList<TopLevelWindow>& windows, WindowHandle handle) {
  for (windows.SetPosition(0); windows.HasCurrent(); windows.MoveNext()) {
    if (windows.GetCurrent().handle == handle) return &windows.GetCurrent();
  }
  return nullptr;
}

}  // namespace

bool IsShellWindow(const TopLevelWindow& window) {
  static const char* const kShellClasses[] = {"Progman", "WorkerW", "Shell_TrayWnd",
                                              "Shell_SecondaryTrayWnd"};
  for (const char* shellClass : kShellClasses) {
    if (window.windowClass == shellClass) return true;
  }
  return false;
}

WindowChoice ChooseWindowOfProcess(CMyList<TopLevelWindow>& windows, ProcessId processId,
                                   WindowHandle excluded) {
  // A program's windows come with hidden helpers (the input-method window among
  // them) owned by its main window, and owned windows lie above their owner in Z
  // order: the first window of the process is seldom the one to bring to the front.
  WindowChoice choice;
  WindowHandle first = nullptr;
  for (windows.SetPosition(0); windows.HasCurrent(); windows.MoveNext()) {
    const TopLevelWindow& window = windows.GetCurrent();
    ++choice.visited;
    if (window.appProcess != processId || window.handle == excluded || IsShellWindow(window)) {
      continue;
    }
    if (IsMainWindow(window)) {
      choice.window = window.handle;
      return choice;
    }
    if (first == nullptr) first = window.handle;
  }
  choice.window = first;
  return choice;
}

ProcessChoice ChooseProcessAndWindow(CMyList<RunningProcess>& processes,
                                     CMyList<TopLevelWindow>& windows, const char* name,
                                     bool nameInUtf8, const TopLevelWindow* ownConsole) {
  // A console window names its first client as its process: the cmd.exe of the batch
  // that started Tapwise, say.
  const ProcessId consoleProcess = ownConsole != nullptr ? ownConsole->process : 0;
  const WindowHandle consoleWindow = ownConsole != nullptr ? ownConsole->handle : nullptr;
  ProcessChoice choice;
  ProcessChoice fallback;
  for (processes.SetPosition(0); processes.HasCurrent(); processes.MoveNext()) {
    const RunningProcess& process = processes.GetCurrent();
    if (process.nameInUtf8 != nameInUtf8 || !EqualIgnoringCase(process.name, name)) continue;
    if (fallback.process == 0) fallback.process = process.id;
    if (process.id == consoleProcess) continue;
    const WindowChoice window = ChooseWindowOfProcess(windows, process.id, consoleWindow);
    if (window.window == nullptr) continue;
    const TopLevelWindow* chosen = Find(windows, window.window);
    if (IsMainWindow(*chosen)) {
      choice.process = process.id;
      choice.window = window;
      return choice;
    }
    if (fallback.window.window == nullptr) {
      fallback.process = process.id;
      fallback.window = window;
    }
  }
  return fallback;
}

const TopLevelWindow* ChooseWindowByTitle(CMyList<TopLevelWindow>& windows, const char* title,
                                          bool titleInUtf8) {
  for (windows.SetPosition(0); windows.HasCurrent(); windows.MoveNext()) {
    const TopLevelWindow& window = windows.GetCurrent();
    if (window.titleInUtf8 == titleInUtf8 && EqualIgnoringCase(window.title, title)) {
      return &window;
    }
  }
  return nullptr;
}

bool Outranks(const ProcessRights& target, const ProcessRights& own) {
  if (own.read != ProcessRights::Read::kRead) return false;
  if (target.read == ProcessRights::Read::kDenied) return true;
  if (target.read != ProcessRights::Read::kRead) return false;
  // UI access lifts a program above the others of its level.
  return target.level > own.level ||
         (target.level == own.level && target.uiAccess && !own.uiAccess);
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

Lookup LookUpProcess(SenderSystem& system, const char* name, TopLevelWindow& window,
                     bool nameInUtf8) {
  CMyList<RunningProcess> processes;
  if (!system.RunningProcesses(processes)) return Lookup::kNoProcess;
  CMyList<TopLevelWindow> windows;
  system.TopLevelWindows(windows);
  // The console's facts are asked for themselves, not looked up in the list: Wine
  // lists a console window a moment after its host has made it, and without them the
  // host's other windows would be taken for the program's.
  TopLevelWindow console;
  const bool inConsole = system.DescribeWindow(system.OwnConsoleWindow(), console);
  const ProcessChoice choice =
      ChooseProcessAndWindow(processes, windows, name, nameInUtf8, inConsole ? &console : nullptr);
  if (choice.process == 0) return Lookup::kNoProcess;
  // Without a window, every window was looked at.
  const std::int32_t visited =
      choice.window.window != nullptr ? choice.window.visited : windows.Count();
  windows.SetPosition(0);
  for (std::int32_t i = 0; i < visited; ++i, windows.MoveNext()) {
    system.DebugOutput(windows.GetCurrent().title.Text());
  }
  const TopLevelWindow* chosen = Find(windows, choice.window.window);
  if (chosen == nullptr) return Lookup::kNoWindow;
  if (!chosen->visible && chosen->windowClass == kPseudoConsoleClass) return Lookup::kHiddenConsole;
  window = *chosen;
  return Lookup::kFound;
}

Lookup LookUpWindow(SenderSystem& system, const char* title, TopLevelWindow& window,
                    bool titleInUtf8) {
  CMyList<TopLevelWindow> windows;
  system.TopLevelWindows(windows);
  const TopLevelWindow* chosen = ChooseWindowByTitle(windows, title, titleInUtf8);
  if (chosen == nullptr) return Lookup::kNoWindow;
  window = *chosen;
  return Lookup::kFound;
}

bool OutranksTapwise(SenderSystem& system, const TopLevelWindow& window) {
  const ProcessRights own = system.OwnRights();
  // Without levels of its own, Tapwise asks nothing more.
  if (own.read != ProcessRights::Read::kRead) return false;
  return Outranks(system.RightsOf(window.appProcess), own);
}

void ActivateWindow(SenderSystem& system, const TopLevelWindow& target) {
  WindowHandle window = target.handle;
  bool minimized = target.minimized;
  TopLevelWindow popup;
  if (!target.enabled) {
    const WindowHandle dialog = system.LastActivePopup(window);
    if (dialog != nullptr && dialog != window && system.DescribeWindow(dialog, popup)) {
      window = dialog;
      minimized = popup.minimized;
    }
  }
  system.ShowWindowAs(window, minimized ? ShowCommand::kRestore : ShowCommand::kHide);
  system.ShowWindowAs(window, ShowCommand::kShow);
  system.BringToForeground(window);
  // The platform may keep the foreground with the window the user works in, and the
  // keys would go there.
  for (int retry = 0; retry < kForegroundRetries; ++retry) {
    if (system.ForegroundWindow() == window) return;
    if (retry > 0) system.Sleep(kForegroundRetryPause);
    system.ForceToForeground(window);
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

FrontState TargetFront::Confirm(std::int32_t startDelay) {
  if (!watched_) return FrontState::kInFront;
  const std::uint32_t delay = startDelay > 0 ? static_cast<std::uint32_t>(startDelay) : 0;
  const std::uint32_t limit = delay > kLeastConfirmWait ? delay : kLeastConfirmWait;
  const std::uint32_t pause = limit / kConfirmLooks;
  return Await(system_.ForegroundWindow(), activatedAt_, limit,
               pause > kLeastConfirmPause ? pause : kLeastConfirmPause, true);
}

std::int32_t TargetFront::StartDelayLeft(std::int32_t startDelay) {
  if (!watched_ || startDelay <= 0) return startDelay;
  const std::uint32_t waited = system_.Milliseconds() - activatedAt_;
  return waited >= static_cast<std::uint32_t>(startDelay)
             ? 0
             : startDelay - static_cast<std::int32_t>(waited);
}

FrontState TargetFront::StillInFront() {
  if (!watched_) return FrontState::kInFront;
  const WindowHandle front = system_.ForegroundWindow();
  if (front != nullptr && front == lastInFront_) return FrontState::kInFront;
  return Await(front, system_.Milliseconds(), kSettleWait, kSettlePause, false);
}

FrontState TargetFront::Await(WindowHandle front, std::uint32_t since, std::uint32_t limit,
                              std::uint32_t pause, bool patient) {
  for (;; front = system_.ForegroundWindow()) {
    const Look look = LookAt(front);
    if (look == Look::kTarget) return FrontState::kInFront;
    if (look == Look::kOther && !patient) return FrontState::kLost;
    const bool hung = look == Look::kHung;
    const std::uint32_t waited = system_.Milliseconds() - since;
    if (waited >= (hung && limit < kHungWait ? kHungWait : limit)) {
      return hung ? FrontState::kHung : FrontState::kLost;
    }
    system_.Sleep(hung ? kHungPause : pause);
  }
}

TargetFront::Look TargetFront::LookAt(WindowHandle front) {
  TopLevelWindow facts;
  if (front == nullptr || !system_.DescribeWindow(front, facts)) return Look::kNone;
  if (facts.windowClass == kGhostClass) {
    // Windows shows it for a window that does not respond: is that the target?
    TopLevelWindow target;
    return system_.DescribeWindow(window_, target) && !target.responding ? Look::kHung
                                                                         : Look::kOther;
  }
  if (!InTree(facts)) return Look::kOther;
  if (!facts.responding) return Look::kHung;
  // A window that a modal dialog disables takes no keys; the dialog comes to the front
  // next.
  if (!facts.enabled) return Look::kNone;
  lastInFront_ = front;
  return Look::kTarget;
}

bool TargetFront::InTree(const TopLevelWindow& window) {
  if (IsShellWindow(window)) return false;
  if (window.handle == window_ || window.appProcess == process_ || window.rootOwner == window_) {
    return true;
  }
  // Owned by a window of the target's program, such as a printer driver's dialog for it.
  TopLevelWindow root;
  return window.rootOwner != window.handle && system_.DescribeWindow(window.rootOwner, root) &&
         !IsShellWindow(root) && root.appProcess == process_;
}

}  // namespace tapwise
