#include "command_line.h"
#include "key_injection.h"
#include "key_script.h"
#include "my_list.h"
#include "tapwise.h"
#include "targets.h"

namespace tapwise {

namespace {

// Opens the file, or brings the window to the front. A target that is not there is
// reported with the list it was looked for in (the usage text for a file); false then.
bool PrepareTarget(SenderSystem& system, TargetKind kind, const char* name) {
  WindowHandle window = nullptr;
  switch (kind) {
    case TargetKind::kNone:
      return true;
    case TargetKind::kFile:
      if (system.OpenFile(name)) return true;
      ShowUsage(system, "Can't find source to execute: ", name);
      return false;
    case TargetKind::kProcess: {
      const ProcessId process = FindProcessByName(system, name);
      if (process == 0) {
        ListProcesses(system, "Can't find the process: ", name);
        return false;
      }
      window = FindWindowOfProcess(system, process);
      if (window == nullptr) {
        ListProcesses(system, "Can't find a window for the process: ", name);
        return false;
      }
      break;
    }
    case TargetKind::kWindow:
      window = system.FindWindowByTitle(name);
      if (window == nullptr) {
        ListWindows(system, "Can't find de window: ", name);
        return false;
      }
      break;
  }
  ActivateWindow(system, window);
  return true;
}

void PrintListing(SenderSystem& system, Listing listing) {
  switch (listing) {
    case Listing::kUsage:
      ShowUsage(system, nullptr, nullptr);
      break;
    case Listing::kProcesses:
      ListProcesses(system, nullptr, nullptr);
      break;
    case Listing::kWindows:
      ListWindows(system, nullptr, nullptr);
      break;
    case Listing::kSpecialKeys:
      ListSpecialKeys(system, nullptr, nullptr);
      break;
    case Listing::kNone:
      break;
  }
}

}  // namespace

int RunTapwise(int argc, const char* const* argv, SenderSystem& system) {
  const RunRequest request = ReadCommandLine(argc, argv);
  if (!PrepareTarget(system, request.target, request.targetName)) return 1;
  // A listing ends the run; a target opened or activated before stays so.
  if (request.listing != Listing::kNone) {
    PrintListing(system, request.listing);
    return 0;
  }

  // The whole script is parsed before anything is sent.
  CMyList<KeyStroke> keys;
  KeyStroke key;
  for (int i = 0; i < request.keyCount; ++i) {
    if (!key.Parse(request.keys[i], system)) {
      ListSpecialKeys(system, "Key not match: ", request.keys[i]);
      return 0;
    }
    keys.Add(key);
  }

  if (!SendKeyScript(system, request.startDelay, keys, request.keyDelay)) {
    ShowUsage(system, "All key can't be send", "");
    return 1;
  }
  return 0;
}

}  // namespace tapwise
