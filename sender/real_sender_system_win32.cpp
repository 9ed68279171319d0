#include <windows.h>
// After windows.h:
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
  std::intptr_t context;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM visit) {
  const WindowVisit& how = *reinterpret_cast<const WindowVisit*>(visit);
  return how.visitor(window, how.context) ? TRUE : FALSE;
}

}  // namespace

void RealSenderSystem::Print(const char* text) { std::fputs(text, stdout); }

std::int16_t RealSenderSystem::KeyScan(char character) { return VkKeyScanA(character); }

std::uint32_t RealSenderSystem::SendKeyboardInput(const KeyboardInput& input) {
  INPUT record;
  ZeroMemory(&record, sizeof(record));
  record.type = input.type;
  record.ki.wVk = input.virtualKey;
  record.ki.wScan = input.scanCode;
  record.ki.dwFlags = input.flags;
  record.ki.time = input.time;
  record.ki.dwExtraInfo = input.extraInfo;
  return SendInput(1, &record, sizeof(INPUT));
}

void RealSenderSystem::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

std::intptr_t RealSenderSystem::ShellOpen(const char* file) {
  // The started program shares the console; what was printed comes first.
  std::fflush(stdout);
  return reinterpret_cast<std::intptr_t>(
      ShellExecuteA(nullptr, "open", file, nullptr, nullptr, SW_SHOW));
}

WindowHandle RealSenderSystem::FindWindowByTitle(const char* title) {
  return FindWindowA(nullptr, title);
}

WindowHandle RealSenderSystem::DesktopWindow() { return GetDesktopWindow(); }

WindowHandle RealSenderSystem::RelatedWindow(WindowHandle window, WindowRelation relation) {
  return GetWindow(AsWindow(window),
                   relation == WindowRelation::kFirstChild ? GW_CHILD : GW_HWNDNEXT);
}

ThreadId RealSenderSystem::WindowThreadAndProcess(WindowHandle window, ProcessId* processId) {
  DWORD process = 0;
  const DWORD thread = GetWindowThreadProcessId(AsWindow(window), &process);
  if (processId != nullptr) *processId = process;
  return thread;
}

int RealSenderSystem::WindowTitle(WindowHandle window, char* buffer, int size) {
  if (size > 0) buffer[0] = '\0';
  return GetWindowTextA(AsWindow(window), buffer, size);
}

WindowHandle RealSenderSystem::ParentWindow(WindowHandle window) {
  return GetParent(AsWindow(window));
}

bool RealSenderSystem::IsMinimized(WindowHandle window) {
  return IsIconic(AsWindow(window)) != FALSE;
}

bool RealSenderSystem::ShowWindowAs(WindowHandle window, int command) {
  return ShowWindow(AsWindow(window), command) != FALSE;
}

bool RealSenderSystem::BringToForeground(WindowHandle window) {
  return SetForegroundWindow(AsWindow(window)) != FALSE;
}

WindowHandle RealSenderSystem::ForegroundWindow() { return GetForegroundWindow(); }

bool RealSenderSystem::RaiseToTop(WindowHandle window) {
  return BringWindowToTop(AsWindow(window)) != FALSE;
}

bool RealSenderSystem::AttachInput(ThreadId from, ThreadId to, bool attach) {
  return AttachThreadInput(from, to, attach ? TRUE : FALSE) != FALSE;
}

ThreadId RealSenderSystem::CurrentThread() { return GetCurrentThreadId(); }

bool RealSenderSystem::EnumerateWindows(WindowVisitor visitor, std::intptr_t context) {
  WindowVisit visit{visitor, context};
  return EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&visit)) != FALSE;
}

void RealSenderSystem::DebugOutput(const char* text) { OutputDebugStringA(text); }

bool RealSenderSystem::EnumerateProcesses(ProcessId* ids, std::uint32_t bytes,
                                          std::uint32_t* bytesReturned) {
  DWORD returned = 0;
  const BOOL enumerated = EnumProcesses(reinterpret_cast<DWORD*>(ids), bytes, &returned);
  *bytesReturned = returned;
  return enumerated != FALSE;
}

ProcessHandle RealSenderSystem::OpenProcessFor(std::uint32_t access, ProcessId id) {
  return OpenProcess(access, FALSE, id);
}

bool RealSenderSystem::EnumerateModules(ProcessHandle process, ModuleHandle* modules,
                                        std::uint32_t bytes, std::uint32_t* bytesNeeded) {
  DWORD needed = 0;
  const BOOL enumerated =
      EnumProcessModules(process, reinterpret_cast<HMODULE*>(modules), bytes, &needed);
  *bytesNeeded = needed;
  return enumerated != FALSE;
}

std::uint32_t RealSenderSystem::ModuleBaseName(ProcessHandle process, ModuleHandle module,
                                               char* buffer, std::uint32_t size) {
  return GetModuleBaseNameA(process, static_cast<HMODULE>(module), buffer, size);
}

bool RealSenderSystem::ProcessImagePath(ProcessHandle process, char* buffer, std::uint32_t* size) {
  DWORD length = *size;
  const BOOL read = QueryFullProcessImageNameA(process, 0, buffer, &length);
  *size = length;
  return read != FALSE;
}

bool RealSenderSystem::CloseProcess(ProcessHandle process) { return CloseHandle(process) != FALSE; }

}  // namespace tapwise
