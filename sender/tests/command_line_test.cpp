#include "command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tapwise {
namespace {

// The request in one line, e.g. "wait 500, window Calc, listing none, waitKey 20: a b".
std::string Describe(const RunRequest& request) {
  static const char* const kTargets[] = {"no target", "file ", "process ", "window "};
  static const char* const kListings[] = {"none", "usage", "processes", "windows", "keys"};
  std::string text = "wait " + std::to_string(request.startDelay) + ", " +
                     kTargets[static_cast<int>(request.target)];
  if (request.targetName != nullptr) text += request.targetName;
  text += std::string(", listing ") + kListings[static_cast<int>(request.listing)] + ", waitKey " +
          std::to_string(request.keyDelay) + ":";
  for (int i = 0; i < request.keyCount; ++i) text += std::string(" ") + request.keys[i];
  return text;
}

TEST(ReadCommandLineTest, TakesEachOptionOnlyExactlyAndAtItsPlace) {
  const struct {
    std::vector<const char*> arguments;
    const char* request;
  } cases[] = {
      {{}, "wait 1000, no target, listing usage, waitKey 20:"},
      {{"-wait", "500"}, "wait 500, no target, listing none, waitKey 20:"},
      {{"-process", "NOTEPAD.exe", "-waitKey", "7", "/Shift", "h"},
       "wait 1000, process NOTEPAD.exe, listing none, waitKey 7: /Shift h"},
      {{"-wait", "0", "-run", "calc.exe", "a"},
       "wait 0, file calc.exe, listing none, waitKey 20: a"},
      // Two arguments make a delay, and a source needs its name.
      {{"-wait"}, "wait 1000, no target, listing none, waitKey 20: -wait"},
      {{"-run"}, "wait 1000, no target, listing none, waitKey 20: -run"},
      {{"-wait", "100", "-process"}, "wait 100, no target, listing processes, waitKey 20:"},
      {{"-window"}, "wait 1000, no target, listing windows, waitKey 20:"},
      {{"-window", "Calculator", "-skeys", "a"},
       "wait 1000, window Calculator, listing keys, waitKey 20:"},
      // Out of its place an option is a key token.
      {{"-run", "calc.exe", "-wait", "200", "a"},
       "wait 1000, file calc.exe, listing none, waitKey 20: -wait 200 a"},
      {{"-waitKey", "5", "-window", "Calculator", "a"},
       "wait 1000, no target, listing none, waitKey 5: -window Calculator a"},
      {{"a", "-skeys"}, "wait 1000, no target, listing none, waitKey 20: a -skeys"},
      {{"-Wait", "10", "-waitkey"},
       "wait 1000, no target, listing none, waitKey 20: -Wait 10 -waitkey"},
      // Delays: atoi's digits, never below 0.
      {{"-wait", "abc", "x"}, "wait 0, no target, listing none, waitKey 20: x"},
      {{"-wait", "-1", "-waitKey", "-20", "a"}, "wait 0, no target, listing none, waitKey 0: a"},
      {{"-wait", "99999999999", "-waitKey", "12ms"},
       "wait 2147483647, no target, listing none, waitKey 12:"},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv{"Tapwise.exe"};
    argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
    EXPECT_EQ(Describe(ReadCommandLine(static_cast<int>(argv.size()), argv.data())), c.request);
  }
}

}  // namespace
}  // namespace tapwise
