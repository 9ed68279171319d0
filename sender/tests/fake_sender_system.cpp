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

}  // namespace

WindowHandle FakeSenderSystem::AddWindow(const FakeWindow& window) {
  windows_.push_back(window);
  return reinterpret_cast<WindowHandle>(kBase + windows_.size());
}

std::size_t FakeSenderSystem::IndexOf(WindowHandle handle) const {
  const auto value = reinterpret_cast<std::uintptr_t>(handle);
  if (value <= kBase || value > kBase + windows_.size()) {
    throw std::logic_error("not a window of the double");
  }
  return value - kBase - 1;
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

bool FakeSenderSystem::SendEvent(const std::string& event) {
  const int send = sends_++;
  for (const FrontChange& change : frontChanges) {
    if (change.afterEvents == sends_) {
      foreground = change.window;
      emptyLooks = change.emptyLooks;
    }
  }
  if (send == sendsBeforeException) throw std::runtime_error("the platform failed");
  const bool taken = sendsBeforeFailure < 0 || send < sendsBeforeFailure;
  calls.push_back(event + (taken ? "" : " refused"));
  return taken;
}

bool FakeSenderSystem::SendKeyEvent(std::uint16_t virtualKey, bool extended,
                                    KeyDirection direction) {
  return SendEvent((direction == KeyDirection::kUp ? "Up " : "Down ") + Hex(virtualKey) +
                   (extended ? " extended" : ""));
}

bool FakeSenderSystem::SendCharacterEvent(char character, KeyDirection direction) {
  char byte[8];
  std::snprintf(byte, sizeof(byte), "0x%02X", static_cast<unsigned char>(character));
  return SendEvent((direction == KeyDirection::kUp ? "Char up " : "Char down ") +
                   std::string(byte));
}

void FakeSenderSystem::Sleep(std::uint32_t milliseconds) {
  calls.push_back("Sleep " + std::to_string(milliseconds));
  clock += milliseconds;
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

bool FakeSenderSystem::RunningProcesses(CMyList<RunningProcess>& list) {
  if (!processesEnumerable) return false;
  RunningProcess running;
  for (const FakeProcess& process : processes) {
    running.id = process.id;
    running.name = process.name.substr(0, kNameBufferSize - 1).c_str();
    running.nameInUtf8 = process.nameInUtf8;
    list.Add(running);
  }
  return true;
}

void FakeSenderSystem::Describe(std::size_t index, TopLevelWindow& facts) const {
  const FakeWindow& fake = windows_[index];
  facts.handle = reinterpret_cast<WindowHandle>(kBase + index + 1);
  facts.process = fake.process;
  facts.owner = facts.parent = fake.parent;
  facts.visible = fake.visible;
  facts.minimized = fake.minimized;
  facts.title = fake.title.substr(0, kNameBufferSize - 1).c_str();
  facts.titleInUtf8 = fake.titleInUtf8;
  facts.windowClass = fake.windowClass.c_str();
  facts.rootOwner = facts.handle;
  for (WindowHandle owner = fake.parent; owner != nullptr;) {
    const auto value = reinterpret_cast<std::uintptr_t>(owner);
    if (value <= kBase || value > kBase + windows_.size()) break;  // no window of the double
    facts.rootOwner = owner;
    owner = windows_[value - kBase - 1].parent;
  }
  facts.appProcess = fake.appProcess != 0 ? fake.appProcess : fake.process;
  facts.enabled = fake.enabled;
  facts.responding =
      fake.respondsFrom >= 0 && clock >= static_cast<std::uint32_t>(fake.respondsFrom);
}

void FakeSenderSystem::TopLevelWindows(CMyList<TopLevelWindow>& list) {
  TopLevelWindow window;
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    if (!windows_[i].listed) continue;
    Describe(i, window);
    list.Add(window);
  }
}

void FakeSenderSystem::ShowWindowAs(WindowHandle window, ShowCommand command) {
  FakeWindow& shown = WindowOf(window);
  const char* verb = command == ShowCommand::kHide      ? "Hide "
                     : command == ShowCommand::kRestore ? "Restore "
                                                        : "Show ";
  calls.push_back(verb + shown.title);
  shown.visible = command != ShowCommand::kHide;
  if (command == ShowCommand::kRestore) shown.minimized = false;
}

void FakeSenderSystem::TakeForeground(const char* verb, WindowHandle window) {
  calls.push_back(verb + WindowOf(window).title);
  if (foregroundRefusals > 0) {
    --foregroundRefusals;
    return;
  }
  foreground = window;
}

void FakeSenderSystem::BringToForeground(WindowHandle window) {
  TakeForeground("Foreground ", window);
}

WindowHandle FakeSenderSystem::ForegroundWindow() {
  for (FrontChange& change : frontChanges) {
    if (change.atMillisecond >= 0 && clock >= static_cast<std::uint32_t>(change.atMillisecond)) {
      foreground = change.window;
      emptyLooks = change.emptyLooks;
      change.atMillisecond = -1;  // once
    }
  }
  if (emptyLooks > 0) {
    --emptyLooks;
    return nullptr;
  }
  return foreground;
}

bool FakeSenderSystem::DescribeWindow(WindowHandle window, TopLevelWindow& facts) {
  if (window == nullptr) return false;
  Describe(IndexOf(window), facts);
  return true;
}

void FakeSenderSystem::ForceToForeground(WindowHandle window) { TakeForeground("Force ", window); }

WindowHandle FakeSenderSystem::LastActivePopup(WindowHandle window) {
  const WindowHandle popup = WindowOf(window).popup;
  return popup != nullptr ? popup : window;
}

WindowHandle FakeSenderSystem::OwnConsoleWindow() { return ownConsole; }

ProcessRights FakeSenderSystem::OwnRights() { return ownRights; }

ProcessRights FakeSenderSystem::RightsOf(ProcessId process) {
  for (const FakeProcess& running : processes) {
    if (running.id == process) return running.rights;
  }
  return {ProcessRights::Read::kGone, 0, false};
}

std::uint32_t FakeSenderSystem::Milliseconds() { return clock; }

void FakeSenderSystem::DebugOutput(const char* text) { debugOutput.emplace_back(text); }

// ---- Text that the ANSI code page can't hold ----

void FakeSenderSystem::PrintUtf8(const char* text) {
  output += text;
  printedInUtf8.emplace_back(text);
}

std::uint32_t FakeSenderSystem::CharacterOf(const char* text, bool) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  const unsigned char lead = bytes[0];
  const int trail = lead >= 0xF0 && lead <= 0xF4 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
  if (trail < 0 || lead > 0xF4) return 0;
  std::uint32_t codePoint = lead & (0x3Fu >> trail);
  for (int i = 1; i <= trail; ++i) {
    if ((bytes[i] & 0xC0) != 0x80) return 0;
    codePoint = codePoint << 6 | (bytes[i] & 0x3Fu);
  }
  const bool overlong = codePoint < (trail == 1 ? 0x80u : trail == 2 ? 0x800u : 0x10000u);
  const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
  if (bytes[trail + 1] != 0 || overlong || surrogate || codePoint > 0x10FFFF) return 0;
  return codePoint;
}

bool FakeSenderSystem::SendUnicodeEvent(const std::uint16_t* units, int count,
                                        KeyDirection direction) {
  std::string event = direction == KeyDirection::kUp ? "Unicode up" : "Unicode down";
  for (int i = 0; i < count; ++i) event += " " + Hex(units[i]);
  return SendEvent(event);
}

bool FakeSenderSystem::OpenUtf8File(const char* file) {
  calls.push_back(std::string("Open UTF-8 ") + file);
  return fileOpens;
}

// ---- The keyboard's state ----

bool FakeSenderSystem::IsKeyDown(std::uint16_t virtualKey) {
  if (virtualKey != keyHeld || keyHeldLooks == 0) return false;
  --keyHeldLooks;
  return true;
}

}  // namespace tapwise::testing
