// Tapwise's whole run, from a command line of arbitrary words, against the recording
// double of its seam with the processes, windows and faults that the input scripts.
// What the run does follows from the command line and that script alone, and is
// derived here from the documented behaviour: the report printed and the exit code
// (0 or 1), the file opened or the window brought to the front, and the keyboard
// events, each from a token of the script and in its order, after the start delay and
// with the key delay before each, each only while the window brought to the front (or
// another of its process) is in front. A script with a token that names no key sends
// nothing, and neither does a run that prints a listing or the usage text, or whose
// target does not come to the front; a run that stops early releases the keys it holds,
// the last pressed first (a lone Alt or Windows key after a neutral key), and names
// those whose release is refused; the listings name each process or window once; the 1 ms
// timer period is begun and ended in pairs, also when sending throws.
//
// Input:
//   byte 0  the double's faults and state:
//             bit 0     the "-run" file does not open
//             bit 1     the running processes can't be enumerated
//             bit 2     the 1 ms timer period is refused
//             bit 3     the refused keyboard event throws instead, as a failing platform
//             bits 4-5  how many foreground requests change nothing (0 to 2; 3: all)
//             bit 6     the last window is in front at the start (else none is)
//             bit 7     byte 1 moves the front instead of refusing an event
//   byte 1  the first keyboard event refused, counted from 0; 255 for none. With bit 7
//           of byte 0, the number of events after which the topmost window takes the
//           front, less one
//   byte 2  in its low 4 bits, how many processes and windows follow; bit 4 set marks
//           every argument with a byte above 127 as one in UTF-8, which the code page
//           can't hold (the processes and windows are all in the code page); each is a kind
//           byte, then its name or title up to a NUL (or the end of the input):
//             kind bit 0 clear, a process (ids 4, 8, 12, ... in this order) with
//               that name; an empty one stands for a name that can't be read
//             kind bit 0 set, a top-level window, below those before it:
//               bit 1  it has an owner (the window above it; another for the first)
//               bit 2  it is minimised
//               bit 3  it is hidden
//               bits 4-7  its process, an index among the processes; past them, a
//                         process that is not running
//   then the arguments after the program's path: each ends at a NUL, and the bytes
//   after the last NUL, if any, are one more argument.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "fake_sender_system.h"
#include "fuzz_check.h"
#include "key_script.h"
#include "tapwise.h"

namespace {

using tapwise::testing::FakeProcess;
using tapwise::testing::FakeSenderSystem;
using tapwise::testing::FakeWindow;

// Names and titles come back cut to this many characters.
constexpr std::size_t kNameLength = tapwise::kNameBufferSize - 1;

// More foreground requests than a run makes.
constexpr int kAllRefused = 1000;

// A top-level window; the double's record of its owner is set once the handles are
// known.
struct ScriptedWindow {
  FakeWindow window;
  bool owned;
};

struct Script {
  bool fileOpens = true;
  bool processesEnumerable = true;
  bool periodGranted = true;
  bool refusalThrows = false;
  int foregroundRefusals = 0;
  bool lastWindowInFront = false;
  bool frontMoves = false;
  int refusedEvent = -1;
  std::vector<FakeProcess> processes;
  std::vector<ScriptedWindow> windows;  // topmost first
  std::vector<std::string> arguments;
  std::vector<char> inUtf8;  // beside |arguments|
};

Script ReadScript(const std::uint8_t* data, std::size_t size) {
  Script script;
  script.fileOpens = (data[0] & 0x01) == 0;
  script.processesEnumerable = (data[0] & 0x02) == 0;
  script.periodGranted = (data[0] & 0x04) == 0;
  script.refusalThrows = (data[0] & 0x08) != 0;
  script.foregroundRefusals = (data[0] >> 4) & 0x03;
  if (script.foregroundRefusals == 3) script.foregroundRefusals = kAllRefused;
  script.lastWindowInFront = (data[0] & 0x40) != 0;
  script.frontMoves = (data[0] & 0x80) != 0;
  script.refusedEvent = data[1] == 255 ? -1 : data[1];

  std::size_t at = 3;
  auto text = [&] {
    std::string read;
    while (at < size && data[at] != 0) read += static_cast<char>(data[at++]);
    if (at < size) ++at;  // the NUL
    return read;
  };
  for (int entry = data[2] & 0x0F; entry > 0 && at < size; --entry) {
    const std::uint8_t kind = data[at++];
    const std::string name = text();
    if ((kind & 0x01) == 0) {
      const auto id = static_cast<tapwise::ProcessId>(4 * (script.processes.size() + 1));
      script.processes.emplace_back(id, name.empty() ? "Unknown" : name);
    } else {
      // Process ids go on past the processes for those that are not running.
      const auto process = static_cast<tapwise::ProcessId>(4 * ((kind >> 4) + 1));
      const auto thread = static_cast<tapwise::testing::ThreadId>(100 + script.windows.size());
      script.windows.push_back(
          {FakeWindow(process, thread, name, nullptr, (kind & 0x04) != 0, (kind & 0x08) == 0),
           (kind & 0x02) != 0});
    }
  }

  if (at < size) {
    std::size_t start = at;
    for (; at < size; ++at) {
      if (data[at] != 0) continue;
      script.arguments.emplace_back(reinterpret_cast<const char*>(data + start), at - start);
      start = at + 1;
    }
    if (start < size) {
      script.arguments.emplace_back(reinterpret_cast<const char*>(data + start), size - start);
    }
  }
  for (const std::string& argument : script.arguments) {
    const bool high = std::any_of(argument.begin(), argument.end(),
                                  [](char c) { return static_cast<unsigned char>(c) > 127; });
    script.inUtf8.push_back((data[2] & 0x10) != 0 && high);
  }
  return script;
}

// The double, set up as scripted.
void Stage(const Script& script, FakeSenderSystem& system) {
  system.processes = script.processes;
  system.processesEnumerable = script.processesEnumerable;
  system.fileOpens = script.fileOpens;
  system.timerPeriodGranted = script.periodGranted;
  system.foregroundRefusals = script.foregroundRefusals;
  if (!script.frontMoves) {
    (script.refusalThrows ? system.sendsBeforeException : system.sendsBeforeFailure) =
        script.refusedEvent;
  }
  // The first window's owner, if it has one, is no window of the double.
  tapwise::WindowHandle above = reinterpret_cast<tapwise::WindowHandle>(1);
  tapwise::WindowHandle last = nullptr;
  for (const ScriptedWindow& scripted : script.windows) {
    FakeWindow window = scripted.window;
    if (scripted.owned) window.parent = above;
    last = above = system.AddWindow(window);
    if (script.frontMoves && script.refusedEvent >= 0 && system.frontChanges.empty()) {
      system.frontChanges.push_back({script.refusedEvent + 1, last, 0});
    }
  }
  if (script.lastWindowInFront) system.foreground = last;
}

// ---- The documented behaviour, from the command line and the script ----

// A-Z only, as the process lookup lowers.
std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool Contains(const std::vector<std::string>& list, const std::string& text) {
  for (const std::string& entry : list) {
    if (entry == text) return true;
  }
  return false;
}

// The name Tapwise gets for a process, cut like a title.
std::string ReadName(const FakeProcess& process) { return process.name.substr(0, kNameLength); }

// Each distinct name once, in order of first appearance.
std::vector<std::string> ListedProcesses(const Script& script) {
  std::vector<std::string> listed;
  if (!script.processesEnumerable) return listed;
  for (const FakeProcess& process : script.processes) {
    const std::string name = ReadName(process);
    if (!Contains(listed, name)) listed.push_back(name);
  }
  return listed;
}

// Each title once; the first window with a title decides whether it is listed: not
// when it is owned or untitled.
std::vector<std::string> ListedWindows(const Script& script) {
  std::vector<std::string> seen;
  std::vector<std::string> listed;
  for (const ScriptedWindow& window : script.windows) {
    const std::string title = window.window.title.substr(0, kNameLength);
    if (Contains(seen, title)) continue;
    seen.push_back(title);
    if (!window.owned && !title.empty()) listed.push_back(title);
  }
  return listed;
}

// The process's first visible window without an owner, else its first window.
int FindWindowOfProcess(const Script& script, tapwise::ProcessId process) {
  int first = -1;
  for (std::size_t i = 0; i < script.windows.size(); ++i) {
    const FakeWindow& window = script.windows[i].window;
    if (window.process != process) continue;
    if (window.visible && !script.windows[i].owned) return static_cast<int>(i);
    if (first < 0) first = static_cast<int>(i);
  }
  return first;
}

bool IsMainWindow(const Script& script, int window) {
  return window >= 0 && script.windows[static_cast<std::size_t>(window)].window.visible &&
         !script.windows[static_cast<std::size_t>(window)].owned;
}

// Among the processes whose name equals |name| ignoring the case of A-Z, the first with
// a main window, else the first with a window, else the first; -1 for none. Its window
// goes to |window| (-1 for none).
int FindProcess(const Script& script, const std::string& name, int* window) {
  *window = -1;
  if (!script.processesEnumerable) return -1;
  int found = -1;
  for (std::size_t i = 0; i < script.processes.size(); ++i) {
    if (Lower(ReadName(script.processes[i])) != Lower(name)) continue;
    const int own = FindWindowOfProcess(script, script.processes[i].id);
    if (IsMainWindow(script, own)) {
      *window = own;
      return static_cast<int>(i);
    }
    if (found < 0) found = static_cast<int>(i);
    if (own >= 0 && *window < 0) {
      found = static_cast<int>(i);
      *window = own;
    }
  }
  return found;
}

// The first window, owned or not, whose title (cut like one) equals |title| ignoring the
// case of A-Z, as the platform finds a window by its title.
int FindWindowByTitle(const Script& script, const std::string& title) {
  for (std::size_t i = 0; i < script.windows.size(); ++i) {
    if (Lower(script.windows[i].window.title.substr(0, kNameLength)) == Lower(title)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::string Listing(const char* heading, const std::vector<std::string>& names) {
  std::string text = heading;
  for (const std::string& name : names) text += "* \"" + name + "\"\n";
  return text;
}

std::string_view NameOf(const tapwise::SpecialKey& special) {
  return std::string_view(special.name, strnlen(special.name, sizeof special.name));
}

const std::string& SpecialKeyListing() {
  static const std::string listing = [] {
    std::string text = "SpecialKeys are:\n";
    for (const tapwise::SpecialKey& special : tapwise::SpecialKeyTable) {
      text += std::string(NameOf(special)) + "\t";
    }
    return text + "\n";
  }();
  return listing;
}

std::string Report(const char* message, const std::string& detail, const std::string& body) {
  std::string text = tapwise::kBanner;
  if (message != nullptr) text += std::string("! Error: ") + message + detail + "\n\n";
  return text + body;
}

// A delay: leading digits as atoi reads them, never below 0.
std::int32_t Delay(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  return value <= 0 ? 0 : value > INT_MAX ? INT_MAX : static_cast<std::int32_t>(value);
}

struct KeyEvent {
  enum Kind { kKey, kCharacter, kUnicode };
  // The virtual key, the byte of a character that no key types, or a code point.
  std::uint32_t key;
  bool down;
  Kind kind;
  std::string name;  // as a report names it
};

std::string Event(const KeyEvent& event) {
  char text[48];
  if (event.kind == KeyEvent::kCharacter) {
    std::snprintf(text, sizeof text, "Char %s 0x%02X", event.down ? "down" : "up", event.key);
  } else if (event.kind == KeyEvent::kUnicode && event.key >= 0x10000) {
    std::snprintf(text, sizeof text, "Unicode %s 0x%04X 0x%04X", event.down ? "down" : "up",
                  0xD800 + ((event.key - 0x10000) >> 10), 0xDC00 + (event.key & 0x3FF));
  } else if (event.kind == KeyEvent::kUnicode) {
    std::snprintf(text, sizeof text, "Unicode %s 0x%04X", event.down ? "down" : "up", event.key);
  } else {
    const std::uint32_t key = event.key & 0xFF;
    // The keys with the prefix E0 in the keyboard's scan-code tables.
    const bool extended = key == 0x03 || (key >= 0x21 && key <= 0x28) ||
                          (key >= 0x2C && key <= 0x2E) || (key >= 0x5B && key <= 0x5D) ||
                          key == 0x6F || key == 0x90 || key == 0xA3 || (key >= 0xA5 && key <= 0xB7);
    std::snprintf(text, sizeof text, "%s 0x%04X%s", event.down ? "Down" : "Up", event.key,
                  extended ? " extended" : "");
  }
  return text;
}

// The events of one token, appended to |events|: "/" before a key presses it only, a
// backslash releases it only, else it is pressed and released; the key is a single
// character (the double's key scan gives its code) or a name of the table. False when
// the token names no key.
bool TokenEvents(const std::string& token, bool utf8, std::vector<KeyEvent>& events) {
  int action = -1;
  std::string key = token;
  if (token.size() >= 2 && (token[0] == '/' || token[0] == '\\')) {
    action = token[0] == '/' ? 0 : 1;
    key = token.substr(1);
  }
  std::int32_t code = -1;
  std::uint32_t codePoint = 0;
  std::string name = key;
  FakeSenderSystem layout;
  if (key.size() <= 1 && !utf8) {
    code = layout.KeyScan(key.empty() ? '\0' : key[0]);
    if (key.empty()) name = code == -1 ? "0xFFFF" : std::string(1, '\0');
  } else {
    for (const tapwise::SpecialKey& special : tapwise::SpecialKeyTable) {
      if (key == NameOf(special)) {
        code = special.keyCode;
        break;
      }
    }
    // Else one character of several bytes (the double's code page is UTF-8 for those).
    if (code == -1) codePoint = layout.CharacterOf(key.c_str(), utf8);
    if (code == -1 && codePoint == 0) return false;
  }
  // A character that no key types goes out as itself; the NUL character as its code.
  const bool character = code == -1 && key.size() == 1 && key[0] != '\0' && !utf8;
  KeyEvent event{static_cast<std::uint16_t>(code & 0xFFFF), true, KeyEvent::kKey, name};
  if (codePoint != 0) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", codePoint);
    event = {codePoint, true, KeyEvent::kUnicode, text};
  } else if (character) {
    event = {static_cast<unsigned char>(key[0]), true, KeyEvent::kCharacter, name};
  }
  if (action != 1) events.push_back(event);
  event.down = false;
  if (action != 0) events.push_back(event);
  return true;
}

// An Alt or Windows key, which opens a menu when let go of alone.
bool IsAltOrWindowsKey(const KeyEvent& event) {
  const std::uint32_t key = event.key;
  return event.kind == KeyEvent::kKey &&
         (key == 0x12 || key == 0xA4 || key == 0xA5 || key == 0x5B || key == 0x5C);
}

struct Expected {
  int exitCode = 0;
  std::string output;
  std::string opened;  // the file opened through the shell ...
  bool opensFile = false;
  int activated = -1;  // ... or the window brought to the front
  // Its process, whose windows alone may get the keys.
  tapwise::ProcessId target = 0;
  bool notInFront = false;  // the window did not come to the front
  // When the run gets to sending: the events in order, and the delays; what the
  // platform is asked, in order; whether that throws.
  bool sends = false;
  std::vector<KeyEvent> events;
  std::int32_t startDelay = 1000;
  std::int32_t keyDelay = 20;
  std::vector<std::string> sending;
  bool throws = false;
  std::string stillDown;  // the keys whose release was refused, by name
};

// Whether the window in front belongs to the target once it was activated: the window
// itself unless every request was refused; then the window that was in front before.
bool InFrontOnceActivated(const Expected& expected, const Script& script) {
  if (script.foregroundRefusals != kAllRefused) return true;
  if (!script.lastWindowInFront || script.windows.empty()) return false;
  // The target's are its program's windows and those they own, however deep (each owned
  // window is owned by the one above it; the first by no window of the double).
  std::size_t root = script.windows.size() - 1;
  const bool own = script.windows[root].window.process == expected.target;
  while (root > 0 && script.windows[root].owned) --root;
  return own || script.windows[root].window.process == expected.target;
}

enum class Ending { kSent, kRefused, kFrontLost, kThrows };

// What sending asks of the platform, as the double records it: the start delay, then
// each event with the key delay before it, while the target is in front (after a
// window is brought to the front, only its process's windows will do), up to the first
// event refused (recorded as such) or the one that throws (not recorded); after a stop,
// a key up for each key held down, the last pressed first.
Ending Send(Expected& expected, const Script& script) {
  std::vector<std::string>& calls = expected.sending;
  calls.push_back("Sleep " + std::to_string(expected.startDelay));
  const bool frontMoves = script.frontMoves && script.refusedEvent >= 0 && !script.windows.empty();
  const int refusedFrom = script.frontMoves || script.refusalThrows ? -1 : script.refusedEvent;
  const int throwsAt = script.frontMoves || !script.refusalThrows ? -1 : script.refusedEvent;
  int sends = 0;
  std::vector<KeyEvent> held;        // each as its key down
  bool loneAltOrWindowsKey = false;  // the last key down, still held
  const KeyEvent* lastDown = nullptr;
  Ending ending = Ending::kSent;
  for (const KeyEvent& event : expected.events) {
    if (expected.keyDelay != 0) calls.push_back("Sleep " + std::to_string(expected.keyDelay));
    const bool moved = frontMoves && sends >= script.refusedEvent + 1;
    if (expected.activated >= 0 && moved && script.windows[0].window.process != expected.target) {
      ending = Ending::kFrontLost;
      break;
    }
    const int send = sends++;
    if (send == throwsAt) {
      ending = Ending::kThrows;
      break;
    }
    if (refusedFrom >= 0 && send >= refusedFrom) {
      calls.push_back(Event(event) + " refused");
      ending = Ending::kRefused;
      break;
    }
    calls.push_back(Event(event));
    const auto same = [&](const KeyEvent& down) {
      return down.key == event.key && down.kind == event.kind;
    };
    if (!event.down) {
      held.erase(std::remove_if(held.begin(), held.end(), same), held.end());
      if (lastDown != nullptr && same(*lastDown)) loneAltOrWindowsKey = false;
    } else {
      if (std::find_if(held.begin(), held.end(), same) == held.end()) held.push_back(event);
      loneAltOrWindowsKey = IsAltOrWindowsKey(event);
      lastDown = &event;
    }
  }
  if (ending != Ending::kSent) {
    const auto sendUp = [&](const KeyEvent& key) {
      const bool refused = refusedFrom >= 0 && sends++ >= refusedFrom;
      KeyEvent up = key;
      up.down = false;
      calls.push_back(Event(up) + (refused ? " refused" : ""));
      return !refused;
    };
    if (loneAltOrWindowsKey) {
      const KeyEvent neutral{0xE8, true, KeyEvent::kKey, ""};
      const bool refused = refusedFrom >= 0 && sends++ >= refusedFrom;
      calls.push_back(Event(neutral) + (refused ? " refused" : ""));
      sendUp(neutral);
    }
    for (auto down = held.rbegin(); down != held.rend(); ++down) {
      if (sendUp(*down)) continue;
      expected.stillDown += (expected.stillDown.empty() ? "" : " ") + down->name;
    }
  }
  expected.throws = ending == Ending::kThrows;
  return ending;
}

// The line that names the keys whose release was refused, if any.
std::string StillDown(const Expected& expected) {
  if (expected.stillDown.empty()) return "";
  return "! Error: Keys that may still be down: " + expected.stillDown + "\n\n";
}

// The run, step by step: "-wait" first, then one source, then "-skeys" or "-waitKey";
// anything else from there on is a key token.
Expected Run(const Script& script) {
  Expected expected;
  const std::vector<std::string>& a = script.arguments;
  const std::vector<char>& utf8 = script.inUtf8;
  const std::size_t count = a.size();
  if (count == 0) {
    expected.output = Report(nullptr, "", tapwise::kUsageText);
    return expected;
  }
  std::size_t cursor = 0;
  if (count >= 2 && a[0] == "-wait") {
    expected.startDelay = Delay(a[1]);
    cursor = 2;
  }

  const bool nameFollows = cursor + 1 < count;
  const std::string source = cursor < count ? a[cursor] : "";
  const std::string name = nameFollows ? a[cursor + 1] : "";
  // Only a name in UTF-8 equals one in UTF-8, and the double's are all in the code page.
  const bool nameInUtf8 = nameFollows && utf8[cursor + 1];
  if (nameFollows && source == "-run") {
    expected.opened = (nameInUtf8 ? "UTF-8 " : "") + name;
    expected.opensFile = true;
    if (!script.fileOpens) {
      expected.exitCode = 1;
      expected.output = Report("Can't find source to execute: ", name, tapwise::kUsageText);
      return expected;
    }
    cursor += 2;
  } else if (source == "-process" || source == "-window") {
    const bool processes = source == "-process";
    const std::string listing = processes
                                    ? Listing("List of current process:\n", ListedProcesses(script))
                                    : Listing("List of current windows:\n", ListedWindows(script));
    if (!nameFollows) {
      expected.output = Report(nullptr, "", listing);
      return expected;
    }
    const char* failure = nullptr;
    if (processes) {
      const int process = nameInUtf8 ? -1 : FindProcess(script, name, &expected.activated);
      if (process < 0) {
        failure = "Can't find the process: ";
      } else {
        expected.target = script.processes[process].id;
        if (expected.activated < 0) failure = "Can't find a window for the process: ";
      }
    } else {
      expected.activated = nameInUtf8 ? -1 : FindWindowByTitle(script, name);
      if (expected.activated < 0) {
        failure = "Can't find de window: ";
      } else {
        expected.target =
            script.windows[static_cast<std::size_t>(expected.activated)].window.process;
      }
    }
    if (failure != nullptr) {
      expected.exitCode = 1;
      expected.output = Report(failure, name, listing);
      return expected;
    }
    cursor += 2;
  }

  if (cursor < count && a[cursor] == "-skeys") {
    expected.output = Report(nullptr, "", SpecialKeyListing());
    return expected;
  }
  if (cursor + 1 < count && a[cursor] == "-waitKey") {
    expected.keyDelay = Delay(a[cursor + 1]);
    cursor += 2;
  }
  for (; cursor < count; ++cursor) {
    if (!TokenEvents(a[cursor], utf8[cursor], expected.events)) {
      expected.events.clear();
      expected.output = Report("Key not match: ", a[cursor], SpecialKeyListing());
      return expected;
    }
  }

  if (expected.activated >= 0 && !InFrontOnceActivated(expected, script)) {
    expected.events.clear();
    expected.notInFront = true;
    expected.exitCode = 1;
    expected.output = Report("Can't bring the window to the front: ", name, tapwise::kUsageText);
    return expected;
  }
  expected.sends = true;
  switch (Send(expected, script)) {
    case Ending::kSent:
    case Ending::kThrows:
      break;
    case Ending::kRefused:
      expected.exitCode = 1;
      expected.output =
          Report("All key can't be send", "", StillDown(expected) + tapwise::kUsageText);
      break;
    case Ending::kFrontLost:
      expected.exitCode = 1;
      expected.output =
          Report("Keys stopped, the target lost the front: ", name, StillDown(expected));
      break;
  }
  return expected;
}

// ---- What the run did ----

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool IsKeyEvent(const std::string& call) {
  return StartsWith(call, "Down ") || StartsWith(call, "Up ") || StartsWith(call, "Char ") ||
         StartsWith(call, "Unicode ");
}

bool IsPeriodCall(const std::string& call) {
  return StartsWith(call, "Begin period ") || StartsWith(call, "End period ");
}

// Calls that open the file or bring a window to the front.
bool IsTargetCall(const std::string& call) {
  for (const char* verb : {"Open ", "Hide ", "Show ", "Restore ", "Foreground ", "Force "}) {
    if (StartsWith(call, verb)) return true;
  }
  return false;
}

// Every period begun is ended with the same value once, and only when granted; every
// wait that is not zero falls while a period has been asked for.
void CheckTimerPeriods(const std::vector<std::string>& calls, bool granted) {
  std::string held;  // the value of the period held, if any
  bool asked = false;
  for (const std::string& call : calls) {
    if (StartsWith(call, "Begin period ")) {
      FUZZ_CHECK(held.empty() && !asked);
      asked = true;
      if (granted) held = call.substr(std::strlen("Begin period "));
    } else if (StartsWith(call, "End period ")) {
      FUZZ_CHECK(!held.empty() && call.substr(std::strlen("End period ")) == held);
      held.clear();
      asked = false;
    } else if (StartsWith(call, "Sleep ") && call != "Sleep 0") {
      FUZZ_CHECK(asked);
    }
  }
  FUZZ_CHECK(held.empty());
}

// A window brought to the front: restored when minimised, else hidden; shown; made
// the foreground window, with retries that force it there (this thread's input joined
// to the foreground window's), a pause before each but the first.
void CheckActivation(const std::vector<std::string>& calls, const FakeWindow& window) {
  const std::string& title = window.title;
  FUZZ_CHECK(calls.size() >= 3);
  FUZZ_CHECK(calls[0] == (window.minimized ? "Restore " : "Hide ") + title);
  FUZZ_CHECK(calls[1] == "Show " + title);
  FUZZ_CHECK(calls[2] == "Foreground " + title);
  for (std::size_t i = 3; i < calls.size(); ++i) {
    FUZZ_CHECK(calls[i] == (i % 2 == 1 ? "Force " + title : "Sleep 10"));
  }
  FUZZ_CHECK(calls.size() % 2 == 0 || calls.size() == 3);
}

// The looks for a target that is not in front: for as long as the start delay, half a
// second at least, in 50 pauses of 10 ms at least.
std::size_t ConfirmPauses(std::int32_t startDelay, std::uint32_t* pause) {
  const std::uint32_t limit = startDelay > 500 ? static_cast<std::uint32_t>(startDelay) : 500;
  *pause = limit / 50 > 10 ? limit / 50 : 10;
  return (limit + *pause - 1) / *pause;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const Script script = ReadScript(data, size);
  const Expected expected = Run(script);

  // The argument vector, each argument in a buffer of exactly its size so that
  // reading past its end is caught.
  std::vector<std::unique_ptr<char[]>> buffers;
  std::vector<const char*> argv{"Tapwise.exe"};
  for (const std::string& argument : script.arguments) {
    buffers.push_back(std::make_unique<char[]>(argument.size() + 1));
    std::memcpy(buffers.back().get(), argument.c_str(), argument.size() + 1);
    argv.push_back(buffers.back().get());
  }

  FakeSenderSystem system;
  Stage(script, system);
  int exitCode = -1;
  bool threw = false;
  try {
    const std::unique_ptr<bool[]> inUtf8(new bool[argv.size()]);
    inUtf8[0] = false;
    std::copy(script.inUtf8.begin(), script.inUtf8.end(), inUtf8.get() + 1);
    exitCode =
        tapwise::RunTapwise(static_cast<int>(argv.size()), argv.data(), system, inUtf8.get());
  } catch (const std::runtime_error&) {
    threw = true;  // the double's failing platform; nothing in the run catches it
  }

  // Before sending: the file opened or the window activated, and no keyboard event.
  std::size_t sending = 0;
  for (std::size_t i = 0; i < system.calls.size(); ++i) {
    if (IsTargetCall(system.calls[i])) sending = i + 1;
  }
  const std::vector<std::string> before(system.calls.begin(), system.calls.begin() + sending);
  const std::vector<std::string> after(system.calls.begin() + sending, system.calls.end());
  std::size_t eventsSent = 0;
  for (const std::string& call : system.calls) eventsSent += IsKeyEvent(call) ? 1 : 0;

  FUZZ_CHECK(threw == expected.throws);
  if (!threw) FUZZ_CHECK(exitCode == 0 || exitCode == 1);
  // A script that does not parse, a listing, the usage text, a target that does not
  // come to the front (after half a second at least): nothing is sent.
  if (!expected.sends) {
    FUZZ_CHECK(eventsSent == 0);
    std::uint32_t pause = 0;
    const std::size_t pauses = ConfirmPauses(expected.startDelay, &pause);
    FUZZ_CHECK(after == std::vector<std::string>(expected.notInFront ? pauses : 0,
                                                 "Sleep " + std::to_string(pause)));
  }
  for (const std::string& call : before) FUZZ_CHECK(!IsKeyEvent(call) && !IsPeriodCall(call));
  // The report, which names each process or window of a listing once.
  FUZZ_CHECK(system.output == expected.output);
  if (!threw) FUZZ_CHECK(exitCode == expected.exitCode);

  if (expected.opensFile) {
    FUZZ_CHECK(before == std::vector<std::string>{"Open " + expected.opened});
  } else if (expected.activated >= 0) {
    CheckActivation(before, script.windows[static_cast<std::size_t>(expected.activated)].window);
  } else {
    FUZZ_CHECK(before.empty());
  }

  if (expected.sends) {
    // Every event from a token of the script, in order, each after its delay.
    std::vector<std::string> sent;
    for (const std::string& call : after) {
      if (!IsPeriodCall(call)) sent.push_back(call);
    }
    FUZZ_CHECK(sent == expected.sending);
    CheckTimerPeriods(after, script.periodGranted);
  }

  // The arguments are only read.
  for (std::size_t i = 0; i < script.arguments.size(); ++i) {
    FUZZ_CHECK(script.arguments[i] == buffers[i].get());
  }
  return 0;
}
