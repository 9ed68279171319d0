#include "targets.h"

#include "allocation.h"
#include "my_exception.h"

namespace tapwise {

namespace {

const char kUnknownName[] = "Unknown";

// How often ActivateWindow asks again for the foreground, and the pause between.
constexpr int kForegroundRetries = 3;
constexpr std::uint32_t kForegroundRetryPause = 10;

// The ids of the running processes. The table grows until every process fits: the
// platform gives no count, so a full table may have cut the list short.
class ProcessIdTable {
 public:
  ProcessIdTable() = default;
  ProcessIdTable(const ProcessIdTable&) = delete;
  ProcessIdTable& operator=(const ProcessIdTable&) = delete;
  ~ProcessIdTable() { support::ReleaseBlock(ids_); }

  bool Enumerate(SenderSystem& system) {
    for (std::uint32_t capacity = kFirstCapacity;; capacity *= 2) {
      const std::uint32_t bytes = capacity * std::uint32_t{sizeof(ProcessId)};
      support::ReleaseBlock(ids_);
      ids_ = static_cast<ProcessId*>(support::AllocateBlock(bytes));
      count_ = 0;
      if (ids_ == nullptr) {
        throw CMyExceptionMemory("ProcessIdTable", "Enumerate", static_cast<std::int32_t>(bytes));
      }
      if (!system.EnumerateProcesses(ids_, capacity, &count_)) return false;
      if (count_ < capacity || capacity >= kLastCapacity) return true;
    }
  }

  std::uint32_t Count() const { return count_; }
  ProcessId operator[](std::uint32_t index) const { return ids_[index]; }

 private:
  static constexpr std::uint32_t kFirstCapacity = 1024;
  // A bound for a platform that keeps filling any table.
  static constexpr std::uint32_t kLastCapacity = 1024 * 1024;
  ProcessId* ids_ = nullptr;
  std::uint32_t count_ = 0;
};

// Moves the cursor over |seen| from its first element to one equal to |name|.
bool Contains(CMyList<CMyString>& seen, const CMyString& name) {
  for (seen.SetPosition(0); seen.HasCurrent(); seen.MoveNext()) {
    if (seen.GetCurrent() == name) return true;
  }
  return false;
}

// The base name from the image path, for processes whose module list this process
// can't read (a 64-bit process seen from a 32-bit one, a protected process).
bool GetBaseNameFromImagePath(SenderSystem& system, ProcessId processId, CMyString& name) {
  const ProcessHandle process = system.OpenProcessFor(ProcessAccess::kQueryImage, processId);
  if (process == nullptr) return false;
  CMyString path;
  const bool read = system.ProcessImagePath(process, path);
  system.CloseProcess(process);
  if (!read) return false;
  const char* base = path.Text();
  for (const char* at = base; *at != '\0'; ++at) {
    if (*at == '\\' || *at == '/') base = at + 1;
  }
  name = base;
  return true;
}

struct WindowListing {
  SenderSystem& system;
  CMyList<CMyString>& listed;
  CMyList<CMyString> seen;  // every title met, listed or not
};

bool VisitListedWindow(WindowHandle window, void* context) {
  WindowListing& listing = *static_cast<WindowListing*>(context);
  CMyString title;
  listing.system.WindowTitle(window, title);
  if (Contains(listing.seen, title)) return true;
  // Seen before the tests below: a window left out still hides later equal titles.
  listing.seen.Add(title);
  if (listing.system.ParentWindow(window) != nullptr) return true;
  if (title.Length() == 0) return true;
  listing.listed.Add(title);
  return true;
}

}  // namespace

bool GetProcessBaseName(SenderSystem& system, ProcessId processId, CMyString& name) {
  name = kUnknownName;
  const ProcessHandle process = system.OpenProcessFor(ProcessAccess::kReadModules, processId);
  if (process != nullptr) {
    ModuleHandle executable = nullptr;
    if (system.FirstModule(process, &executable)) {
      const bool read = system.ModuleBaseName(process, executable, name);
      system.CloseProcess(process);
      return read;
    }
    system.CloseProcess(process);
  }
  return GetBaseNameFromImagePath(system, processId, name);
}

ProcessId FindProcessByName(SenderSystem& system, const char* name) {
  ProcessIdTable processes;
  if (!processes.Enumerate(system)) return 0;
  CMyString wanted(name);
  wanted.MakeLower();
  CMyString candidate;
  for (std::uint32_t i = 0; i < processes.Count(); ++i) {
    GetProcessBaseName(system, processes[i], candidate);
    candidate.MakeLower();
    if (candidate == wanted) return processes[i];
  }
  return 0;
}

WindowHandle FindWindowOfProcess(SenderSystem& system, ProcessId processId) {
  // A program's windows come with hidden helpers (the input-method window among
  // them) owned by its main window, and owned windows lie above their owner in Z
  // order: the first window of the process is seldom the one to bring to the front.
  WindowHandle first = nullptr;
  CMyString title;
  WindowHandle window = system.RelatedWindow(system.DesktopWindow(), WindowRelation::kFirstChild);
  for (; window != nullptr; window = system.RelatedWindow(window, WindowRelation::kNext)) {
    const ProcessId process = system.ProcessOfWindow(window);
    system.WindowTitle(window, title);
    system.DebugOutput(title.Text());
    if (process != processId) continue;
    if (system.IsVisible(window) &&
        system.RelatedWindow(window, WindowRelation::kOwner) == nullptr) {
      return window;
    }
    if (first == nullptr) first = window;
  }
  return first;
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

bool RunningProcessNames(SenderSystem& system, CMyList<CMyString>& names) {
  ProcessIdTable processes;
  if (!processes.Enumerate(system)) return false;
  CMyString name;
  for (std::uint32_t i = 0; i < processes.Count(); ++i) {
    GetProcessBaseName(system, processes[i], name);
    if (!Contains(names, name)) names.Add(name);
  }
  return true;
}

void ListedWindowTitles(SenderSystem& system, CMyList<CMyString>& titles) {
  WindowListing listing{system, titles, {}};
  system.EnumerateWindows(VisitListedWindow, &listing);
}

}  // namespace tapwise
