#include "command_line.h"
#include "key_injection.h"
#include "key_script.h"
#include "my_list.h"
#include "tapwise.h"
#include "targets.h"

namespace tapwise {

namespace {

// The window that was brought to the front, its program and when; none for a file or
// no source, whose keys go to whatever window is in front.
struct ActivatedTarget {
  bool activated = false;
  WindowHandle window = nullptr;
  ProcessId process = 0;
  std::uint32_t at = 0;
};

// Opens the file, or brings the window to the front. A target that is not there is
// reported with the list it was looked for in (the usage text for a file), and one
// that would drop the keys with the usage text; false then.
bool PrepareTarget(SenderSystem& system, TargetKind kind, const char* name, bool nameInUtf8,
                   ActivatedTarget* target) {
  TopLevelWindow window;
  switch (kind) {
    case TargetKind::kNone:
      return true;
    case TargetKind::kFile:
      if (nameInUtf8 ? system.OpenUtf8File(name) : system.OpenFile(name)) return true;
      ShowUsage(system, "Can't find source to execute: ", name, nameInUtf8);
      return false;
    case TargetKind::kProcess:
      switch (LookUpProcess(system, name, window, nameInUtf8)) {
        case Lookup::kFound:
          break;
        case Lookup::kNoProcess:
          ListProcesses(system, "Can't find the process: ", name, nameInUtf8);
          return false;
        case Lookup::kNoWindow:
          ListProcesses(system, "Can't find a window for the process: ", name, nameInUtf8);
          return false;
        case Lookup::kHiddenConsole:
          ListWindows(system,
                      "The process runs in a terminal, give -window the terminal's title: ", name,
                      nameInUtf8);
          return false;
      }
      break;
    case TargetKind::kWindow:
      if (LookUpWindow(system, name, window, nameInUtf8) != Lookup::kFound) {
        ListWindows(system, "Can't find de window: ", name, nameInUtf8);
        return false;
      }
      break;
  }
  // Windows would drop every key without a word.
  if (OutranksTapwise(system, window)) {
    ShowUsage(system, "Can't send keys to a program with higher rights: ", name, nameInUtf8);
    return false;
  }
  ActivateWindow(system, window);
  target->activated = true;
  target->window = window.handle;
  target->process = window.appProcess;
  target->at = system.Milliseconds();
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

  // The keys go only to the window brought to the front (or a window of its tree),
  // never to whatever else is in front.
  TargetFront front = target.activated
                          ? TargetFront(system, target.window, target.process, target.at)
                          : TargetFront(system);
  switch (front.Confirm(request.startDelay)) {
    case FrontState::kInFront:
      break;
    case FrontState::kLost:
      ShowUsage(system, "Can't bring the window to the front: ", name, nameInUtf8);
      return 1;
    case FrontState::kHung:
      ShowError(system, "The target does not respond: ", name, nameInUtf8);
      return 1;
  }
  CMyString namedKeys;
  const SendOutcome outcome = SendKeyScript(system, front.StartDelayLeft(request.startDelay), keys,
                                            request.keyDelay, front, &namedKeys);
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
    case SendOutcome::kTargetHung:
      ShowError(system, "Keys stopped, the target does not respond: ", name, nameInUtf8);
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
