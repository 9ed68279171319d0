#include "command_line.h"
#include "key_injection.h"
#include "key_script.h"
#include "my_list.h"
#include "tapwise.h"
#include "targets.h"

namespace tapwise {

namespace {

// The window that was brought to the front, and its process; none for a file or no
// source, whose keys go to whatever window is in front.
struct ActivatedTarget {
  bool activated = false;
  ProcessId process = 0;
};

// Opens the file, or brings the window to the front. A target that is not there is
// reported with the list it was looked for in (the usage text for a file); false then.
bool PrepareTarget(SenderSystem& system, TargetKind kind, const char* name, bool nameInUtf8,
                   ActivatedTarget* target) {
  WindowHandle window = nullptr;
  switch (kind) {
    case TargetKind::kNone:
      return true;
    case TargetKind::kFile:
      if (nameInUtf8 ? system.OpenUtf8File(name) : system.OpenFile(name)) return true;
      ShowUsage(system, "Can't find source to execute: ", name, nameInUtf8);
      return false;
    case TargetKind::kProcess: {
      const ProcessId process = FindProcessByName(system, name, nameInUtf8);
      if (process == 0) {
        ListProcesses(system, "Can't find the process: ", name, nameInUtf8);
        return false;
      }
      window = FindWindowOfProcess(system, process);
      if (window == nullptr) {
        ListProcesses(system, "Can't find a window for the process: ", name, nameInUtf8);
        return false;
      }
      target->process = process;
      break;
    }
    case TargetKind::kWindow:
      window = nameInUtf8 ? system.FindWindowByUtf8Title(name) : system.FindWindowByTitle(name);
      if (window == nullptr) {
        ListWindows(system, "Can't find de window: ", name, nameInUtf8);
        return false;
      }
      target->process = system.ProcessOfWindow(window);
      break;
  }
  ActivateWindow(system, window);
  target->activated = true;
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

int RunTapwise(int argc, const char* const* argv, SenderSystem& system, const bool* inUtf8) {
  const RunRequest request = ReadCommandLine(argc, argv, inUtf8);
  const char* const name = request.targetName;
  const bool nameInUtf8 = request.targetNameInUtf8;
  ActivatedTarget target;
  if (!PrepareTarget(system, request.target, name, nameInUtf8, &target)) return 1;
  // A listing ends the run; a target opened or activated before stays so.
  if (request.listing != Listing::kNone) {
    PrintListing(system, request.listing);
    return 0;
  }

  // The whole script is parsed before anything is sent.
  CMyList<KeyStroke> keys;
  KeyStroke key;
  for (int i = 0; i < request.keyCount; ++i) {
    const bool tokenInUtf8 = request.keysInUtf8 != nullptr && request.keysInUtf8[i];
    if (!key.Parse(request.keys[i], system, tokenInUtf8)) {
      ListSpecialKeys(system, "Key not match: ", request.keys[i], tokenInUtf8);
      return 0;
    }
    keys.Add(key);
  }

  // The keys go only to the window brought to the front (or a dialog of its process),
  // never to whatever else is in front.
  TargetFront front = target.activated ? TargetFront(system, target.process) : TargetFront(system);
  if (!front.Confirm()) {
    ShowUsage(system, "Can't bring the window to the front: ", name, nameInUtf8);
    return 1;
  }
  CMyString namedKeys;
  const SendOutcome outcome =
      SendKeyScript(system, request.startDelay, keys, request.keyDelay, front, &namedKeys);
  switch (outcome) {
    case SendOutcome::kSent:
      return 0;
    case SendOutcome::kModifierHeld:
      ShowError(system, "Keys not sent, a modifier key is held down: ", namedKeys.Text());
      return 1;
    case SendOutcome::kRefused:
      ShowError(system, "All key can't be send", "");
      break;
    case SendOutcome::kFrontLost:
      ShowError(system, "Keys stopped, the target lost the front: ", name, nameInUtf8);
      break;
  }
  // A stop: the keys whose release the platform refused may still be down.
  if (namedKeys.Length() > 0) {
    PrintErrorLine(system, "Keys that may still be down: ", namedKeys.Text());
  }
  if (outcome == SendOutcome::kRefused) system.Print(kUsageText);
  return 1;
}

}  // namespace tapwise
