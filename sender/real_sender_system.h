// The Win32 side of the seam.
#pragma once

#include "sender_system.h"

namespace tapwise {

class RealSenderSystem : public SenderSystem {
 public:
  void Print(const char* text) override;
  std::int16_t KeyScan(char character) override;
  std::uint32_t SendKeyboardInput(const KeyboardInput& input) override;
  void Sleep(std::uint32_t milliseconds) override;
  std::intptr_t ShellOpen(const char* file) override;
  WindowHandle FindWindowByTitle(const char* title) override;
  WindowHandle DesktopWindow() override;
  WindowHandle RelatedWindow(WindowHandle window, WindowRelation relation) override;
  ThreadId WindowThreadAndProcess(WindowHandle window, ProcessId* processId) override;
  int WindowTitle(WindowHandle window, char* buffer, int size) override;
  WindowHandle ParentWindow(WindowHandle window) override;
  bool IsMinimized(WindowHandle window) override;
  bool ShowWindowAs(WindowHandle window, int command) override;
  bool BringToForeground(WindowHandle window) override;
  WindowHandle ForegroundWindow() override;
  bool RaiseToTop(WindowHandle window) override;
  bool AttachInput(ThreadId from, ThreadId to, bool attach) override;
  ThreadId CurrentThread() override;
  bool EnumerateWindows(WindowVisitor visitor, std::intptr_t context) override;
  void DebugOutput(const char* text) override;
  bool EnumerateProcesses(ProcessId* ids, std::uint32_t bytes,
                          std::uint32_t* bytesReturned) override;
  ProcessHandle OpenProcessFor(std::uint32_t access, ProcessId id) override;
  bool EnumerateModules(ProcessHandle process, ModuleHandle* modules, std::uint32_t bytes,
                        std::uint32_t* bytesNeeded) override;
  std::uint32_t ModuleBaseName(ProcessHandle process, ModuleHandle module, char* buffer,
                               std::uint32_t size) override;
  bool ProcessImagePath(ProcessHandle process, char* buffer, std::uint32_t* size) override;
  bool CloseProcess(ProcessHandle process) override;
};

}  // namespace tapwise
