// What the black-box tests need to run the real programs under Wine as an operator
// would: starting processes with their standard handles in files or pipes, waiting
// for them with a time limit, and one Wine prefix for the whole test program.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace blackbox {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kRunLimit{60000};   // one run of a program
constexpr milliseconds kLineLimit{20000};  // the next line of a helper program

std::string Env(const char* name);
// The Wine loader that runs the programs under test: $WINE, else Debian's `wine`.
std::string Wine();
// The Wine server that goes with it: $WINESERVER, else Debian's `wineserver`.
std::string WineServer();
std::string ReadBytes(const fs::path& path);
// Lines without their line ends (Wine's console output ends them with CR LF).
std::vector<std::string> Lines(const std::string& text);
// The path as a Windows program under Wine sees it, on the Z: drive.
std::string WindowsPath(const fs::path& path);
// True when |exe| is a 32-bit x86 Windows program.
bool Is32BitProgram(const fs::path& exe);
// A fresh folder under the system's temporary folder, named after |stem|.
fs::path MakeScratchFolder(const std::string& stem);

// Waits until |descriptor| is readable or |deadline| has passed; true when readable.
bool Readable(int descriptor, Clock::time_point deadline);

// Starts |command| (searched in PATH) in |directory| with the given standard handles
// (file descriptors of this process, or -1 for /dev/null), or returns -1.
pid_t Spawn(const std::vector<std::string>& command, const fs::path& directory, int input,
            int output, int errors);

// Waits up to |limit| for a child to end (on Linux 5.3 and newer; before, without a
// limit). Returns its exit code, or -1 when it did not end by exiting or was still
// running; it is then killed.
int Wait(pid_t child, milliseconds limit = kRunLimit);

struct Outcome {
  int exit_code = -1;
  std::string output;  // standard output
  std::string errors;  // standard error
  double milliseconds = 0;
};

// Runs a program in |directory| to its end with no input, for |limit| at most. Its
// output is captured through files in |logs|: a program that a Windows program starts
// inherits its handles, and a pipe would stay open as long as that one runs.
Outcome RunToEnd(const std::vector<std::string>& command, const fs::path& directory,
                 const fs::path& logs, milliseconds limit = kRunLimit);

// The run ended with |exit_code| after printing exactly |output|, and nothing on the
// standard error stream.
void ExpectEnded(const Outcome& run, int exit_code, const std::string& output);

// A helper program under Wine whose standard input (it ends when that ends) and output
// are held here.
class HelperProcess {
 public:
  HelperProcess() = default;
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;
  ~HelperProcess() { Stop(); }

  // Starts `$WINE command...` and waits for its first line, which must begin with
  // |first|; that line is kept as FirstLine(). Its standard error goes to |errors_path|.
  ::testing::AssertionResult Start(const std::vector<std::string>& command,
                                   const fs::path& errors_path, const std::string& first);
  const std::string& FirstLine() const { return first_line_; }

  // The next line of its output, waiting until |deadline| at most.
  bool ReadLine(std::string* line, Clock::time_point deadline);

  // Ends its input and waits for its end; returns its exit code.
  int Stop();

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string buffer_;
  std::string first_line_;
};

// The Wine prefix: $WINEPREFIX when set (made with `$WINE wineboot -i` when it has no
// C: drive yet), otherwise a throwaway prefix that is removed at the end with every
// Wine process in it. The prefix has one server while the program runs: its own, or
// one that this program starts when none runs and ends at the end (a server that
// quits with the last Wine program makes the next one fail when it starts in that
// moment). With a server of its own it also keeps the desktop open with an idle
// cmd.exe (a program that starts while Wine closes a desktop waits 10 s for it).
class WinePrefix : public ::testing::Environment {
 public:
  // |boot_limit|: how long making the prefix may take.
  explicit WinePrefix(milliseconds boot_limit = kRunLimit) : boot_limit_(boot_limit) {}
  static fs::path drive_c;
  void SetUp() override;
  void TearDown() override;

 private:
  milliseconds boot_limit_;
  fs::path own_;             // the throwaway prefix's folder, when this program made one
  bool own_server_ = false;  // this program started the prefix's server
  HelperProcess desktop_keeper_;
};

}  // namespace blackbox
