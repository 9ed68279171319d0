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

bool FakeSenderSystem::SendKeyEvent(std::uint16_t virtualKey, KeyDirection direction) {
  const int send = sends_++;
  if (send == sendsBeforeException) throw std::runtime_error("the platform failed");
  const bool taken = sendsBeforeFailure < 0 || send < sendsBeforeFailure;
  calls.push_back((direction == KeyDirection::kUp ? "Up " : "Down ") + Hex(virtualKey) +
                  (taken ? "" : " refused"));
  return taken;
}

void FakeSenderSystem::Sleep(std::uint32_t milliseconds) {
  calls.push_back("Sleep " + std::to_string(milliseconds));
}

bool FakeSenderSystem::BeginTimerPeriod(std::uint32_t milliseconds) {
  calls.push_back("Begin period " + std::to_string(milliseconds));
  return timerPeriodGranted;
}

void FakeSenderSystem::EndTimerPeriod(std::uint32_t milliseconds) {
  calls.push_back("End period " + std::to_string(milliseconds));
}

bool FakeSenderSystem::OpenFile(const char* file) {
  calls.push_back(std::string("Open ") + file);
  return fileOpens;
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
  if (relation == WindowRelation::kOwner) return WindowOf(window).parent;
  const std::uintptr_t next =
      relation == WindowRelation::kFirstChild ? (value == kDesktop ? kDesktop + 1 : 0) : value + 1;
  if (next == 0 || next > kDesktop + windows_.size()) return nullptr;
  return reinterpret_cast<WindowHandle>(next);
}

ProcessId FakeSenderSystem::ProcessOfWindow(WindowHandle window) {
  return WindowOf(window).process;
}

ThreadId FakeSenderSystem::ThreadOfWindow(WindowHandle window) { return WindowOf(window).thread; }

void FakeSenderSystem::WindowTitle(WindowHandle window, CMyString& title) {
  title = WindowOf(window).title.substr(0, kNameBufferSize - 1).c_str();
}

WindowHandle FakeSenderSystem::ParentWindow(WindowHandle window) { return WindowOf(window).parent; }

bool FakeSenderSystem::IsVisible(WindowHandle window) { return WindowOf(window).visible; }

bool FakeSenderSystem::IsMinimized(WindowHandle window) { return WindowOf(window).minimized; }

void FakeSenderSystem::ShowWindowAs(WindowHandle window, ShowCommand command) {
  FakeWindow& shown = WindowOf(window);
  const char* verb = command == ShowCommand::kHide      ? "Hide "
                     : command == ShowCommand::kRestore ? "Restore "
                                                        : "Show ";
  calls.push_back(verb + shown.title);
  shown.visible = command != ShowCommand::kHide;
  if (command == ShowCommand::kRestore) shown.minimized = false;
}

void FakeSenderSystem::BringToForeground(WindowHandle window) {
  calls.push_back("Foreground " + WindowOf(window).title);
  if (foregroundRefusals > 0) {
    --foregroundRefusals;
    return;
  }
  foreground = window;
}

WindowHandle FakeSenderSystem::ForegroundWindow() { return foreground; }

void FakeSenderSystem::RaiseToTop(WindowHandle window) {
  calls.push_back("Raise " + WindowOf(window).title);
}

bool FakeSenderSystem::AttachInput(ThreadId from, ThreadId to, bool attach) {
  calls.push_back((attach ? "Attach " : "Detach ") + std::to_string(from) + " " +
                  std::to_string(to));
  return true;
}

ThreadId FakeSenderSystem::CurrentThread() { return currentThread; }

void FakeSenderSystem::EnumerateWindows(WindowVisitor visitor, void* context) {
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    if (!visitor(reinterpret_cast<WindowHandle>(kDesktop + i + 1), context)) return;
  }
}

void FakeSenderSystem::DebugOutput(const char* text) { debugOutput.emplace_back(text); }

bool FakeSenderSystem::EnumerateProcesses(ProcessId* ids, std::uint32_t room,
                                          std::uint32_t* count) {
  enumerationRooms.push_back(room);
  if (!processesEnumerable) return false;
  *count = 0;
  for (const FakeProcess& process : processes) {
    if (*count == room) break;
    ids[(*count)++] = process.id;
  }
  return true;
}

ProcessHandle FakeSenderSystem::OpenProcessFor(ProcessAccess access, ProcessId id) {
  for (std::size_t i = 0; i < processes.size(); ++i) {
    if (processes[i].id != id) continue;
    // Reading the image path is granted for more processes than reading modules.
    const bool granted = processes[i].opens ||
                         (access == ProcessAccess::kQueryImage && !processes[i].imagePath.empty());
    if (!granted) return nullptr;
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

bool FakeSenderSystem::FirstModule(ProcessHandle process, ModuleHandle* module) {
  const FakeProcess* found = Process(process);
  if (found == nullptr || !found->modulesReadable) return false;
  const auto index = reinterpret_cast<std::uintptr_t>(process) - 1;
  if (openAccess_[index] != ProcessAccess::kReadModules) return false;
  *module = reinterpret_cast<ModuleHandle>(0x400000);
  return true;
}

bool FakeSenderSystem::ModuleBaseName(ProcessHandle process, ModuleHandle module, CMyString& name) {
  const FakeProcess* found = Process(process);
  if (found == nullptr || module != reinterpret_cast<ModuleHandle>(0x400000) ||
      found->name.empty()) {
    return false;
  }
  name = found->name.substr(0, kNameBufferSize - 1).c_str();
  return true;
}

bool FakeSenderSystem::ProcessImagePath(ProcessHandle process, CMyString& path) {
  const FakeProcess* found = Process(process);
  if (found == nullptr || found->imagePath.empty()) return false;
  path = found->imagePath.c_str();
  return true;
}

void FakeSenderSystem::CloseProcess(ProcessHandle process) {
  if (Process(process) != nullptr) --openHandles;
}

}  // namespace tapwise::testing
