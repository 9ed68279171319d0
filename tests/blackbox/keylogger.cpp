// Test helper: a visible top-level window that logs every keyboard event of the session,
// so that the black-box tests can see what Tapwise sends and where it goes.
//
//   keylogger <title>          window with that title; ends when its standard input ends
//   keylogger -nohook <title>  the same without the hook and without key lines: a window
//                              that takes the foreground away from a logger
//   keylogger -helper <title>  the same as with the title alone, and a hidden window that
//                              the logger's window owns, above it in Z order as the
//                              helper windows of a program on Windows are
//   keylogger -chars <title>   the same as with the title alone, but the events go on to
//                              the windows, and the logger's window logs the characters
//                              it receives
//   keylogger -modal <title>   the same as with the title alone, and a modal dialog of the
//                              window (which disables it) in front; fg= then tells
//                              whether the dialog is in front
//   keylogger -ownedby <owner> <title>
//                              the same as -nohook, with the window owned by the window
//                              titled <owner>, of another process
//   keylogger -yield <n> <other> <title>
//                              the same as with the title alone, and after the n-th
//                              keyboard event it gives the front to the window titled
//                              <other>, as a user who clicks elsewhere would
//   keylogger                  window "Tapwise key logger"; ends after the key-up of F24
//                              (or, as a safety net, after 60 s), for when Tapwise starts
//                              it with "-run"
//
// It writes to standard output, or to the file that the environment variable
// KEYLOGGER_OUTPUT names (a program that Tapwise starts gets no standard output of its
// own), one line each, flushed at once:
//   ready <window handle, hex> <process id> fg=<0|1>
//       once the window is shown and the hook is installed; fg=1 when the window is the
//       foreground window
//   key <virtual-key code, 4 hex digits> <down|up> <milliseconds since start> fg=<0|1>
//       scan=<scan code, 2 hex digits> ext=<0|1>
//       for every keyboard event (one line); fg=1 when the logger's window was the
//       foreground window at that moment; the scan code and the extended-key flag as
//       the event carries them
//   char <UTF-16 code unit, 4 hex digits> fg=<0|1>
//       with -chars, for every character that the logger's window receives (WM_CHAR)
//   wkey <virtual-key code, 4 hex digits> <down|up> scan=<2 hex digits> ext=<0|1>
//       with -chars, for every key message that the logger's window receives, with the
//       scan code and the extended-key flag of its lParam
//   helper shown
//       when the hidden helper window is shown
//   yielded fg=<0|1>
//       once it has given the front away; fg=1 when the window is still in front
//   end | timeout
//       when it stops, after the hook is removed (the window goes with the process:
//       destroying a shown window takes Wine a second or two without a window manager)
//
// The events are taken from a low-level keyboard hook, which sees the virtual-key code
// exactly as it was injected (0x0141 stays 0x0141; window messages only get its low
// byte). Unless told otherwise, the hook keeps every event from going further: whatever
// a test sends, no key is left held down and no window acts on it. The window is a
// Unicode window, so that a character arrives as itself, not through a code page, and
// its title is taken from the command line in UTF-16.
#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kDefaultTitle[] = "Tapwise key logger";
const wchar_t kWideWindowClass[] = L"TapwiseKeyLoggerWindow";
const char kHelperClass[] = "TapwiseKeyLoggerHelper";
const char kDialogClass[] = "TapwiseKeyLoggerDialog";
constexpr DWORD kF24 = 0x87;
constexpr UINT_PTR kSafetyTimer = 1;
constexpr UINT kSafetyMilliseconds = 60000;
constexpr UINT kStopMessage = WM_APP + 1;
constexpr UINT kYieldMessage = WM_APP + 2;

HWND g_window = nullptr;
HWND g_front = nullptr;  // the window whose place in front the lines tell: g_window or its dialog
bool g_stop_at_f24 = false;
bool g_pass_events_on = false;
long g_events_before_yield = -1;  // -1: never
const char* g_yield_to = nullptr;
bool g_timed_out = false;
LARGE_INTEGER g_start{};
LARGE_INTEGER g_frequency{};

double MillisecondsSinceStart() {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart - g_start.QuadPart) * 1000.0 /
         static_cast<double>(g_frequency.QuadPart);
}

int IsForeground() { return GetForegroundWindow() == g_front ? 1 : 0; }

LRESULT CALLBACK KeyboardHook(int code, WPARAM message, LPARAM data) {
  if (code != HC_ACTION) return CallNextHookEx(nullptr, code, message, data);
  const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
  const bool up = message == WM_KEYUP || message == WM_SYSKEYUP;
  std::printf("key %04lx %s %.3f fg=%d scan=%02lx ext=%d\n",
              static_cast<unsigned long>(event->vkCode), up ? "up" : "down",
              MillisecondsSinceStart(), IsForeground(), static_cast<unsigned long>(event->scanCode),
              (event->flags & LLKHF_EXTENDED) != 0 ? 1 : 0);
  std::fflush(stdout);
  if (up && g_stop_at_f24 && event->vkCode == kF24) PostMessageA(g_window, kStopMessage, 0, 0);
  // Not from inside the hook, which holds up the event: as soon as the hook is done.
  if (g_events_before_yield > 0 && --g_events_before_yield == 0) {
    PostMessageA(g_window, kYieldMessage, 0, 0);
  }
  return g_pass_events_on ? CallNextHookEx(nullptr, code, message, data) : 1;
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER:
      if (wparam != kSafetyTimer) break;
      g_timed_out = true;
      PostQuitMessage(0);
      return 0;
    case kStopMessage:
    case WM_CLOSE:
      PostQuitMessage(0);
      return 0;
    case WM_CHAR:
      std::printf("char %04x fg=%d\n", static_cast<unsigned>(wparam), IsForeground());
      std::fflush(stdout);
      return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      std::printf("wkey %04x %s scan=%02x ext=%d\n", static_cast<unsigned>(wparam),
                  message == WM_KEYUP || message == WM_SYSKEYUP ? "up" : "down",
                  static_cast<unsigned>((lparam >> 16) & 0xFF), (lparam & (1 << 24)) != 0 ? 1 : 0);
      std::fflush(stdout);
      break;
    case kYieldMessage:
      SetForegroundWindow(FindWindowA(nullptr, g_yield_to));
      std::printf("yielded fg=%d\n", IsForeground());
      std::fflush(stdout);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK HelperProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SHOWWINDOW && wparam) {
    std::printf("helper shown\n");
    std::fflush(stdout);
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

// Reads standard input to its end, then asks the window's thread to stop.
DWORD WINAPI WatchInput(LPVOID) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char buffer[256];
  DWORD got = 0;
  while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
  }
  PostMessageA(g_window, kStopMessage, 0, 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QueryPerformanceFrequency(&g_frequency);
  QueryPerformanceCounter(&g_start);
  char output[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("KEYLOGGER_OUTPUT", output, sizeof output);
  if (length > 0 && length < sizeof output && !std::freopen(output, "w", stdout)) return 1;
  const bool owned = argc > 3 && std::strcmp(argv[1], "-ownedby") == 0;
  const bool modal = argc > 2 && std::strcmp(argv[1], "-modal") == 0;
  const bool hooked = !(argc > 2 && std::strcmp(argv[1], "-nohook") == 0) && !owned;
  const bool helper = argc > 2 && std::strcmp(argv[1], "-helper") == 0;
  const bool yields = argc > 4 && std::strcmp(argv[1], "-yield") == 0;
  g_pass_events_on = argc > 2 && std::strcmp(argv[1], "-chars") == 0;
  int title_at = argc > 1 ? (hooked && !helper && !g_pass_events_on && !modal ? 1 : 2) : 0;
  HWND owner = nullptr;
  if (owned) {
    owner = FindWindowA(nullptr, argv[2]);
    title_at = 3;
    if (!owner) {
      std::printf("failed FindWindow %s\n", argv[2]);
      return 1;
    }
  }
  if (yields) {
    g_events_before_yield = std::atol(argv[2]);
    g_yield_to = argv[3];
    title_at = 4;
  }
  // The title as the command line holds it, also what the ANSI code page can't.
  int wide_count = 0;
  wchar_t** const wide_arguments = CommandLineToArgvW(GetCommandLineW(), &wide_count);
  const wchar_t* title =
      title_at > 0 && wide_arguments && title_at < wide_count ? wide_arguments[title_at] : nullptr;
  wchar_t default_title[64];
  MultiByteToWideChar(CP_ACP, 0, kDefaultTitle, -1, default_title, 64);
  g_stop_at_f24 = argc <= 1;

  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kWideWindowClass;
  if (!RegisterClassW(&window_class)) {
    std::printf("failed RegisterClass %lu\n", GetLastError());
    return 1;
  }
  g_window =
      CreateWindowExW(0, kWideWindowClass, title ? title : default_title, WS_OVERLAPPEDWINDOW, 100,
                      100, 400, 200, owner, nullptr, instance, nullptr);
  g_front = g_window;
  if (!g_window) {
    std::printf("failed CreateWindow %lu\n", GetLastError());
    return 1;
  }
  if (helper) {
    WNDCLASSA helper_class{};
    helper_class.lpfnWndProc = HelperProcedure;
    helper_class.hInstance = instance;
    helper_class.lpszClassName = kHelperClass;
    if (!RegisterClassA(&helper_class) ||
        !CreateWindowExA(0, kHelperClass, "Tapwise key logger helper", WS_POPUP, 0, 0, 10, 10,
                         g_window, nullptr, instance, nullptr)) {
      std::printf("failed helper window %lu\n", GetLastError());
      return 1;
    }
  }
  ShowWindow(g_window, SW_SHOW);
  UpdateWindow(g_window);
  if (modal) {
    // As a program does while a modal dialog is open: the dialog in front, its owner
    // disabled.
    WNDCLASSA dialog_class{};
    dialog_class.lpfnWndProc = DefWindowProcA;
    dialog_class.hInstance = instance;
    dialog_class.lpszClassName = kDialogClass;
    g_front = RegisterClassA(&dialog_class)
                  ? CreateWindowExA(WS_EX_DLGMODALFRAME, kDialogClass, "Tapwise key logger dialog",
                                    WS_POPUP | WS_CAPTION, 150, 150, 200, 100, g_window, nullptr,
                                    instance, nullptr)
                  : nullptr;
    if (!g_front) {
      std::printf("failed dialog window %lu\n", GetLastError());
      return 1;
    }
    EnableWindow(g_window, FALSE);
    ShowWindow(g_front, SW_SHOW);
    SetForegroundWindow(g_front);
  }
  // Wine does not always bring the window of a program started next to a logger to the
  // front; a window that is there to take the front must be sure of it.
  if (!hooked) SetForegroundWindow(g_window);

  const HHOOK hook =
      hooked ? SetWindowsHookExA(WH_KEYBOARD_LL, KeyboardHook, instance, 0) : nullptr;
  if (hooked && !hook) {
    std::printf("failed SetWindowsHookEx %lu\n", GetLastError());
    DestroyWindow(g_window);
    return 1;
  }
  if (g_stop_at_f24) {
    SetTimer(g_window, kSafetyTimer, kSafetyMilliseconds, nullptr);
  } else {
    const HANDLE watcher = CreateThread(nullptr, 0, WatchInput, nullptr, 0, nullptr);
    if (!watcher) {
      std::printf("failed CreateThread %lu\n", GetLastError());
      if (hook) UnhookWindowsHookEx(hook);
      DestroyWindow(g_window);
      return 1;
    }
    CloseHandle(watcher);
  }

  std::printf("ready %p %lu fg=%d\n", static_cast<void*>(g_window), GetCurrentProcessId(),
              IsForeground());
  std::fflush(stdout);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  if (hook) UnhookWindowsHookEx(hook);
  std::printf("%s\n", g_timed_out ? "timeout" : "end");
  std::fflush(stdout);
  return g_timed_out ? 2 : 0;
}
