#include "targets.h"

#include <cstring>

#include "allocation.h"
#include "my_exception.h"
#include "tapwise.h"

namespace tapwise {

CMyList<CMyString> SeenWindowTitles;

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
      std::uint32_t bytesReturned = 0;
      if (!system.EnumerateProcesses(ids_, bytes, &bytesReturned)) return false;
      count_ = (bytesReturned < bytes ? bytesReturned : bytes) / std::uint32_t{sizeof(ProcessId)};
      if (bytesReturned < bytes || capacity >= kLastCapacity) return true;
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
bool Contains(CMyList<CMyString>& seen, const char* name) {
  for (seen.SetPosition(0); seen.HasCurrent(); seen.MoveNext()) {
    if (seen.GetCurrent() == name) return true;
  }
  return false;
}

// One line of a listing: * "name".
void PrintListed(SenderSystem& system, const char* name) {
  system.Print("* \"");
  system.Print(name);
  system.Print("\"\n");
}

void CopyName(const char* name, char* buffer, int size) {
  std::strncpy(buffer, name, static_cast<std::size_t>(size) - 1);
  buffer[size - 1] = '\0';
}

// The base name from the image path, for processes whose module list this process
// can't read (a 64-bit process seen from a 32-bit one, a protected process).
bool GetBaseNameFromImagePath(SenderSystem& system, ProcessId processId, char* buffer, int size) {
  const ProcessHandle process = system.OpenProcessFor(kProcessQueryLimitedInformation, processId);
  if (process == nullptr) return false;
  char path[kNameBufferSize * 2];
  std::uint32_t length = sizeof(path);
  const bool read = system.ProcessImagePath(process, path, &length) && length < sizeof(path);
  system.CloseProcess(process);
  if (!read) return false;
  path[length] = '\0';
  const char* base = path;
  for (const char* at = path; *at != '\0'; ++at) {
    if (*at == '\\' || *at == '/') base = at + 1;
  }
  CopyName(base, buffer, size);
  return true;
}

}  // namespace

bool GetProcessBaseName(SenderSystem& system, ProcessId processId, char* buffer, int size) {
  CopyName(kUnknownName, buffer, size);
  const ProcessHandle process = system.OpenProcessFor(kProcessQueryInformationAndVmRead, processId);
  if (process != nullptr) {
    // The first module is the executable.
    ModuleHandle module = nullptr;
    std::uint32_t bytesNeeded = 0;
    if (system.EnumerateModules(process, &module, sizeof(module), &bytesNeeded)) {
      system.ModuleBaseName(process, module, buffer, static_cast<std::uint32_t>(size));
      system.CloseProcess(process);
      return true;
    }
    system.CloseProcess(process);
  }
  return GetBaseNameFromImagePath(system, processId, buffer, size);
}

ProcessId FindProcessByName(SenderSystem& system, const char* name) {
  ProcessIdTable processes;
  if (!processes.Enumerate(system)) return 0;
  CMyString wanted(name);
  wanted.MakeLower();
  char buffer[kNameBufferSize];
  for (std::uint32_t i = 0; i < processes.Count(); ++i) {
    GetProcessBaseName(system, processes[i], buffer, kNameBufferSize);
    CMyString candidate(buffer);
    candidate.MakeLower();
    if (candidate == wanted) return processes[i];
  }
  return 0;
}

WindowHandle FindWindowOfProcess(SenderSystem& system, ProcessId processId) {
  char title[kNameBufferSize];
  WindowHandle window = system.RelatedWindow(system.DesktopWindow(), WindowRelation::kFirstChild);
  while (window != nullptr) {
    ProcessId owner = 0;
    system.WindowThreadAndProcess(window, &owner);
    system.WindowTitle(window, title, kNameBufferSize);
    system.DebugOutput(title);
    if (owner == processId) return window;
    window = system.RelatedWindow(window, WindowRelation::kNext);
  }
  return nullptr;
}

void ActivateWindow(SenderSystem& system, WindowHandle window) {
  system.ShowWindowAs(window, system.IsMinimized(window) ? kShowRestore : kShowHide);
  system.ShowWindowAs(window, kShowShow);
  system.BringToForeground(window);
  // The platform may keep the foreground with the window the user works in, and the
  // keys would go there. With this thread's input attached to that window's thread,
  // the change is allowed.
  for (int retry = 0; retry < kForegroundRetries; ++retry) {
    const WindowHandle foreground = system.ForegroundWindow();
    if (foreground == window) return;
    if (retry > 0) system.Sleep(kForegroundRetryPause);
    const ThreadId self = system.CurrentThread();
    const ThreadId owner =
        foreground != nullptr ? system.WindowThreadAndProcess(foreground, nullptr) : 0;
    const bool attached = owner != 0 && owner != self && system.AttachInput(self, owner, true);
    system.BringToForeground(window);
    system.RaiseToTop(window);
    if (attached) system.AttachInput(self, owner, false);
  }
}

void ListProcesses(SenderSystem& system, const char* message, const char* detail) {
  PrintBanner(system);
  PrintErrorLine(system, message, detail);
  system.Print("List of current process:\n");
  ProcessIdTable processes;
  if (!processes.Enumerate(system)) return;
  CMyList<CMyString> seen;
  char name[kNameBufferSize];
  for (std::uint32_t i = 0; i < processes.Count(); ++i) {
    GetProcessBaseName(system, processes[i], name, kNameBufferSize);
    if (Contains(seen, name)) continue;
    seen.Add(CMyString(name));
    PrintListed(system, name);
  }
  seen.RemoveAll();
}

void ListWindows(SenderSystem& system, const char* message, const char* detail) {
  PrintBanner(system);
  PrintErrorLine(system, message, detail);
  system.Print("List of current windows:\n");
  SeenWindowTitles.RemoveAll();
  system.EnumerateWindows(ListWindowsCallback, reinterpret_cast<std::intptr_t>(&system));
}

bool ListWindowsCallback(WindowHandle window, std::intptr_t context) {
  SenderSystem& system = *reinterpret_cast<SenderSystem*>(context);
  char title[kNameBufferSize];
  system.WindowTitle(window, title, kNameBufferSize);
  if (Contains(SeenWindowTitles, title)) return true;
  // Seen before the tests below: a window left out still hides later equal titles.
  SeenWindowTitles.Add(CMyString(title));
  if (system.ParentWindow(window) != nullptr) return true;
  if (title[0] == '\0') return true;
  PrintListed(system, title);
  return true;
}

}  // namespace tapwise
