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
  char path[kNameBufferSize * 2];
  DWORD length = sizeof(path);
  const bool read = query(process, 0, path, &length) && length < sizeof(path);
  CloseHandle(process);
  if (!read) return false;
  path[length] = '\0';
  const char* base = path;
  for (const char* at = path; *at != '\0'; ++at) {
    if (*at == '\\' || *at == '/') base = at + 1;
  }
  name = base;
  return true;
}

struct WindowSnapshot {
  CMyList<TopLevelWindow>& windows;
  // A failure while adding a window, raised again once the enumeration is over: an
  // exception must not pass through the platform's own frames.
  std::exception_ptr failure;
};

BOOL CALLBACK AddTopLevelWindow(HWND handle, LPARAM snapshot) try {
  TopLevelWindow window;
  window.handle = handle;
  DWORD process = 0;
  GetWindowThreadProcessId(handle, &process);
  window.process = process;
  window.owner = GetWindow(handle, GW_OWNER);
  window.parent = GetParent(handle);
  window.visible = IsWindowVisible(handle) != FALSE;
  window.minimized = IsIconic(handle) != FALSE;
  char title[kNameBufferSize];
  title[0] = '\0';
  GetWindowTextA(handle, title, kNameBufferSize);
  window.title = title;
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

WindowHandle RealSenderSystem::FindWindowByTitle(const char* title) {
  return FindWindowA(nullptr, title);
}

ProcessId RealSenderSystem::ProcessOfWindow(WindowHandle window) {
  DWORD process = 0;
  GetWindowThreadProcessId(AsWindow(window), &process);
  return process;
}

ThreadId RealSenderSystem::ThreadOfWindow(WindowHandle window) {
  return GetWindowThreadProcessId(AsWindow(window), nullptr);
}

bool RealSenderSystem::IsMinimized(WindowHandle window) {
  return IsIconic(AsWindow(window)) != FALSE;
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

void RealSenderSystem::RaiseToTop(WindowHandle window) { BringWindowToTop(AsWindow(window)); }

bool RealSenderSystem::AttachInput(ThreadId from, ThreadId to, bool attach) {
  return AttachThreadInput(from, to, attach ? TRUE : FALSE) != FALSE;
}

ThreadId RealSenderSystem::CurrentThread() { return GetCurrentThreadId(); }

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
    // Only the first module is asked for: the executable.
    HMODULE executable = nullptr;
    DWORD needed = 0;
    if (EnumProcessModules(process, &executable, sizeof(executable), &needed)) {
      const bool read = ReadModuleBaseName(process, executable, name);
      CloseHandle(process);
      return read;
    }
    CloseHandle(process);
  }
  return ReadImageBaseName(processId, name);
}

}  // namespace tapwise
