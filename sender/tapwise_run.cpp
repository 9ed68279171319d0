#include <climits>
#include <cstdlib>
#include <cstring>

#include "key_injection.h"
#include "key_script.h"
#include "my_list.h"
#include "my_string.h"
#include "tapwise.h"
#include "targets.h"

namespace tapwise {

namespace {

// Option words match only exactly, case included.
bool IsOption(const char* argument, const char* word) { return std::strcmp(argument, word) == 0; }

// A delay in milliseconds as atoi reads it (leading digits, else 0), but never
// negative: the platform would take -1 as a wait of about 49 days.
std::int32_t ReadDelay(const char* text) {
  const long long value = std::strtoll(text, nullptr, 10);
  if (value <= 0) return 0;
  return value > INT_MAX ? INT_MAX : static_cast<std::int32_t>(value);
}

}  // namespace

int RunTapwise(int argc, const char* const* argv, SenderSystem& system) {
  std::int32_t startDelay = kDefaultStartDelay;
  std::int32_t keyDelay = kDefaultKeyDelay;
  int cursor = 1;
  CMyString target;
  CMyList<KeyStroke> keys;

  if (argc <= 1) {
    ShowUsage(system, nullptr, nullptr);
    return 0;
  }
  if (argc >= 3 && IsOption(argv[1], "-wait")) {
    startDelay = ReadDelay(argv[2]);
    cursor = 3;
  }

  // The source: a file to open, a process or a window to bring to the front.
  if (cursor + 1 < argc && IsOption(argv[cursor], "-run")) {
    target = argv[cursor + 1];
    cursor += 2;
    if (system.ShellOpen(target.Text()) <= 32) {
      ShowUsage(system, "Can't find source to execute: ", target.Text());
      return 1;
    }
  } else if (cursor < argc && IsOption(argv[cursor], "-process")) {
    if (cursor + 1 == argc) {
      ListProcesses(system, nullptr, nullptr);
      return 0;
    }
    target = argv[cursor + 1];
    cursor += 2;
    const ProcessId process = FindProcessByName(system, target.Text());
    if (process == 0) {
      ListProcesses(system, "Can't find the process: ", target.Text());
      return 1;
    }
    const WindowHandle window = FindWindowOfProcess(system, process);
    if (window == nullptr) {
      ListProcesses(system, "Can't find a window for the process: ", target.Text());
      return 1;
    }
    ActivateWindow(system, window);
  } else if (cursor < argc && IsOption(argv[cursor], "-window")) {
    if (cursor + 1 == argc) {
      ListWindows(system, nullptr, nullptr);
      return 0;
    }
    target = argv[cursor + 1];
    cursor += 2;
    const WindowHandle window = system.FindWindowByTitle(target.Text());
    if (window == nullptr) {
      ListWindows(system, "Can't find de window: ", target.Text());
      return 1;
    }
    ActivateWindow(system, window);
  }

  if (cursor < argc && IsOption(argv[cursor], "-skeys")) {
    ListSpecialKeys(system, nullptr, nullptr);
    return 0;
  }
  if (cursor + 1 < argc && IsOption(argv[cursor], "-waitKey")) {
    keyDelay = ReadDelay(argv[cursor + 1]);
    cursor += 2;
  }

  // The whole script is parsed before anything is sent.
  KeyStroke key;
  for (; cursor < argc; ++cursor) {
    if (!key.Parse(argv[cursor], system)) {
      ListSpecialKeys(system, "Key not match: ", argv[cursor]);
      keys.RemoveAll();
      return 0;
    }
    keys.Add(key);
  }

  system.Sleep(static_cast<std::uint32_t>(startDelay));
  if (!InjectKeyList(system, keys, keyDelay)) {
    ShowUsage(system, "All key can't be send", "");
    keys.RemoveAll();
    return 1;
  }
  keys.RemoveAll();
  return 0;
}

}  // namespace tapwise
