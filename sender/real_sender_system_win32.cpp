#include <windows.h>
// After windows.h:
#include <mmsystem.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <exception>

#include "allocation.h"
#include "my_exception.h"
#include "real_sender_system.h"

namespace tapwise {

static_assert(sizeof(ProcessId) == sizeof(DWORD), "process ids are DWORDs");

namespace {

HWND AsWindow(WindowHandle window) { return static_cast<HWND>(window); }

// Closes a kernel handle when it goes out of scope.
class HandleCloser {
 public:
  explicit HandleCloser(HANDLE handle) : handle_(handle) {}
  ~HandleCloser() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  HandleCloser(const HandleCloser&) = delete;
  HandleCloser& operator=(const HandleCloser&) = delete;

 private:
  const HANDLE handle_;
};

// ---- Text that the ANSI code page can't hold ----

// A block of the support classes' heap, released at the end of the scope.
class Block {
 public:
  Block(std::size_t bytes, const char* owner)
      : data_(support::AllocateBlock(bytes > 0 ? bytes : 1)) {
    if (data_ == nullptr) {
      throw CMyExceptionMemory(owner, "Block", static_cast<std::int32_t>(bytes));
    }
  }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  ~Block() { support::ReleaseBlock(data_); }
  template <typename T>
  T* As() const {
    return static_cast<T*>(data_);
  }

 private:
  void* data_;
};

// |wide| in 8-bit text of |codePage|, with |flags|, into |text|; false when the code
// page takes no such flags.
bool Narrow(const wchar_t* wide, UINT codePage, DWORD flags, CMyString& text) {
  const int size = WideCharToMultiByte(codePage, flags, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  const Block narrow(static_cast<std::size_t>(size), "Narrow");
  if (WideCharToMultiByte(codePage, flags, wide, -1, narrow.As<char>(), size, nullptr, nullptr) !=
      size) {
    return false;
  }
  text = narrow.As<char>();
  return true;
}

// Whether |text|, in |codePage|, reads back as exactly |wide|.
bool ReadsBackAs(const char* text, UINT codePage, const wchar_t* wide) {
  const int size = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (size <= 0) return false;
  const Block back(static_cast<std::size_t>(size) * sizeof(wchar_t), "ReadsBackAs");
  if (MultiByteToWideChar(codePage, 0, text, -1, back.As<wchar_t>(), size) != size) return false;
  return std::wcscmp(back.As<wchar_t>(), wide) == 0;
}

// |wide| into |text|: in the ANSI code page when that holds it exactly (never a
// character approximated by a similar one, nor the default character), else in UTF-8.
// True when in UTF-8.
bool AssignFromUtf16(const wchar_t* wide, CMyString& text) {
  // UTF-8 as the system's code page takes no flags, and needs none.
  if ((Narrow(wide, CP_ACP, WC_NO_BEST_FIT_CHARS, text) || Narrow(wide, CP_ACP, 0, text)) &&
      ReadsBackAs(text.Text(), CP_ACP, wide)) {
    return false;
  }
  if (!Narrow(wide, CP_UTF8, 0, text)) text = "";
  return true;
}

// |text| in |codePage| as UTF-16, in a block of the heap; null when it does not convert.
wchar_t* Widen(const char* text, UINT codePage) {
  const int size = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (size <= 0) return nullptr;
  auto* wide = static_cast<wchar_t*>(support::AllocateBlock(static_cast<std::size_t>(size) * 2));
  if (wide == nullptr) throw CMyExceptionMemory("Widen", "AllocateBlock", size * 2);
  if (MultiByteToWideChar(codePage, 0, text, -1, wide, size) != size) {
    support::ReleaseBlock(wide);
    return nullptr;
  }
  return wide;
}

// A text of UTF-16, released at the end of the scope.
class WideText {
 public:
  WideText(const char* text, UINT codePage) : text_(Widen(text, codePage)) {}
  WideText(const WideText&) = delete;
  WideText& operator=(const WideText&) = delete;
  ~WideText() { support::ReleaseBlock(text_); }
  const wchar_t* Text() const { return text_ != nullptr ? text_ : L""; }

 private:
  wchar_t* text_;
};

// The title, cut like the 8-bit call cuts it (to kNameBufferSize - 1 bytes, when the code
// page holds it).
void ReadWindowTitle(HWND handle, TopLevelWindow& window) {
  wchar_t title[kNameBufferSize];
  title[0] = L'\0';
  GetWindowTextW(handle, title, kNameBufferSize);
  window.titleInUtf8 = AssignFromUtf16(title, window.title);
  if (!window.titleInUtf8 && window.title.Length() > kNameBufferSize - 1) {
    window.title.Resize(kNameBufferSize - 1, 1);
  }
}

// The module's file name without its folder, cut like a title; |name| is unchanged
// when it can't be read.
bool ReadModuleBaseName(HANDLE process, HMODULE module, CMyString& name, bool* inUtf8) {
  wchar_t buffer[kNameBufferSize];
  const DWORD size = kNameBufferSize;
  const DWORD length = GetModuleBaseNameW(process, module, buffer, size);
  if (length == 0) return false;
  // A name that did not fit may come back without its terminator.
  buffer[length < size ? length : size - 1] = L'\0';
  *inUtf8 = AssignFromUtf16(buffer, name);
  return true;
}

// QueryFullProcessImageNameA came with Vista and the 32-bit program must start on XP, so
// it is looked up at run time. Without it the module list alone names the processes: on
// a 32-bit XP every process that can be read; a 64-bit XP leaves its 64-bit ones unnamed.
using QueryImageName = BOOL(WINAPI*)(HANDLE process, DWORD flags, LPWSTR name, PDWORD size);

QueryImageName QueryFullProcessImageName() {
  static const QueryImageName query = reinterpret_cast<QueryImageName>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameW")));
  return query;
}

// The base name from the path of the process's image, which can be read for more
// processes than their modules.
bool ReadImageBaseName(DWORD processId, CMyString& name, bool* inUtf8) {
  const QueryImageName query = QueryFullProcessImageName();
  if (query == nullptr) return false;
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process == nullptr) return false;
  HandleCloser closer(process);
  wchar_t path[kNameBufferSize * 2];
  DWORD length = kNameBufferSize * 2;
  if (!query(process, 0, path, &length) || length >= kNameBufferSize * 2) return false;
  path[length] = L'\0';
  const wchar_t* base = path;
  for (const wchar_t* at = path; *at != L'\0'; ++at) {
    if (*at == L'\\' || *at == L'/') base = at + 1;
  }
  *inUtf8 = AssignFromUtf16(base, name);
  return true;
}

// A Store app's window lives, while shown, as a child of a frame that another process
// owns.
const char kAppFrameClass[] = "ApplicationFrameWindow";
const char kAppWindowClass[] = "Windows.UI.Core.CoreWindow";

// Owners are chained a few deep; the bound keeps a window that changes meanwhile from
// holding the walk.
constexpr int kMaxOwnerDepth = 64;

void ReadWindowFacts(HWND handle, TopLevelWindow& window) {
  window.handle = handle;
  DWORD process = 0;
  GetWindowThreadProcessId(handle, &process);
  window.process = process;
  window.owner = GetWindow(handle, GW_OWNER);
  window.parent = GetParent(handle);
  window.visible = IsWindowVisible(handle) != FALSE;
  window.minimized = IsIconic(handle) != FALSE;
  ReadWindowTitle(handle, window);
  char text[kNameBufferSize];
  text[0] = '\0';
  GetClassNameA(handle, text, kNameBufferSize);
  window.windowClass = text;
  // Along the owners themselves: GetAncestor's root owner follows GetParent, which
  // names the owner of a pop-up only, and stops at an owned window that is none.
  HWND rootOwner = handle;
  for (int depth = 0; depth < kMaxOwnerDepth; ++depth) {
    const HWND owner = GetWindow(rootOwner, GW_OWNER);
    if (owner == nullptr) break;
    rootOwner = owner;
  }
  window.rootOwner = rootOwner;
  window.appProcess = process;
  if (window.windowClass == kAppFrameClass) {
    const HWND app = FindWindowExA(handle, nullptr, kAppWindowClass, nullptr);
    DWORD appProcess = 0;
    if (app != nullptr && GetWindowThreadProcessId(app, &appProcess) != 0) {
      window.appProcess = appProcess;
    }
  }
  window.enabled = IsWindowEnabled(handle) != FALSE;
  window.responding = IsHungAppWindow(handle) == FALSE;
}

// The integrity level (the last part of the token's label) and the UI-access flag.
// GetTokenInformation came with XP, its classes for these with Vista: on XP it refuses
// them, and then there are no levels.
ProcessRights ReadTokenRights(HANDLE process) {
  ProcessRights rights;
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) {
    rights.read = GetLastError() == ERROR_ACCESS_DENIED ? ProcessRights::Read::kDenied
                                                        : ProcessRights::Read::kGone;
    return rights;
  }
  HandleCloser closer(token);
  // A label: the structure, then the SID it points into.
  DWORD label[64];
  DWORD length = 0;
  if (!GetTokenInformation(token, TokenIntegrityLevel, label, sizeof(label), &length)) {
    rights.read = GetLastError() == ERROR_ACCESS_DENIED ? ProcessRights::Read::kDenied
                                                        : ProcessRights::Read::kNoLevels;
    return rights;
  }
  const PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(label)->Label.Sid;
  const UCHAR parts = *GetSidSubAuthorityCount(sid);
  rights.level = parts > 0 ? *GetSidSubAuthority(sid, parts - 1u) : 0;
  DWORD uiAccess = 0;
  rights.uiAccess =
      GetTokenInformation(token, TokenUIAccess, &uiAccess, sizeof(uiAccess), &length) &&
      uiAccess != 0;
  rights.read = ProcessRights::Read::kRead;
  return rights;
}

struct WindowSnapshot {
  CMyList<TopLevelWindow>& windows;
  // A failure while adding a window, raised again once the enumeration is over: an
  // exception must not pass through the platform's own frames.
  std::exception_ptr failure;
};

BOOL CALLBACK AddTopLevelWindow(HWND handle, LPARAM snapshot) try {
  TopLevelWindow window;
  ReadWindowFacts(handle, window);
  reinterpret_cast<WindowSnapshot*>(snapshot)->windows.Add(window);
  return TRUE;
} catch (...) {
  reinterpret_cast<WindowSnapshot*>(snapshot)->failure = std::current_exception();
  return FALSE;
}

}  // namespace

void RealSenderSystem::Print(const char* text) { std::fputs(text, stdout); }

std::int16_t RealSenderSystem::KeyScan(char character) { return VkKeyScanA(character); }

bool RealSenderSystem::SendKeyEvent(std::uint16_t virtualKey, bool extended,
                                    KeyDirection direction) {
  // The scan code, which programs that read the keyboard's own codes go by, from the
  // key's low byte (the high one may hold the shift state of a character's key). With
  // it and the extended-key flag, an arrow key is no key of the keypad and the
  // right-hand Control no left one.
  INPUT record;
  ZeroMemory(&record, sizeof(record));
  record.type = INPUT_KEYBOARD;
  record.ki.wVk = virtualKey;
  record.ki.wScan = static_cast<WORD>(MapVirtualKeyA(virtualKey & 0xFFu, MAPVK_VK_TO_VSC));
  record.ki.dwFlags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) |
                      (direction == KeyDirection::kUp ? KEYEVENTF_KEYUP : 0);
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
    ReadProcessName(process.id, process.name, &process.nameInUtf8);
    processes.Add(process);
  }
  return true;
}

void RealSenderSystem::TopLevelWindows(CMyList<TopLevelWindow>& windows) {
  WindowSnapshot snapshot{windows, nullptr};
  EnumWindows(AddTopLevelWindow, reinterpret_cast<LPARAM>(&snapshot));
  if (snapshot.failure) std::rethrow_exception(snapshot.failure);
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

bool RealSenderSystem::DescribeWindow(WindowHandle window, TopLevelWindow& facts) {
  if (window == nullptr || !IsWindow(AsWindow(window))) return false;
  ReadWindowFacts(AsWindow(window), facts);
  return true;
}

void RealSenderSystem::ForceToForeground(WindowHandle window) {
  // Windows lets the thread whose input the window in front has change the front.
  const HWND front = GetForegroundWindow();
  const DWORD self = GetCurrentThreadId();
  const DWORD owner = front != nullptr ? GetWindowThreadProcessId(front, nullptr) : 0;
  const bool attached = owner != 0 && owner != self && AttachThreadInput(self, owner, TRUE);
  SetForegroundWindow(AsWindow(window));
  BringWindowToTop(AsWindow(window));
  if (attached) AttachThreadInput(self, owner, FALSE);
}

WindowHandle RealSenderSystem::LastActivePopup(WindowHandle window) {
  return GetLastActivePopup(AsWindow(window));
}

WindowHandle RealSenderSystem::OwnConsoleWindow() { return GetConsoleWindow(); }

ProcessRights RealSenderSystem::OwnRights() { return ReadTokenRights(GetCurrentProcess()); }

ProcessRights RealSenderSystem::RightsOf(ProcessId processId) {
  // The least right that reads a token; it came with Vista, as the levels did.
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process == nullptr) {
    ProcessRights rights;
    rights.read = GetLastError() == ERROR_ACCESS_DENIED ? ProcessRights::Read::kDenied
                                                        : ProcessRights::Read::kGone;
    return rights;
  }
  HandleCloser closer(process);
  return ReadTokenRights(process);
}

std::uint32_t RealSenderSystem::Milliseconds() { return timeGetTime(); }

void RealSenderSystem::DebugOutput(const char* text) { OutputDebugStringA(text); }

// ---- Text that the ANSI code page can't hold ----

void RealSenderSystem::PrintUtf8(const char* text) {
  const WideText wide(text, CP_UTF8);
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(output, &mode)) {
    std::fflush(stdout);
    DWORD written = 0;
    WriteConsoleW(output, wide.Text(), static_cast<DWORD>(std::wcslen(wide.Text())), &written,
                  nullptr);
    return;
  }
  // Redirected output stays in the code page, as everything else that is printed.
  CMyString narrow;
  if (Narrow(wide.Text(), CP_ACP, 0, narrow)) std::fputs(narrow.Text(), stdout);
}

std::uint32_t RealSenderSystem::CharacterOf(const char* text, bool utf8) {
  // Room for a surrogate pair and the terminator: a longer text does not convert.
  wchar_t units[3];
  const int count =
      MultiByteToWideChar(utf8 ? CP_UTF8 : CP_ACP, MB_ERR_INVALID_CHARS, text, -1, units, 3);
  if (count == 2 && (units[0] < 0xD800 || units[0] > 0xDFFF)) return units[0];
  if (count == 3 && units[0] >= 0xD800 && units[0] <= 0xDBFF && units[1] >= 0xDC00 &&
      units[1] <= 0xDFFF) {
    return 0x10000u + ((units[0] - 0xD800u) << 10) + (units[1] - 0xDC00u);
  }
  return 0;
}

bool RealSenderSystem::SendUnicodeEvent(const std::uint16_t* units, int count,
                                        KeyDirection direction) {
  INPUT records[2];
  ZeroMemory(records, sizeof(records));
  if (count < 1 || count > 2) return false;
  for (int i = 0; i < count; ++i) {
    records[i].type = INPUT_KEYBOARD;
    records[i].ki.wScan = units[i];
    records[i].ki.dwFlags =
        KEYEVENTF_UNICODE | (direction == KeyDirection::kUp ? KEYEVENTF_KEYUP : 0);
  }
  return SendInput(static_cast<UINT>(count), records, sizeof(INPUT)) == static_cast<UINT>(count);
}

bool RealSenderSystem::OpenUtf8File(const char* file) {
  const WideText wide(file, CP_UTF8);
  std::fflush(stdout);
  const HINSTANCE result = ShellExecuteW(nullptr, L"open", wide.Text(), nullptr, nullptr, SW_SHOW);
  return reinterpret_cast<std::intptr_t>(result) > 32;
}

// ---- The keyboard's state ----

bool RealSenderSystem::IsKeyDown(std::uint16_t virtualKey) {
  return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

ProgramArguments::ProgramArguments(int count, const wchar_t* const* arguments) {
  const std::size_t room = static_cast<std::size_t>(count > 0 ? count : 0);
  texts_ = static_cast<char**>(support::AllocateBlock(room * sizeof(char*) + 1));
  inUtf8_ = static_cast<bool*>(support::AllocateBlock(room + 1));
  if (texts_ == nullptr || inUtf8_ == nullptr) {
    Release();
    throw CMyExceptionMemory("ProgramArguments", "constructor",
                             static_cast<std::int32_t>(room * sizeof(char*) + 1));
  }
  CMyString text;
  for (; count_ < count; ++count_) {
    inUtf8_[count_] = AssignFromUtf16(arguments[count_], text);
    const std::size_t size = static_cast<std::size_t>(text.Length()) + 1;
    texts_[count_] = static_cast<char*>(support::AllocateBlock(size));
    if (texts_[count_] == nullptr) {
      Release();
      throw CMyExceptionMemory("ProgramArguments", "constructor", static_cast<std::int32_t>(size));
    }
    std::memcpy(texts_[count_], text.Text() != nullptr ? text.Text() : "", size);
  }
}

ProgramArguments::~ProgramArguments() { Release(); }

void ProgramArguments::Release() {
  for (int i = 0; texts_ != nullptr && i < count_; ++i) support::ReleaseBlock(texts_[i]);
  support::ReleaseBlock(texts_);
  support::ReleaseBlock(inUtf8_);
  texts_ = nullptr;
  inUtf8_ = nullptr;
  count_ = 0;
}

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

bool ReadProcessName(ProcessId processId, CMyString& name, bool* inUtf8) {
  bool unused = false;
  if (inUtf8 == nullptr) inUtf8 = &unused;
  *inUtf8 = false;
  name = kUnknownProcessName;
  const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
  if (process != nullptr) {
    HandleCloser closer(process);
    // Only the first module is asked for: the executable.
    HMODULE executable = nullptr;
    DWORD needed = 0;
    if (EnumProcessModules(process, &executable, sizeof(executable), &needed)) {
      return ReadModuleBaseName(process, executable, name, inUtf8);
    }
  }
  return ReadImageBaseName(processId, name, inUtf8);
}

}  // namespace tapwise
