// Runs the real Tapwise.exe under Wine on an X display, as an operator would, and checks
// what it prints, its exit code, and the keyboard events it sends: keylogger.exe logs
// each event from a low-level keyboard hook (virtual-key code as sent, down or up, time,
// and whether the logger's window was the foreground window).
//
// TAPWISE_EXE, KEYLOGGER_EXE, KEYLOGGER64_EXE and HOLDFILE_EXE name the cross-built
// programs, run with $WINE (else `wine`): the 32-bit ones where Wine runs them, else the
// 64-bit ones, and NO_32BIT_REASON says why. TAPWISE64_EXE, a 64-bit Tapwise.exe to try
// beside a 32-bit TAPWISE_EXE, is optional. Without DISPLAY the tests are skipped. The
// prefix is $WINEPREFIX when set (made with wineboot when it has no C: drive yet),
// otherwise a throwaway prefix that is removed at the end. Injected keys go to the
// foreground window and the hook is global: nothing else may use the display meanwhile,
// and one logger runs at a time.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "wine_harness.h"

namespace {

using namespace blackbox;

[[maybe_unused]] ::testing::Environment* const kWinePrefix =
    ::testing::AddGlobalTestEnvironment(new WinePrefix);

// Waits up to |limit| for the line |last| in a file that another process writes; returns
// the file's lines then.
std::vector<std::string> WaitForLine(const fs::path& path, const std::string& last,
                                     milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  const int changes = inotify_init1(IN_CLOEXEC);
  if (changes >= 0) inotify_add_watch(changes, path.c_str(), IN_MODIFY);
  std::vector<std::string> lines = Lines(ReadBytes(path));
  while (changes >= 0 && std::find(lines.begin(), lines.end(), last) == lines.end() &&
         Readable(changes, deadline)) {
    char events[4096];
    if (read(changes, events, sizeof events) < 0 && errno != EINTR) break;
    lines = Lines(ReadBytes(path));
  }
  if (changes >= 0) close(changes);
  return lines;
}

// ---------------------------------------------------------------------------------
// The key logger

struct KeyEvent {
  unsigned key = 0;  // 0: the line was no key event
  bool down = false;
  double at = 0;  // milliseconds
  bool foreground = false;
  unsigned character = 0;  // of a line that logs a character the window received
  unsigned scan = 0;       // the scan code and the extended-key flag of a key event,
  bool extended = false;   // as the hook sees them or as the window receives them
  bool message = false;    // a key message the window received, not a hook's event
};

KeyEvent ParseEvent(const std::string& line) {
  unsigned key = 0;
  char direction[8] = {};
  double at = 0;
  int foreground = 0;
  unsigned character = 0;
  unsigned scan = 0;
  int extended = 0;
  if (std::sscanf(line.c_str(), "char %x fg=%d", &character, &foreground) == 2) {
    return {0, false, 0, foreground == 1, character};
  }
  if (std::sscanf(line.c_str(), "wkey %x %7s scan=%x ext=%d", &key, direction, &scan, &extended) ==
      4) {
    return {key, std::string(direction) == "down", 0, false, 0, scan, extended == 1, true};
  }
  if (std::sscanf(line.c_str(), "key %x %7s %lf fg=%d scan=%x ext=%d", &key, direction, &at,
                  &foreground, &scan, &extended) < 4) {
    return {};
  }
  return {key, std::string(direction) == "down", at, foreground == 1, 0, scan, extended == 1};
}

// keylogger.exe's first line ends with " fg=1" when its window was in front.
bool ForegroundAtStart(const HelperProcess& logger) {
  const std::string& line = logger.FirstLine();
  return line.size() > 5 && line.compare(line.size() - 5, 5, " fg=1") == 0;
}

// The next |count| key events of a logger, each awaited for a while, then whatever else
// has come.
std::vector<KeyEvent> TakeEvents(HelperProcess& logger, std::size_t count) {
  std::vector<KeyEvent> events;
  std::string line;
  while (events.size() < count && logger.ReadLine(&line, Clock::now() + kLineLimit)) {
    events.push_back(ParseEvent(line));
  }
  while (logger.ReadLine(&line, Clock::now())) events.push_back(ParseEvent(line));
  return events;
}

// Events as "0141 down", for readable comparisons.
std::vector<std::string> Keys(const std::vector<KeyEvent>& events) {
  std::vector<std::string> keys;
  for (const KeyEvent& event : events) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x %s", event.key, event.down ? "down" : "up");
    keys.push_back(event.key ? text : "(no key event)");
  }
  return keys;
}
std::vector<std::string> Down(unsigned key) { return Keys({{key, true}}); }
std::vector<std::string> Up(unsigned key) { return Keys({{key, false}}); }
std::vector<std::string> Tap(unsigned key) { return Keys({{key, true}, {key, false}}); }
std::vector<std::string> Sequence(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::size_t CountForeground(const std::vector<KeyEvent>& events) {
  return static_cast<std::size_t>(std::count_if(
      events.begin(), events.end(), [](const KeyEvent& event) { return event.foreground; }));
}

// ---------------------------------------------------------------------------------
// Expected texts

const char kUsage[] =
    "Syntax: Tapwise [-wait miliseconde] [<source>] [-waitKey miliseconde] <keys>\r\n"
    "Where <source> are:\r\n"
    "   -run \"FileToRun\"\r\n"
    "       or\r\n"
    "   -process \"ProcessToCall\" (to enumerat type -process)\r\n"
    "       or\r\n"
    "   -window \"WindowName\"     (to enumerate type -window)\r\n"
    "Where <keys> are: any keys or special key (to enumerate type -skeys)\r\n"
    "\r\n"
    "Ex.1: \"run calculator and enable scientific mode\": -run calc.exe LMenu A C\r\n"
    "Ex.2: \"write <Hello>\": /Shift h \\Shift e l l o\r\n";

std::string SpecialKeys() {
  std::string names =
      "Back\tTab\tClear\tReturn\tShift\tControl\tMenu\tPause\tCapital\tKana\tJunja\tFinal\t"
      "Kanji\tEsc\tConvert\tNonConvert\tAccept\tModeChange\tSpace\tPrior\tNext\tEnd\tHome\t"
      "Left\tUp\tRight\tDown\tSelect\tPrint\tExecute\tSnapshot\tInsert\tDelete\tHelp\tLWin\t"
      "RWin\tApps\tNum*\tNum+\tNum/\tNum-\tDecimal\tDivide\tNumLock\tScroll\tLShift\tRShift\t"
      "LControl\tRControl\tLMenu\tRMenu\tBrowserBack\tBrowserForward\tBrowserRefresh\t"
      "BrowserStop\tBrowserSearch\tBrowserFavorites\tBrowserHome\tVolMute\tVolDown\tVolUp\t"
      "MediaNext\tMediaPrev\tMediaStop\tMediaPlay\tLaunchMail\tLaunchMediaSelect\t"
      "LaunchApp1\tLaunchApp2\t";
  for (int n = 0; n <= 9; ++n) names += "NumPad" + std::to_string(n) + "\t";
  for (int n = 1; n <= 24; ++n) names += "F" + std::to_string(n) + "\t";
  return "SpecialKeys are:\r\n" + names + "\r\n";
}

const char kProcesses[] = "List of current process:\r\n";
const char kWindows[] = "List of current windows:\r\n";

std::string ErrorLine(const std::string& message, const std::string& detail) {
  return "! Error: " + message + detail + "\r\n\r\n";
}

// A report: it ended with |exit_code| after printing the banner (five lines of 45
// characters framed by asterisks, the second naming program and version, then an empty
// line) and |report|, and nothing on the standard error stream. For a listing, |report|
// is the text up to the list, which must hold one line * "name" per name, each name
// once; returns the names.
std::vector<std::string> ExpectReport(const Outcome& run, int exit_code, const std::string& report,
                                      bool listing = false) {
  EXPECT_EQ(run.exit_code, exit_code);
  EXPECT_EQ(run.errors, "");
  const std::vector<std::string> lines = Lines(run.output);
  std::size_t at = 0;
  for (int n = 0; n < 6 && at != std::string::npos; ++n) at = run.output.find('\n', at + 1);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no banner in:\n" << run.output;
    return {};
  }
  const std::string stars(45, '*');
  EXPECT_EQ(lines[0], stars);
  for (int n = 1; n <= 3; ++n) {
    EXPECT_TRUE(lines[n].size() == 45 && lines[n].rfind("** ", 0) == 0 &&
                lines[n].compare(42, 3, " **") == 0)
        << lines[n];
  }
  EXPECT_EQ(lines[1].rfind("** Tapwise V1.0 **", 0), 0u) << lines[1];
  EXPECT_EQ(lines[4], stars);
  EXPECT_EQ(lines[5], "");
  const std::string rest = run.output.substr(at + 1);
  if (!listing) {
    EXPECT_EQ(rest, report);
    return {};
  }
  EXPECT_EQ(rest.substr(0, report.size()), report);
  std::vector<std::string> names;
  for (const std::string& line : Lines(rest.substr(std::min(report.size(), rest.size())))) {
    const bool framed = line.size() >= 4 && line.rfind("* \"", 0) == 0 && line.back() == '"';
    EXPECT_TRUE(framed) << line;
    names.push_back(framed ? line.substr(3, line.size() - 4) : line);
  }
  EXPECT_EQ(rest.substr(rest.size() - std::min<std::size_t>(rest.size(), 2)), "\r\n");
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "a name twice";
  return names;
}

std::vector<std::string> ExpectListing(const Outcome& run, int exit_code, const std::string& head) {
  return ExpectReport(run, exit_code, head, true);
}

int Count(const std::vector<std::string>& names, const std::string& name) {
  return static_cast<int>(std::count(names.begin(), names.end(), name));
}

// ---------------------------------------------------------------------------------
// The fixture: a scratch folder where the programs run, the logger's title, a decoy

class TapwiseExe : public ::testing::Test {
 protected:
  std::string title;  // the logger's window title, unique to this test program
  fs::path scratch;

  void SetUp() override {
    if (Env("DISPLAY").empty()) GTEST_SKIP() << "DISPLAY names no X display";
    for (const char* name : {"TAPWISE_EXE", "KEYLOGGER_EXE", "KEYLOGGER64_EXE", "HOLDFILE_EXE"}) {
      ASSERT_FALSE(Env(name).empty()) << name << " must name the cross-built program";
    }
    scratch = MakeScratchFolder("tapwise-blackbox");
    ASSERT_FALSE(scratch.empty());
    title = "Tapwise key logger " + std::to_string(getpid());
    // The logger under another name, so that no lookup by name can take it.
    fs::copy_file(Env("KEYLOGGER_EXE"), scratch / "decoy.exe");
  }

  void TearDown() override {
    std::error_code ignored;
    if (!scratch.empty()) fs::remove_all(scratch, ignored);
  }

  // Tapwise.exe (TAPWISE_EXE unless told otherwise) with these arguments.
  Outcome Tapwise(const std::vector<std::string>& arguments, const std::string& exe = "") {
    std::vector<std::string> command{Wine(), exe.empty() ? Env("TAPWISE_EXE") : exe};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return RunToEnd(command, scratch, scratch);
  }

  // The Tapwise builds to try: TAPWISE_EXE, and TAPWISE64_EXE when there is one.
  static std::vector<std::string> TapwiseBuilds() {
    std::vector<std::string> builds{Env("TAPWISE_EXE")};
    if (!Env("TAPWISE64_EXE").empty()) builds.push_back(Env("TAPWISE64_EXE"));
    return builds;
  }

  // The logger with these options before its title.
  ::testing::AssertionResult StartLogger(HelperProcess& logger,
                                         std::vector<std::string> options = {},
                                         const char* exe = "KEYLOGGER_EXE") {
    options.insert(options.begin(), Env(exe));
    options.push_back(title);
    return logger.Start(options, scratch / "keylogger.err", "ready ");
  }

  // A window of another process that takes the foreground from the logger's window, so
  // that only Tapwise can give it back.
  ::testing::AssertionResult StartDecoy(HelperProcess& decoy) {
    auto started = decoy.Start({(scratch / "decoy.exe").string(), "-nohook", "Tapwise decoy"},
                               scratch / "decoy.err", "ready ");
    if (started && !ForegroundAtStart(decoy)) {
      return ::testing::AssertionFailure() << "the decoy window is not in the foreground";
    }
    return started;
  }

  // The logger is found by the name of its executable, in any case, and its window gets
  // the keys.
  void ExpectFoundByNameAndTyped(HelperProcess& logger) {
    HelperProcess decoy;
    ASSERT_TRUE(StartDecoy(decoy));
    ExpectEnded(
        Tapwise({"-wait", "0", "-process", "KeyLogger.EXE", "-waitKey", "0", "a", "/F1", "\\F1"}),
        0, "");
    const std::vector<KeyEvent> events = TakeEvents(logger, 4);
    EXPECT_EQ(Keys(events), Sequence({Tap(0x41), Down(0x70), Up(0x70)}));
    EXPECT_EQ(CountForeground(events), events.size()) << "the logger's window was not in front";
    EXPECT_EQ(decoy.Stop(), 0);
  }

  // Sends F23 and expects it to be the next thing the logger sees: nothing was sent before.
  void ExpectNothingSentBefore(HelperProcess& logger) {
    ExpectEnded(Tapwise({"-wait", "0", "-waitKey", "0", "F23"}), 0, "");
    EXPECT_EQ(Keys(TakeEvents(logger, 2)), Tap(0x86));
  }
};

// ---------------------------------------------------------------------------------
// Reports

TEST_F(TapwiseExe, UsageSpecialKeysListingsAndBadKeysEndWithZeroAndSendNothing) {
  HelperProcess logger;
  ASSERT_TRUE(StartLogger(logger));
  for (const std::string& exe : TapwiseBuilds()) {
    SCOPED_TRACE(exe);
    ExpectReport(Tapwise({}, exe), 0, kUsage);
    ExpectReport(Tapwise({"-skeys"}, exe), 0, SpecialKeys());
    EXPECT_EQ(Count(ExpectListing(Tapwise({"-process"}, exe), 0, kProcesses), "keylogger.exe"), 1);
    EXPECT_EQ(Count(ExpectListing(Tapwise({"-wait", "100", "-window"}, exe), 0, kWindows), title),
              1);
  }
  // An option word out of its place is a key token too; all tokens are read before any
  // is sent.
  const std::pair<std::vector<std::string>, std::string> bad_keys[] = {
      {{"x", "Zorro", "y"}, "Zorro"}, {{"-wait"}, "-wait"}, {{"-run"}, "-run"},
      {{"shift"}, "shift"},           {{"/Ab"}, "/Ab"},     {{"a", "-skeys"}, "-skeys"}};
  for (const auto& [arguments, bad] : bad_keys) {
    SCOPED_TRACE(bad);
    ExpectReport(Tapwise(arguments), 0, ErrorLine("Key not match: ", bad) + SpecialKeys());
  }
  // An empty script: nothing printed, nothing sent.
  ExpectEnded(Tapwise({"-wait", "0"}), 0, "");
  ExpectNothingSentBefore(logger);
  EXPECT_EQ(logger.Stop(), 0);
}

TEST_F(TapwiseExe, FailedLookupsEndWithOneAndAListingOrTheUsageAndSendNothing) {
  HelperProcess logger;
  ASSERT_TRUE(StartLogger(logger));
  const auto listed =
      ExpectListing(Tapwise({"-process", "NoSuchProcess.exe", "a"}), 1,
                    ErrorLine("Can't find the process: ", "NoSuchProcess.exe") + kProcesses);
  EXPECT_EQ(Count(listed, "keylogger.exe"), 1);
  // The whole base name counts, extension included.
  ExpectListing(Tapwise({"-process", "keylogger", "a"}), 1,
                ErrorLine("Can't find the process: ", "keylogger") + kProcesses);

  // holdfile.exe, a console program, has no window at all.
  HelperProcess holder;
  std::ofstream(scratch / "held.txt") << "x";
  ASSERT_TRUE(holder.Start({Env("HOLDFILE_EXE"), WindowsPath(scratch / "held.txt")},
                           scratch / "holdfile.err", "held"));
  const auto with_holder = ExpectListing(
      Tapwise({"-process", "holdfile.exe", "a"}), 1,
      ErrorLine("Can't find a window for the process: ", "holdfile.exe") + kProcesses);
  EXPECT_EQ(Count(with_holder, "holdfile.exe"), 1);
  EXPECT_EQ(holder.Stop(), 0);

  const auto windows =
      ExpectListing(Tapwise({"-window", "No such window", "a"}), 1,
                    ErrorLine("Can't find de window: ", "No such window") + kWindows);
  EXPECT_EQ(Count(windows, title), 1);

  // Run in a console window of its own (cmd's start makes one), Tapwise does not take
  // the host of that console for the program named: the keys would go to its own
  // console.
  const fs::path in_console = scratch / "in-console.txt";
  const Outcome console_run =
      RunToEnd({Wine(), "cmd", "/c", "start", "/wait", "cmd", "/c",
                WindowsPath(Env("TAPWISE_EXE")) + " -wait 0 -process conhost.exe F23 > " +
                    WindowsPath(in_console)},
               scratch, scratch);
  EXPECT_EQ(console_run.exit_code, 1);
  ExpectListing({1, ReadBytes(in_console), "", 0}, 1,
                ErrorLine("Can't find a window for the process: ", "conhost.exe") + kProcesses);

  const std::string missing = WindowsPath(scratch / "missing.exe");
  ExpectReport(Tapwise({"-run", missing, "a"}), 1,
               ErrorLine("Can't find source to execute: ", missing) + kUsage);
  ExpectNothingSentBefore(logger);
  EXPECT_EQ(logger.Stop(), 0);
}

// ---------------------------------------------------------------------------------
// Typing into a window found by its title or its process, or into a started program

TEST_F(TapwiseExe, TheScriptGoesInOrderToTheWindowFoundByItsTitle) {
  HelperProcess logger;
  ASSERT_TRUE(StartLogger(logger));
  for (const std::string& exe : TapwiseBuilds()) {
    SCOPED_TRACE(exe);
    HelperProcess decoy;
    ASSERT_TRUE(StartDecoy(decoy));
    const Outcome run = Tapwise({"-window", title, "-waitKey", "0", "/Shift", "h", "\\Shift", "e",
                                 "l", "l", "o", "A", "/LMenu", "Return", "\\LMenu", "F24"},
                                exe);
    ExpectEnded(run, 0, "");
    EXPECT_GE(run.milliseconds, 1000) << "the default start delay";
    const std::vector<KeyEvent> events = TakeEvents(logger, 20);
    // A single character goes out as VkKeyScanA gives it, shift state in the high byte.
    EXPECT_EQ(Keys(events),
              Sequence({Down(0x10), Tap(0x48), Up(0x10), Tap(0x45), Tap(0x4c), Tap(0x4c), Tap(0x4f),
                        Tap(0x141), Down(0xa4), Tap(0x0d), Up(0xa4), Tap(0x87)}));
    EXPECT_EQ(CountForeground(events), events.size()) << "the logger's window was not in front";
    EXPECT_EQ(decoy.Stop(), 0);
  }
  EXPECT_EQ(logger.Stop(), 0);
}

// A window takes the front while a paced script is typed: the logger gives the front to
// it after its third event. A window of another program, as when a user clicks
// elsewhere: Tapwise must send no further key of the script, let go of the Shift it
// holds, and say why it stopped. A window that the target owns, although another
// program shows it (a printer driver's settings, a credential prompt): the keys go on.
TEST_F(TapwiseExe, KeysStopWhenTheTargetLosesTheFrontAndNothingIsLeftHeld) {
  const std::string owned = "Tapwise owned window";
  struct Case {
    const char* what;
    bool owned;  // the window is owned by the logger's
  } const cases[] = {{"another program's window", false}, {"a window that the target owns", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string other = c.owned ? owned : "Tapwise decoy";
    HelperProcess logger;
    ASSERT_TRUE(StartLogger(logger, {"-yield", "3", other}));
    HelperProcess decoy;
    if (c.owned) {
      ASSERT_TRUE(decoy.Start({(scratch / "decoy.exe").string(), "-ownedby", title, owned},
                              scratch / "decoy.err", "ready "));
    } else {
      ASSERT_TRUE(StartDecoy(decoy));
    }
    std::vector<std::string> arguments{"-wait", "0", "-window", title, "-waitKey", "50", "/Shift"};
    for (char k = 'a'; k <= 'z'; ++k) arguments.push_back(std::string(1, k));
    const Outcome run = Tapwise(arguments);

    if (c.owned) {
      ExpectEnded(run, 0, "");
      std::vector<std::vector<std::string>> taps{Down(0x10), Tap(0x41), {"(no key event)"}};
      for (unsigned k = 0x42; k <= 0x5a; ++k) taps.push_back(Tap(k));
      std::vector<std::string> expected;
      for (const auto& part : taps) expected.insert(expected.end(), part.begin(), part.end());
      EXPECT_EQ(Keys(TakeEvents(logger, expected.size())), expected);
    } else {
      ExpectReport(run, 1, ErrorLine("Keys stopped, the target lost the front: ", title));
      const std::vector<KeyEvent> events = TakeEvents(logger, 5);
      EXPECT_EQ(Keys(events), Sequence({Down(0x10), Tap(0x41), {"(no key event)"}, Up(0x10)}));
      for (const KeyEvent& event : events) {
        EXPECT_TRUE(event.foreground || !event.down) << "a key down went to another window";
      }
      ASSERT_FALSE(events.empty());
      EXPECT_FALSE(events.back().foreground) << "the front did not move";
    }
    EXPECT_EQ(decoy.Stop(), 0);
    EXPECT_EQ(logger.Stop(), 0);
  }
}

// A character that no key of the layout types (here a with umlaut and the euro sign)
// arrives as itself, and so do those that the code page can't hold (zhe, l with stroke,
// an emoji); a capital with Control is the key, Control+A, with no Shift. The keys carry
// their scan codes, the extended ones their flag. The logger's title holds a zhe. The
// command line reaches Wine in the locale's character set, so it must be UTF-8, and
// Wine's code page is then 1252.
TEST_F(TapwiseExe, ACharacterThatNoKeyTypesArrivesAsThatCharacter) {
  const std::string locale = Env("LC_ALL");
  setenv("LC_ALL", "C.UTF-8", 1);
  title += " \u0436";
  HelperProcess logger;
  ASSERT_TRUE(StartLogger(logger, {"-chars"}));
  HelperProcess decoy;
  ASSERT_TRUE(StartDecoy(decoy));
  const Outcome run =
      Tapwise({"-wait",  "0",          "-window", title,       "-waitKey", "0",          "a",
               "\u00e4", "\u20ac",     "b",       "/LControl", "A",        "\\LControl", "\u0436",
               "\u0142", "\U0001F600", "/Shift",  "Left",      "\\Shift",  "RControl",   "Return"});
  locale.empty() ? unsetenv("LC_ALL") : setenv("LC_ALL", locale.c_str(), 1);
  ExpectEnded(run, 0, "");

  std::vector<unsigned> characters;
  std::vector<KeyEvent> keys;
  // "<key> <scan> <ext>" of the first down of each key, as the hook sees it and as the
  // window gets it: each in order, but the hook may see the next key before the window
  // has got the last one.
  std::vector<std::string> hookScans;
  std::vector<std::string> messageScans;
  // 28 events, each as the hook sees it and as a message of the window, and 10 characters.
  for (const KeyEvent& event : TakeEvents(logger, 66)) {
    const std::set<unsigned> watched{0x10, 0x11, 0x25, 0xa3, 0x41, 0x0d};
    if (event.key != 0 && event.down && watched.count(event.key) != 0) {
      char text[32];
      std::snprintf(text, sizeof text, "%04x %02x %d", event.key, event.scan,
                    event.extended ? 1 : 0);
      std::vector<std::string>& scans = event.message ? messageScans : hookScans;
      if (std::find(scans.begin(), scans.end(), text) == scans.end()) scans.push_back(text);
    }
    if (event.message) continue;
    if (event.key != 0) {
      keys.push_back(event);
    } else {
      characters.push_back(event.character);
    }
  }
  EXPECT_EQ(characters, (std::vector<unsigned>{'a', 0xe4, 0x20ac, 'b', 0x01, 0x436, 0x142, 0xd83d,
                                               0xde00, 0x0d}));
  // Characters without a key come as the platform's packet key (0xE7); the two units of
  // a surrogate pair go down together, then up.
  EXPECT_EQ(Keys(keys),
            Sequence({Tap(0x41), Tap(0xe7), Tap(0xe7), Tap(0x42), Down(0xa2), Tap(0x141), Up(0xa2),
                      Tap(0xe7), Tap(0xe7), Down(0xe7), Down(0xe7), Up(0xe7), Up(0xe7), Down(0x10),
                      Tap(0x25), Up(0x10), Tap(0xa3), Tap(0x0d)}));
  EXPECT_EQ(CountForeground(keys), keys.size()) << "the logger's window was not in front";
  // The window gets either Control as Control, the right-hand one told apart by its flag.
  EXPECT_EQ(hookScans, (std::vector<std::string>{"0041 1e 0", "0010 2a 0", "0025 4b 1", "00a3 1d 1",
                                                 "000d 1c 0"}));
  EXPECT_EQ(messageScans, (std::vector<std::string>{"0041 1e 0", "0011 1d 0", "0010 2a 0",
                                                    "0025 4b 1", "0011 1d 1", "000d 1c 0"}));
  EXPECT_EQ(decoy.Stop(), 0);
  EXPECT_EQ(logger.Stop(), 0);
}

TEST_F(TapwiseExe, TheProcessIsFoundByItsNameInAnyCase) {
  HelperProcess logger;
  ASSERT_TRUE(StartLogger(logger));
  ExpectFoundByNameAndTyped(logger);
  EXPECT_EQ(logger.Stop(), 0);
}

// A 32-bit program can read the names of 64-bit processes only in a roundabout way.
TEST_F(TapwiseExe, A32BitTapwiseFindsA64BitProcess) {
  if (!Is32BitProgram(Env("TAPWISE_EXE"))) {
    GTEST_SKIP() << "TAPWISE_EXE is no 32-bit program: " << Env("NO_32BIT_REASON");
  }
  HelperProcess logger;
  ASSERT_TRUE(StartLogger(logger, {}, "KEYLOGGER64_EXE"));
  ExpectFoundByNameAndTyped(logger);
  EXPECT_EQ(logger.Stop(), 0);
}

// The process's window for the keys: its main window, not a hidden helper above it; and
// when a modal dialog of its own disables the main window, that dialog.
TEST_F(TapwiseExe, TheProcessGetsTheKeysInItsMainWindowNotInAHiddenHelperAboveIt) {
  for (const char* option : {"-helper", "-modal"}) {
    SCOPED_TRACE(option);
    HelperProcess logger;
    ASSERT_TRUE(StartLogger(logger, {option}));
    HelperProcess decoy;
    ASSERT_TRUE(StartDecoy(decoy));
    ExpectEnded(Tapwise({"-wait", "0", "-process", "keylogger.exe", "-waitKey", "0", "a"}), 0, "");
    // A helper that was shown says so before the keys, and stands first as (no key event).
    const std::vector<KeyEvent> events = TakeEvents(logger, 2);
    EXPECT_EQ(Keys(events), Tap(0x41));
    EXPECT_EQ(CountForeground(events), events.size()) << "the window was not in front";
    EXPECT_EQ(decoy.Stop(), 0);
    EXPECT_EQ(logger.Stop(), 0);
  }
}

TEST_F(TapwiseExe, RunStartsTheFileWhichThenGetsTheKeys) {
  // Started without arguments, the logger writes to the file that KEYLOGGER_OUTPUT
  // names, and ends after F24.
  const fs::path log = scratch / "started.log";
  std::ofstream{log};
  setenv("KEYLOGGER_OUTPUT", WindowsPath(log).c_str(), 1);
  const Outcome run = Tapwise({"-wait", "2000", "-run", WindowsPath(Env("KEYLOGGER_EXE")),
                               "-waitKey", "0", "a", "/Shift", "\\Shift", "F24"});
  unsetenv("KEYLOGGER_OUTPUT");
  ExpectEnded(run, 0, "");
  EXPECT_GE(run.milliseconds, 2000);

  const std::vector<std::string> lines = WaitForLine(log, "end", kLineLimit);
  ASSERT_GE(lines.size(), 2u) << "the logger did not run to its end";
  EXPECT_EQ(lines.front().rfind("ready ", 0), 0u) << "the keys came before the logger was ready";
  EXPECT_EQ(lines.back(), "end");
  std::vector<KeyEvent> events;
  for (std::size_t n = 1; n + 1 < lines.size(); ++n) events.push_back(ParseEvent(lines[n]));
  EXPECT_EQ(Keys(events), Sequence({Tap(0x41), Down(0x10), Up(0x10), Tap(0x87)}));
}

// ---------------------------------------------------------------------------------
// Delays

TEST_F(TapwiseExe, TheKeyDelayComesBeforeEveryEventAndTheStartDelayBeforeTheFirst) {
  HelperProcess logger;
  ASSERT_TRUE(StartLogger(logger));
  struct Case {
    std::vector<std::string> arguments;
    std::vector<std::string> keys;
    double start_delay;  // milliseconds
    double key_delay;    // milliseconds before each event; 0: back to back
  } const cases[] = {
      {{"-wait", "1500", "-waitKey", "50", "a", "/b", "\\b", "c"},
       Sequence({Tap(0x41), Down(0x42), Up(0x42), Tap(0x43)}),
       1500,
       50},
      {{"-wait", "0", "a", "b"}, Sequence({Tap(0x41), Tap(0x42)}), 0, 20},
      {{"-waitKey", "0", "a", "b", "c"}, Sequence({Tap(0x41), Tap(0x42), Tap(0x43)}), 1000, 0},
      // A negative delay counts as none.
      {{"-wait", "-1000", "-waitKey", "-50", "a", "b"}, Sequence({Tap(0x41), Tap(0x42)}), 0, 0},
  };
  for (const Case& one : cases) {
    SCOPED_TRACE(::testing::PrintToString(one.arguments));
    const Outcome run = Tapwise(one.arguments);
    ExpectEnded(run, 0, "");
    const std::vector<KeyEvent> events = TakeEvents(logger, one.keys.size());
    ASSERT_EQ(Keys(events), one.keys);
    const auto count = static_cast<double>(events.size());
    EXPECT_GE(run.milliseconds, one.start_delay + one.key_delay * count);
    std::vector<double> gaps;
    for (std::size_t n = 1; n < events.size(); ++n) gaps.push_back(events[n].at - events[n - 1].at);
    if (one.key_delay > 0) {
      for (double gap : gaps) EXPECT_GE(gap, one.key_delay - 5) << "a gap too short";
    } else {
      // Back to back: on the whole far quicker than even 10 ms per event.
      EXPECT_LT(events.back().at - events.front().at, 10 * (count - 1))
          << ::testing::PrintToString(gaps);
    }
  }
  EXPECT_EQ(logger.Stop(), 0);
}

}  // namespace
