#include <windows.h>
// After windows.h:
#include <mmsystem.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdio>

#include "real_sender_system.h"

namespace tapwise {

static_assert(sizeof(ProcessId) == sizeof(DWORD), "process ids are DWORDs");

namespace {

HWND AsWindow(WindowHandle window) { return static_cast<HWND>(window); }

struct WindowVisit {
  WindowVisitor visitor;
  void* context;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM visit) {
  const WindowVisit& how = *reinterpret_cast<const WindowVisit*>(visit);
  return how.visitor(window, how.context) ? TRUE : FALSE;
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

WindowHandle RealSenderSystem::FindWindowByTitle(const char* title) {
  return FindWindowA(nullptr, title);
}

WindowHandle RealSenderSystem::DesktopWindow() { return GetDesktopWindow(); }

WindowHandle RealSenderSystem::RelatedWindow(WindowHandle window, WindowRelation relation) {
  UINT command = GW_HWNDNEXT;
  if (relation == WindowRelation::kFirstChild) command = GW_CHILD;
  if (relation == WindowRelation::kOwner) command = GW_OWNER;
  return GetWindow(AsWindow(window), command);
}

ProcessId RealSenderSystem::ProcessOfWindow(WindowHandle window) {
  DWORD process = 0;
  GetWindowThreadProcessId(AsWindow(window), &process);
  return process;
}

ThreadId RealSenderSystem::ThreadOfWindow(WindowHandle window) {
  return GetWindowThreadProcessId(AsWindow(window), nullptr);
}

void RealSenderSystem::WindowTitle(WindowHandle window, CMyString& title) {
  char buffer[kNameBufferSize];
  buffer[0] = '\0';
  GetWindowTextA(AsWindow(window), buffer, kNameBufferSize);
  title = buffer;
}

WindowHandle RealSenderSystem::ParentWindow(WindowHandle window) {
  return GetParent(AsWindow(window));
}

bool RealSenderSystem::IsVisible(WindowHandle window) {
  return IsWindowVisible(AsWindow(window)) != FALSE;
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

void RealSenderSystem::EnumerateWindows(WindowVisitor visitor, void* context) {
  WindowVisit visit{visitor, context};
  EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&visit));
}

void RealSenderSystem::DebugOutput(const char* text) { OutputDebugStringA(text); }

bool RealSenderSystem::EnumerateProcesses(ProcessId* ids, std::uint32_t room,
                                          std::uint32_t* count) {
  const DWORD bytes = room * DWORD{sizeof(DWORD)};
  DWORD returned = 0;
  if (!EnumProcesses(reinterpret_cast<DWORD*>(ids), bytes, &returned)) return false;
  *count = (returned < bytes ? returned : bytes) / DWORD{sizeof(DWORD)};
  return true;
}

ProcessHandle RealSenderSystem::OpenProcessFor(ProcessAccess access, ProcessId id) {
  const DWORD rights = access == ProcessAccess::kReadModules
                           ? PROCESS_QUERY_INFORMATION | PROCESS_VM_READ
                           : PROCESS_QUERY_LIMITED_INFORMATION;
  return OpenProcess(rights, FALSE, id);
}

bool RealSenderSystem::FirstModule(ProcessHandle process, ModuleHandle* module) {
  HMODULE first = nullptr;
  DWORD needed = 0;
  if (!EnumProcessModules(process, &first, sizeof(first), &needed)) return false;
  *module = first;
  return true;
}

bool RealSenderSystem::ModuleBaseName(ProcessHandle process, ModuleHandle module, CMyString& name) {
  char buffer[kNameBufferSize];
  const DWORD size = sizeof(buffer);
  const DWORD length = GetModuleBaseNameA(process, static_cast<HMODULE>(module), buffer, size);
  if (length == 0) return false;
  // A name that did not fit may come back without its terminator.
  buffer[length < size ? length : size - 1] = '\0';
  name = buffer;
  return true;
}

bool RealSenderSystem::ProcessImagePath(ProcessHandle process, CMyString& path) {
  const QueryImageName query = QueryFullProcessImageName();
  if (query == nullptr) return false;
  char buffer[kNameBufferSize * 2];
  DWORD length = sizeof(buffer);
  if (!query(process, 0, buffer, &length) || length >= sizeof(buffer)) {
    return false;
  }
  buffer[length] = '\0';
  path = buffer;
  return true;
}

void RealSenderSystem::CloseProcess(ProcessHandle process) { CloseHandle(process); }

}  // namespace tapwise
