// The Win32 side of the seam.
#pragma once

#include "sender_system.h"

namespace tapwise {

class RealSenderSystem : public SenderSystem {
 public:
  void Print(const char* text) override;
  std::int16_t KeyScan(char character) override;
  bool SendKeyEvent(std::uint16_t virtualKey, KeyDirection direction) override;
  void Sleep(std::uint32_t milliseconds) override;
  bool BeginTimerPeriod(std::uint32_t milliseconds) override;
  void EndTimerPeriod(std::uint32_t milliseconds) override;
  bool OpenFile(const char* file) override;
  WindowHandle FindWindowByTitle(const char* title) override;
  WindowHandle DesktopWindow() override;
  WindowHandle RelatedWindow(WindowHandle window, WindowRelation relation) override;
  ProcessId ProcessOfWindow(WindowHandle window) override;
  ThreadId ThreadOfWindow(WindowHandle window) override;
  void WindowTitle(WindowHandle window, CMyString& title) override;
  WindowHandle ParentWindow(WindowHandle window) override;
  bool IsVisible(WindowHandle window) override;
  bool IsMinimized(WindowHandle window) override;
  void ShowWindowAs(WindowHandle window, ShowCommand command) override;
  void BringToForeground(WindowHandle window) override;
  WindowHandle ForegroundWindow() override;
  void RaiseToTop(WindowHandle window) override;
  bool AttachInput(ThreadId from, ThreadId to, bool attach) override;
  ThreadId CurrentThread() override;
  void EnumerateWindows(WindowVisitor visitor, void* context) override;
  void DebugOutput(const char* text) override;
  bool EnumerateProcesses(ProcessId* ids, std::uint32_t room, std::uint32_t* count) override;
  ProcessHandle OpenProcessFor(ProcessAccess access, ProcessId id) override;
  bool FirstModule(ProcessHandle process, ModuleHandle* module) override;
  bool ModuleBaseName(ProcessHandle process, ModuleHandle module, CMyString& name) override;
  bool ProcessImagePath(ProcessHandle process, CMyString& path) override;
  void CloseProcess(ProcessHandle process) override;
};

}  // namespace tapwise
