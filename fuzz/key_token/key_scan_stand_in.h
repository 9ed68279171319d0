// The one platform call the key parser makes, VkKeyScanA, answered with a value the
// fuzzer chooses; every other call of the seam does nothing. Kept apart from the
// target so that a change of the seam touches only this file.
#pragma once

#include <cstdint>

#include "sender_system.h"

namespace fuzz {

class KeyScanStandIn final : public tapwise::SenderSystem {
 public:
  using WindowHandle = tapwise::WindowHandle;
  using ProcessHandle = tapwise::ProcessHandle;
  using ThreadId = tapwise::ThreadId;
  using ProcessId = tapwise::ProcessId;

  std::int16_t answer = 0;  // what VkKeyScanA gives for any character
  int scans = 0;
  char scanned = '\0';  // the character of the last scan

  std::int16_t KeyScan(char character) override {
    ++scans;
    scanned = character;
    return answer;
  }

  void Print(const char*) override {}
  std::uint32_t SendKeyboardInput(const tapwise::KeyboardInput&) override { return 0; }
  void Sleep(std::uint32_t) override {}
  std::intptr_t ShellOpen(const char*) override { return 0; }
  WindowHandle FindWindowByTitle(const char*) override { return nullptr; }
  WindowHandle DesktopWindow() override { return nullptr; }
  WindowHandle RelatedWindow(WindowHandle, tapwise::WindowRelation) override { return nullptr; }
  ThreadId WindowThreadAndProcess(WindowHandle, ProcessId*) override { return 0; }
  int WindowTitle(WindowHandle, char* buffer, int size) override {
    if (size > 0) buffer[0] = '\0';
    return 0;
  }
  WindowHandle ParentWindow(WindowHandle) override { return nullptr; }
  bool IsMinimized(WindowHandle) override { return false; }
  bool ShowWindowAs(WindowHandle, int) override { return false; }
  bool BringToForeground(WindowHandle) override { return false; }
  WindowHandle ForegroundWindow() override { return nullptr; }
  bool RaiseToTop(WindowHandle) override { return false; }
  bool AttachInput(ThreadId, ThreadId, bool) override { return false; }
  ThreadId CurrentThread() override { return 0; }
  bool EnumerateWindows(tapwise::WindowVisitor, std::intptr_t) override { return false; }
  void DebugOutput(const char*) override {}
  bool EnumerateProcesses(ProcessId*, std::uint32_t, std::uint32_t*) override { return false; }
  ProcessHandle OpenProcessFor(std::uint32_t, ProcessId) override { return nullptr; }
  bool EnumerateModules(ProcessHandle, tapwise::ModuleHandle*, std::uint32_t,
                        std::uint32_t*) override {
    return false;
  }
  std::uint32_t ModuleBaseName(ProcessHandle, tapwise::ModuleHandle, char*,
                               std::uint32_t) override {
    return 0;
  }
  bool ProcessImagePath(ProcessHandle, char*, std::uint32_t*) override { return false; }
  bool CloseProcess(ProcessHandle) override { return false; }
};

}  // namespace fuzz
