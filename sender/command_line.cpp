#include "command_line.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace tapwise {

namespace {

bool IsOption(const char* argument, const char* word) { return std::strcmp(argument, word) == 0; }

// Leading digits, else 0; never negative: the platform would take -1 as a wait of
// about 49 days.
std::int32_t ReadDelay(const char* text) {
  const long long value = std::strtoll(text, nullptr, 10);
  if (value <= 0) return 0;
  return value > INT_MAX ? INT_MAX : static_cast<std::int32_t>(value);
}

}  // namespace

RunRequest ReadCommandLine(int argc, const char* const* argv, const bool* inUtf8) {
  RunRequest request;
  if (argc <= 1) {
    request.listing = Listing::kUsage;
    return request;
  }
  int cursor = 1;
  if (argc >= 3 && IsOption(argv[1], "-wait")) {
    request.startDelay = ReadDelay(argv[2]);
    cursor = 3;
  }

  // The source; "-process" or "-window" without a name asks for the list instead.
  const bool nameFollows = cursor + 1 < argc;
  if (nameFollows && IsOption(argv[cursor], "-run")) {
    request.target = TargetKind::kFile;
  } else if (cursor < argc && IsOption(argv[cursor], "-process")) {
    if (!nameFollows) {
      request.listing = Listing::kProcesses;
      return request;
    }
    request.target = TargetKind::kProcess;
  } else if (cursor < argc && IsOption(argv[cursor], "-window")) {
    if (!nameFollows) {
      request.listing = Listing::kWindows;
      return request;
    }
    request.target = TargetKind::kWindow;
  }
  if (request.target != TargetKind::kNone) {
    request.targetName = argv[cursor + 1];
    request.targetNameInUtf8 = inUtf8 != nullptr && inUtf8[cursor + 1];
    cursor += 2;
  }

  if (cursor < argc && IsOption(argv[cursor], "-skeys")) {
    request.listing = Listing::kSpecialKeys;
    return request;
  }
  if (cursor + 1 < argc && IsOption(argv[cursor], "-waitKey")) {
    request.keyDelay = ReadDelay(argv[cursor + 1]);
    cursor += 2;
  }
  request.keys = argv + cursor;
  request.keyCount = argc - cursor;
  if (inUtf8 != nullptr) request.keysInUtf8 = inUtf8 + cursor;
  return request;
}

}  // namespace tapwise
