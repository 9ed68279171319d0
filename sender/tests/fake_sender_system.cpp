#include "fake_sender_system.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace tapwise::testing {

namespace {

std::string Hex(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof(text), "0x%04X", value);
  return text;
}

// A process handle is the process's index + 1, as a pointer.
void* HandleFor(std::size_t index) { return reinterpret_cast<void*>(index + 1); }

}  // namespace

WindowHandle FakeSenderSystem::AddWindow(const FakeWindow& window) {
  windows_.push_back(window);
  return reinterpret_cast<WindowHandle>(kDesktop + windows_.size());
}

std::size_t FakeSenderSystem::IndexOf(WindowHandle handle) const {
  const auto value = reinterpret_cast<std::uintptr_t>(handle);
  if (value <= kDesktop || value > kDesktop + windows_.size()) {
    throw std::logic_error("not a window of the double");
  }
  return value - kDesktop - 1;
}

FakeWindow& FakeSenderSystem::WindowOf(WindowHandle handle) { return windows_[IndexOf(handle)]; }

void FakeSenderSystem::Print(const char* text) { output += text; }

// VkKeyScanA on a US layout: the key in the low byte, 1 in the high byte for Shift,
// 2 for Control.
std::int16_t FakeSenderSystem::KeyScan(char character) {
  const unsigned char c = static_cast<unsigned char>(character);
  if (c >= 'a' && c <= 'z') return static_cast<std::int16_t>(std::toupper(c));
  if (c >= 'A' && c <= 'Z') return static_cast<std::int16_t>(0x100 | c);
  if (c >= '0' && c <= '9') return static_cast<std::int16_t>(c);
  static const char kShiftedDigits[] = ")!@#$%^&*(";
  if (c != 0) {
    if (const char* at = std::strchr(kShiftedDigits, c)) {
      return static_cast<std::int16_t>(0x100 | ('0' + (at - kShiftedDigits)));
    }
  }
  struct Punctuation {
    char plain, shifted;
    std::int16_t key;
  };
  static const Punctuation kPunctuation[] = {{';', ':', 0xBA}, {'=', '+', 0xBB}, {',', '<', 0xBC},
                                             {'-', '_', 0xBD}, {'.', '>', 0xBE}, {'/', '?', 0xBF},
                                             {'`', '~', 0xC0}, {'[', '{', 0xDB}, {'\\', '|', 0xDC},
                                             {']', '}', 0xDD}, {'\'', '"', 0xDE}};
  for (const Punctuation& p : kPunctuation) {
    if (c == static_cast<unsigned char>(p.plain)) return p.key;
    if (c == static_cast<unsigned char>(p.shifted)) return static_cast<std::int16_t>(0x100 | p.key);
  }
  switch (c) {
    case ' ':
      return 0x20;
    case '\b':
      return 0x08;
    case '\t':
      return 0x09;
    case '\r':
      return 0x0D;
    case '\n':
      return 0x20D;
    case 0x1B:
      return 0xDB | 0x200;
    default:
      return -1;
  }
}

std::uint32_t FakeSenderSystem::SendKeyboardInput(const KeyboardInput& input) {
  inputs.push_back(input);
  if (sendsBeforeFailure >= 0 && static_cast<int>(inputs.size()) > sendsBeforeFailure) return 0;
  calls.push_back(((input.flags & kKeyEventKeyUp) != 0 ? "Up " : "Down ") + Hex(input.virtualKey));
  return 1;
}

void FakeSenderSystem::Sleep(std::uint32_t milliseconds) {
  calls.push_back("Sleep " + std::to_string(milliseconds));
}

std::intptr_t FakeSenderSystem::ShellOpen(const char* file) {
  calls.push_back(std::string("Open ") + file);
  return shellResult;
}

WindowHandle FakeSenderSystem::FindWindowByTitle(const char* title) {
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    if (windows_[i].parent == nullptr && windows_[i].title == title) {
      return reinterpret_cast<WindowHandle>(kDesktop + i + 1);
    }
  }
  return nullptr;
}

WindowHandle FakeSenderSystem::DesktopWindow() { return reinterpret_cast<WindowHandle>(kDesktop); }

WindowHandle FakeSenderSystem::RelatedWindow(WindowHandle window, WindowRelation relation) {
  const auto value = reinterpret_cast<std::uintptr_t>(window);
  const std::uintptr_t next =
      relation == WindowRelation::kFirstChild ? (value == kDesktop ? kDesktop + 1 : 0) : value + 1;
  if (next == 0 || next > kDesktop + windows_.size()) return nullptr;
  return reinterpret_cast<WindowHandle>(next);
}

ThreadId FakeSenderSystem::WindowThreadAndProcess(WindowHandle window, ProcessId* processId) {
  const FakeWindow& found = WindowOf(window);
  if (processId != nullptr) *processId = found.process;
  return found.thread;
}

int FakeSenderSystem::WindowTitle(WindowHandle window, char* buffer, int size) {
  const std::string& title = WindowOf(window).title;
  std::snprintf(buffer, static_cast<std::size_t>(size), "%s", title.c_str());
  return static_cast<int>(std::strlen(buffer));
}

WindowHandle FakeSenderSystem::ParentWindow(WindowHandle window) { return WindowOf(window).parent; }

bool FakeSenderSystem::IsMinimized(WindowHandle window) { return WindowOf(window).minimized; }

bool FakeSenderSystem::ShowWindowAs(WindowHandle window, int command) {
  FakeWindow& shown = WindowOf(window);
  calls.push_back("Show " + shown.title + " " + std::to_string(command));
  const bool wasVisible = shown.visible;
  shown.visible = command != kShowHide;
  if (command == kShowRestore) shown.minimized = false;
  return wasVisible;
}

bool FakeSenderSystem::BringToForeground(WindowHandle window) {
  calls.push_back("Foreground " + WindowOf(window).title);
  if (foregroundRefusals > 0) {
    --foregroundRefusals;
    return false;
  }
  foreground = window;
  return true;
}

WindowHandle FakeSenderSystem::ForegroundWindow() { return foreground; }

bool FakeSenderSystem::RaiseToTop(WindowHandle window) {
  calls.push_back("Raise " + WindowOf(window).title);
  return true;
}

bool FakeSenderSystem::AttachInput(ThreadId from, ThreadId to, bool attach) {
  calls.push_back((attach ? "Attach " : "Detach ") + std::to_string(from) + " " +
                  std::to_string(to));
  return true;
}

ThreadId FakeSenderSystem::CurrentThread() { return currentThread; }

bool FakeSenderSystem::EnumerateWindows(WindowVisitor visitor, std::intptr_t context) {
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    if (!visitor(reinterpret_cast<WindowHandle>(kDesktop + i + 1), context)) return false;
  }
  return true;
}

void FakeSenderSystem::DebugOutput(const char* text) { debugOutput.emplace_back(text); }

bool FakeSenderSystem::EnumerateProcesses(ProcessId* ids, std::uint32_t bytes,
                                          std::uint32_t* bytesReturned) {
  enumerationSizes.push_back(bytes);
  if (!processesEnumerable) return false;
  std::uint32_t count = 0;
  for (const FakeProcess& process : processes) {
    if ((count + 1) * sizeof(ProcessId) > bytes) break;
    ids[count++] = process.id;
  }
  *bytesReturned = count * static_cast<std::uint32_t>(sizeof(ProcessId));
  return true;
}

ProcessHandle FakeSenderSystem::OpenProcessFor(std::uint32_t access, ProcessId id) {
  for (std::size_t i = 0; i < processes.size(); ++i) {
    if (processes[i].id != id) continue;
    const bool limited = access == kProcessQueryLimitedInformation;
    if (!limited && !processes[i].opens) return nullptr;
    if (limited && processes[i].imagePath.empty() && !processes[i].opens) return nullptr;
    ++openHandles;
    openAccess_.resize(processes.size());
    openAccess_[i] = access;
    return HandleFor(i);
  }
  return nullptr;
}

const FakeProcess* FakeSenderSystem::Process(ProcessHandle handle) const {
  const auto index = reinterpret_cast<std::uintptr_t>(handle) - 1;
  return index < processes.size() ? &processes[index] : nullptr;
}

bool FakeSenderSystem::EnumerateModules(ProcessHandle process, ModuleHandle* modules,
                                        std::uint32_t bytes, std::uint32_t* bytesNeeded) {
  const FakeProcess* found = Process(process);
  if (found == nullptr || !found->modulesReadable || bytes < sizeof(ModuleHandle)) return false;
  const auto index = reinterpret_cast<std::uintptr_t>(process) - 1;
  if (openAccess_[index] != kProcessQueryInformationAndVmRead) return false;
  modules[0] = reinterpret_cast<ModuleHandle>(0x400000);
  *bytesNeeded = 3 * sizeof(ModuleHandle);  // the executable and two libraries
  return true;
}

std::uint32_t FakeSenderSystem::ModuleBaseName(ProcessHandle process, ModuleHandle module,
                                               char* buffer, std::uint32_t size) {
  const FakeProcess* found = Process(process);
  if (found == nullptr || module != reinterpret_cast<ModuleHandle>(0x400000)) return 0;
  std::snprintf(buffer, size, "%s", found->name.c_str());
  return static_cast<std::uint32_t>(std::strlen(buffer));
}

bool FakeSenderSystem::ProcessImagePath(ProcessHandle process, char* buffer, std::uint32_t* size) {
  const FakeProcess* found = Process(process);
  if (found == nullptr || found->imagePath.empty() || found->imagePath.size() >= *size) {
    return false;
  }
  std::memcpy(buffer, found->imagePath.c_str(), found->imagePath.size() + 1);
  *size = static_cast<std::uint32_t>(found->imagePath.size());
  return true;
}

bool FakeSenderSystem::CloseProcess(ProcessHandle process) {
  if (Process(process) == nullptr) return false;
  --openHandles;
  return true;
}

}  // namespace tapwise::testing
