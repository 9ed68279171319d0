#include <windows.h>
// After windows.h:
#include <mmsystem.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <exception>

#include "allocation.h"
#include "my_exception.h"
#include "real_sender_system.h"

namespace tapwise {

static_assert(sizeof(ProcessId) == sizeof(DWORD), "process ids are DWORDs");

namespace {

HWND AsWindow(WindowHandle window) { return static_cast<HWND>(window); }

// Closes a kernel handle when it goes out of scope.
class HandleCloser {
 public:
  explicit HandleCloser(HANDLE handle) : handle_(handle) {}
  ~HandleCloser() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  HandleCloser(const HandleCloser&) = delete;
  HandleCloser& operator=(const HandleCloser&) = delete;

 private:
  const HANDLE handle_;
};

// The module's file name without its folder, cut like a title; |name| is unchanged
// when it can't be read.
bool ReadModuleBaseName(HANDLE process, HMODULE module, CMyString& name) {
  char buffer[kNameBufferSize];
  const DWORD size = sizeof(buffer);
  const DWORD length = GetModuleBaseNameA(process, module, buffer, size);
  if (length == 0) return false;
  // A name that did not fit may come back without its terminator.
  buffer[length < size ? length : size - 1] = '\0';
  name = buffer;
  return true;
}

// QueryFullProcessImageNameA came with Vista and the 32-bit program must start on XP, so
// it is looked up at run time. Without it the module list alone names the processes: on
// a 32-bit XP every process that can be read; a 64-bit XP leaves its 64-bit ones unnamed.
using QueryImageName = BOOL(WINAPI*)(HANDLE process, DWORD flags, LPSTR name, PDWORD size);

QueryImageName QueryFullProcessImageName() {
  static const QueryImageName query = reinterpret_cast<QueryImageName>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA")));
  return query;
}

// The base name from the path of the process's image, which can be read for more
// processes than their modules.
bool ReadImageBaseName(DWORD processId, CMyString& name) {
  const QueryImageName query = QueryFullProcessImageName();
  if (query == nullptr) return false;
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process == nullptr) return false;
  HandleCloser closer(process);
  char path[kNameBufferSize * 2];
  DWORD length = sizeof(path);
  if (!query(process, 0, path, &length) || length >= sizeof(path)) return false;
  path[length] = '\0';
  const char* base = path;
  for (const char* at = path; *at != '\0'; ++at) {
    if (*at == '\\' || *at == '/') base = at + 1;
  }
  name = base;
  return true;
}

// A Store app's window lives, while shown, as a child of a frame that another process
// owns.
const char kAppFrameClass[] = "ApplicationFrameWindow";
const char kAppWindowClass[] = "Windows.UI.Core.CoreWindow";

// Owners are chained a few deep; the bound keeps a window that changes meanwhile from
// holding the walk.
constexpr int kMaxOwnerDepth = 64;

void ReadWindowFacts(HWND handle, TopLevelWindow& window) {
  window.handle = handle;
  DWORD process = 0;
  GetWindowThreadProcessId(handle, &process);
  window.process = process;
  window.owner = GetWindow(handle, GW_OWNER);
  window.parent = GetParent(handle);
  window.visible = IsWindowVisible(handle) != FALSE;
  window.minimized = IsIconic(handle) != FALSE;
  char text[kNameBufferSize];
  text[0] = '\0';
  GetWindowTextA(handle, text, kNameBufferSize);
  window.title = text;
  text[0] = '\0';
  GetClassNameA(handle, text, kNameBufferSize);
  window.windowClass = text;
  // Along the owners themselves: GetAncestor's root owner follows GetParent, which
  // names the owner of a pop-up only, and stops at an owned window that is none.
  HWND rootOwner = handle;
  for (int depth = 0; depth < kMaxOwnerDepth; ++depth) {
    const HWND owner = GetWindow(rootOwner, GW_OWNER);
    if (owner == nullptr) break;
    rootOwner = owner;
  }
  window.rootOwner = rootOwner;
  window.appProcess = process;
  if (window.windowClass == kAppFrameClass) {
    const HWND app = FindWindowExA(handle, nullptr, kAppWindowClass, nullptr);
    DWORD appProcess = 0;
    if (app != nullptr && GetWindowThreadProcessId(app, &appProcess) != 0) {
      window.appProcess = appProcess;
    }
  }
  window.enabled = IsWindowEnabled(handle) != FALSE;
  window.responding = IsHungAppWindow(handle) == FALSE;
}

// The integrity level (the last part of the token's label) and the UI-access flag.
// GetTokenInformation came with XP, its classes for these with Vista: on XP it refuses
// them, and then there are no levels.
ProcessRights ReadTokenRights(HANDLE process) {
  ProcessRights rights;
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) {
    rights.read = GetLastError() == ERROR_ACCESS_DENIED ? ProcessRights::Read::kDenied
                                                        : ProcessRights::Read::kGone;
    return rights;
  }
  HandleCloser closer(token);
  // A label: the structure, then the SID it points into.
  DWORD label[64];
  DWORD length = 0;
  if (!GetTokenInformation(token, TokenIntegrityLevel, label, sizeof(label), &length)) {
    rights.read = GetLastError() == ERROR_ACCESS_DENIED ? ProcessRights::Read::kDenied
                                                        : ProcessRights::Read::kNoLevels;
    return rights;
  }
  const PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(label)->Label.Sid;
  const UCHAR parts = *GetSidSubAuthorityCount(sid);
  rights.level = parts > 0 ? *GetSidSubAuthority(sid, parts - 1u) : 0;
  DWORD uiAccess = 0;
  rights.uiAccess =
      GetTokenInformation(token, TokenUIAccess, &uiAccess, sizeof(uiAccess), &length) &&
      uiAccess != 0;
  rights.read = ProcessRights::Read::kRead;
  return rights;
}

struct WindowSnapshot {
  CMyList<TopLevelWindow>& windows;
  // A failure while adding a window, raised again once the enumeration is over: an
  // exception must not pass through the platform's own frames.
  std::exception_ptr failure;
};

BOOL CALLBACK AddTopLevelWindow(HWND handle, LPARAM snapshot) try {
  TopLevelWindow window;
  ReadWindowFacts(handle, window);
  reinterpret_cast<WindowSnapshot*>(snapshot)->windows.Add(window);
  return TRUE;
} catch (...) {
  reinterpret_cast<WindowSnapshot*>(snapshot)->failure = std::current_exception();
  return FALSE;
}

}  // namespace

void RealSenderSystem::Print(const char* text) { std::fputs(text, stdout); }

std::int16_t RealSenderSystem::KeyScan(char character) { return VkKeyScanA(character); }

bool RealSenderSystem::SendKeyEvent(std::uint16_t virtualKey, KeyDirection direction) {
  // Nothing but the key and its direction: no scan code, time or extended-key flag.
  INPUT record;
  ZeroMemory(&record, sizeof(record));
  record.type = INPUT_KEYBOARD;
  record.ki.wVk = virtualKey;
  record.ki.dwFlags = direction == KeyDirection::kUp ? KEYEVENTF_KEYUP : 0;
  return SendInput(1, &record, sizeof(INPUT)) == 1;
}

bool RealSenderSystem::SendCharacterEvent(char character, KeyDirection direction) {
  // The character in the ANSI code page, as the command line gave it, to UTF-16.
  WCHAR unit = 0;
  if (MultiByteToWideChar(CP_ACP, 0, &character, 1, &unit, 1) != 1) return false;
  INPUT record;
  ZeroMemory(&record, sizeof(record));
  record.type = INPUT_KEYBOARD;
  record.ki.wScan = unit;
  record.ki.dwFlags = KEYEVENTF_UNICODE | (direction == KeyDirection::kUp ? KEYEVENTF_KEYUP : 0);
  return SendInput(1, &record, sizeof(INPUT)) == 1;
}

void RealSenderSystem::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

bool RealSenderSystem::BeginTimerPeriod(std::uint32_t milliseconds) {
  return timeBeginPeriod(milliseconds) == TIMERR_NOERROR;
}

void RealSenderSystem::EndTimerPeriod(std::uint32_t milliseconds) { timeEndPeriod(milliseconds); }

bool RealSenderSystem::OpenFile(const char* file) {
  // The started program shares the console; what was printed comes first.
  std::fflush(stdout);
  const HINSTANCE result = ShellExecuteA(nullptr, "open", file, nullptr, nullptr, SW_SHOW);
  // A value of 32 or less is an error code.
  return reinterpret_cast<std::intptr_t>(result) > 32;
}

bool RealSenderSystem::RunningProcesses(CMyList<RunningProcess>& processes) {
  ProcessIdTable ids;
  if (!ids.Enumerate()) return false;
  RunningProcess process;
  for (std::uint32_t i = 0; i < ids.Count(); ++i) {
    process.id = ids[i];
    ReadProcessName(process.id, process.name);
    processes.Add(process);
  }
  return true;
}

void RealSenderSystem::TopLevelWindows(CMyList<TopLevelWindow>& windows) {
  WindowSnapshot snapshot{windows, nullptr};
  EnumWindows(AddTopLevelWindow, reinterpret_cast<LPARAM>(&snapshot));
  if (snapshot.failure) std::rethrow_exception(snapshot.failure);
}

void RealSenderSystem::ShowWindowAs(WindowHandle window, ShowCommand command) {
  int show = SW_SHOW;
  if (command == ShowCommand::kHide) show = SW_HIDE;
  if (command == ShowCommand::kRestore) show = SW_RESTORE;
  ShowWindow(AsWindow(window), show);
}

void RealSenderSystem::BringToForeground(WindowHandle window) {
  SetForegroundWindow(AsWindow(window));
}

WindowHandle RealSenderSystem::ForegroundWindow() { return GetForegroundWindow(); }

bool RealSenderSystem::DescribeWindow(WindowHandle window, TopLevelWindow& facts) {
  if (window == nullptr || !IsWindow(AsWindow(window))) return false;
  ReadWindowFacts(AsWindow(window), facts);
  return true;
}

void RealSenderSystem::ForceToForeground(WindowHandle window) {
  // Windows lets the thread whose input the window in front has change the front.
  const HWND front = GetForegroundWindow();
  const DWORD self = GetCurrentThreadId();
  const DWORD owner = front != nullptr ? GetWindowThreadProcessId(front, nullptr) : 0;
  const bool attached = owner != 0 && owner != self && AttachThreadInput(self, owner, TRUE);
  SetForegroundWindow(AsWindow(window));
  BringWindowToTop(AsWindow(window));
  if (attached) AttachThreadInput(self, owner, FALSE);
}

WindowHandle RealSenderSystem::LastActivePopup(WindowHandle window) {
  return GetLastActivePopup(AsWindow(window));
}

WindowHandle RealSenderSystem::OwnConsoleWindow() { return GetConsoleWindow(); }

ProcessRights RealSenderSystem::OwnRights() { return ReadTokenRights(GetCurrentProcess()); }

ProcessRights RealSenderSystem::RightsOf(ProcessId processId) {
  // The least right that reads a token; it came with Vista, as the levels did.
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process == nullptr) {
    ProcessRights rights;
    rights.read = GetLastError() == ERROR_ACCESS_DENIED ? ProcessRights::Read::kDenied
                                                        : ProcessRights::Read::kGone;
    return rights;
  }
  HandleCloser closer(process);
  return ReadTokenRights(process);
}

std::uint32_t RealSenderSystem::Milliseconds() { return timeGetTime(); }

void RealSenderSystem::DebugOutput(const char* text) { OutputDebugStringA(text); }

bool EnumerateProcessIds(ProcessId* ids, std::uint32_t room, std::uint32_t* count) {
  const DWORD bytes = room * DWORD{sizeof(DWORD)};
  DWORD returned = 0;
  if (!EnumProcesses(reinterpret_cast<DWORD*>(ids), bytes, &returned)) return false;
  *count = (returned < bytes ? returned : bytes) / DWORD{sizeof(DWORD)};
  return true;
}

ProcessIdTable::~ProcessIdTable() { support::ReleaseBlock(ids_); }

bool ProcessIdTable::Enumerate(ProcessIdEnumerator enumerate) {
  for (std::uint32_t capacity = kFirstCapacity;; capacity *= 2) {
    const std::uint32_t bytes = capacity * std::uint32_t{sizeof(ProcessId)};
    support::ReleaseBlock(ids_);
    ids_ = static_cast<ProcessId*>(support::AllocateBlock(bytes));
    count_ = 0;
    if (ids_ == nullptr) {
      throw CMyExceptionMemory("ProcessIdTable", "Enumerate", static_cast<std::int32_t>(bytes));
    }
    if (!enumerate(ids_, capacity, &count_)) return false;
    if (count_ < capacity || capacity >= kLastCapacity) return true;
  }
}

bool ReadProcessName(ProcessId processId, CMyString& name) {
  name = kUnknownProcessName;
  const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
  if (process != nullptr) {
    HandleCloser closer(process);
    // Only the first module is asked for: the executable.
    HMODULE executable = nullptr;
    DWORD needed = 0;
    if (EnumProcessModules(process, &executable, sizeof(executable), &needed)) {
      return ReadModuleBaseName(process, executable, name);
    }
  }
  return ReadImageBaseName(processId, name);
}

}  // namespace tapwise
