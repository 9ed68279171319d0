// Reading Tapwise's command line: from the arguments to a record of what was asked,
// before anything is done.
#pragma once

#include <cstdint>

namespace tapwise {

// The start delay ("-wait") and the key delay ("-waitKey") when none is given.
constexpr std::int32_t kDefaultStartDelay = 1000;
constexpr std::int32_t kDefaultKeyDelay = 20;

// Where the keys go.
enum class TargetKind {
  kNone,     // to whatever window is in front
  kFile,     // "-run": a file opened through the shell
  kProcess,  // "-process": a window of a running process, brought to the front
  kWindow,   // "-window": a window found by its title, brought to the front
};

// What the run prints in place of sending keys.
enum class Listing { kNone, kUsage, kProcesses, kWindows, kSpecialKeys };

struct RunRequest {
  std::int32_t startDelay = kDefaultStartDelay;
  TargetKind target = TargetKind::kNone;
  const char* targetName = nullptr;  // the file, process name or window title
  // Printed once the target has been dealt with; the run then ends.
  Listing listing = Listing::kNone;
  std::int32_t keyDelay = kDefaultKeyDelay;
  // The key tokens in order, still to be parsed.
  const char* const* keys = nullptr;
  int keyCount = 0;

  // ---- Text that the ANSI code page can't hold ----
  bool targetNameInUtf8 = false;
  const bool* keysInUtf8 = nullptr;  // beside |keys|; null when none is
};

// |argv| holds |argc| arguments, the program's path first. Each option counts only
// exactly and only at its place: "-wait" first, then one source, then "-skeys" or
// "-waitKey"; anything else from there on is a key token. A delay reads as atoi does,
// but never below 0. |inUtf8|, when given, marks beside |argv| the arguments that are in
// UTF-8, as the code page can't hold them (they are never option words, which it holds).
RunRequest ReadCommandLine(int argc, const char* const* argv, const bool* inUtf8 = nullptr);

}  // namespace tapwise
