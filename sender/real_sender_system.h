// The Win32 side of the seam.
#pragma once

#include "sender_system.h"

namespace tapwise {

class RealSenderSystem : public SenderSystem {
 public:
  void Print(const char* text) override;
  std::int16_t KeyScan(char character) override;
  bool SendKeyEvent(std::uint16_t virtualKey, bool extended, KeyDirection direction) override;
  bool SendCharacterEvent(char character, KeyDirection direction) override;
  void Sleep(std::uint32_t milliseconds) override;
  bool BeginTimerPeriod(std::uint32_t milliseconds) override;
  void EndTimerPeriod(std::uint32_t milliseconds) override;
  bool OpenFile(const char* file) override;
  bool RunningProcesses(CMyList<RunningProcess>& processes) override;
  void TopLevelWindows(CMyList<TopLevelWindow>& windows) override;
  void ShowWindowAs(WindowHandle window, ShowCommand command) override;
  void BringToForeground(WindowHandle window) override;
  WindowHandle ForegroundWindow() override;
  bool DescribeWindow(WindowHandle window, TopLevelWindow& facts) override;
  void ForceToForeground(WindowHandle window) override;
  WindowHandle LastActivePopup(WindowHandle window) override;
  WindowHandle OwnConsoleWindow() override;
  ProcessRights OwnRights() override;
  ProcessRights RightsOf(ProcessId process) override;
  std::uint32_t Milliseconds() override;
  void DebugOutput(const char* text) override;

  // ---- Text that the ANSI code page can't hold ----
  void PrintUtf8(const char* text) override;
  std::uint32_t CharacterOf(const char* text, bool utf8) override;
  bool SendUnicodeEvent(const std::uint16_t* units, int count, KeyDirection direction) override;
  bool OpenUtf8File(const char* file) override;

  // ---- The keyboard's state ----
  bool IsKeyDown(std::uint16_t virtualKey) override;
};

// Fills |ids| with at most |room| ids of running processes and says how many; false
// when they can't be enumerated. EnumerateProcessIds asks the platform.
using ProcessIdEnumerator = bool (*)(ProcessId* ids, std::uint32_t room, std::uint32_t* count);
bool EnumerateProcessIds(ProcessId* ids, std::uint32_t room, std::uint32_t* count);

// The ids of every running process. The platform gives no total: a full table may have
// cut the list short, so the table grows until the ids fit.
class ProcessIdTable {
 public:
  ProcessIdTable() = default;
  ProcessIdTable(const ProcessIdTable&) = delete;
  ProcessIdTable& operator=(const ProcessIdTable&) = delete;
  ~ProcessIdTable();

  bool Enumerate(ProcessIdEnumerator enumerate = EnumerateProcessIds);
  std::uint32_t Count() const { return count_; }
  ProcessId operator[](std::uint32_t index) const { return ids_[index]; }

 private:
  static constexpr std::uint32_t kFirstCapacity = 1024;
  // A bound for a platform that keeps filling any table.
  static constexpr std::uint32_t kLastCapacity = 1024 * 1024;
  ProcessId* ids_ = nullptr;
  std::uint32_t count_ = 0;
};

// The base name of a process's executable, e.g. "notepad.exe": from its module list,
// else (a 64-bit process seen from a 32-bit one, a protected process) from the path of
// its image; kUnknownProcessName when neither can be read. True when a name was read.
// |inUtf8| tells whether the name is in UTF-8, as the code page can't hold it.
bool ReadProcessName(ProcessId process, CMyString& name, bool* inUtf8 = nullptr);

// ---- Text that the ANSI code page can't hold ----

// The program's arguments, from the platform's UTF-16, in Tapwise's terms: each in the
// ANSI code page where that holds it exactly, else in UTF-8 and marked so.
class ProgramArguments {
 public:
  // Throws CMyExceptionMemory when there is no memory for them.
  ProgramArguments(int count, const wchar_t* const* arguments);
  ProgramArguments(const ProgramArguments&) = delete;
  ProgramArguments& operator=(const ProgramArguments&) = delete;
  ~ProgramArguments();

  int Count() const { return count_; }
  const char* const* Texts() const { return texts_; }
  const bool* InUtf8() const { return inUtf8_; }

 private:
  void Release();

  int count_ = 0;
  char** texts_ = nullptr;
  bool* inUtf8_ = nullptr;
};

}  // namespace tapwise
