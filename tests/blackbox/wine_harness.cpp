#include "wine_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

extern char** environ;

namespace blackbox {

fs::path WinePrefix::drive_c;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string Wine() {
  const std::string wine = Env("WINE");
  return wine.empty() ? "wine" : wine;
}

std::string WineServer() {
  const std::string server = Env("WINESERVER");
  return server.empty() ? "wineserver" : server;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "can't read " << path;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1) {
    lines.push_back(text.substr(from, end - from));
    if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
  }
  return lines;
}

std::string WindowsPath(const fs::path& path) {
  std::string text = "Z:" + fs::absolute(path).string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

bool Is32BitProgram(const fs::path& exe) {
  // The PE header's offset is at 0x3c; its machine field follows the "PE\0\0" mark.
  const std::string bytes = ReadBytes(exe);
  if (bytes.size() < 0x40) return false;
  const auto byte = [&](std::size_t at) {
    return at < bytes.size() ? static_cast<unsigned char>(bytes[at]) : 0u;
  };
  const std::size_t header = byte(0x3c) | byte(0x3d) << 8 | byte(0x3e) << 16;
  return header + 6 <= bytes.size() && bytes.compare(header, 4, std::string("PE\0\0", 4)) == 0 &&
         (byte(header + 4) | byte(header + 5) << 8) == 0x14c;
}

fs::path MakeScratchFolder(const std::string& stem) {
  std::string pattern = (fs::temp_directory_path() / (stem + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

bool Readable(int descriptor, Clock::time_point deadline) {
  pollfd watch{descriptor, POLLIN, 0};
  int ready = 0;
  do {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    ready = poll(&watch, 1, static_cast<int>(std::max<decltype(left)>(left, 0)));
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}

pid_t Spawn(const std::vector<std::string>& command, const fs::path& directory, int input,
            int output, int errors) {
  std::vector<std::string> parts = command;
  std::vector<char*> argv;
  for (std::string& part : parts) argv.push_back(part.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  bool ready = posix_spawn_file_actions_addchdir_np(&actions, directory.c_str()) == 0;
  const int handles[3] = {input, output, errors};
  for (int target = 0; target < 3 && ready; ++target) {
    ready = handles[target] < 0
                ? posix_spawn_file_actions_addopen(&actions, target, "/dev/null",
                                                   target == 0 ? O_RDONLY : O_WRONLY, 0) == 0
                : posix_spawn_file_actions_adddup2(&actions, handles[target], target) == 0;
  }
  pid_t child = -1;
  if (!ready || posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    child = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return child;
}

int Wait(pid_t child, milliseconds limit) {
  // A process descriptor (Linux 5.3 and newer) becomes readable when the child ends.
  // Without one (an older kernel) the wait has no limit.
  const int handle = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
  const bool ended = handle < 0 || Readable(handle, Clock::now() + limit);
  if (handle >= 0) close(handle);
  if (!ended) kill(child, SIGKILL);
  int status = 0;
  pid_t reaped = -1;
  do {
    reaped = waitpid(child, &status, 0);
  } while (reaped < 0 && errno == EINTR);
  return ended && reaped == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Outcome RunToEnd(const std::vector<std::string>& command, const fs::path& directory,
                 const fs::path& logs, milliseconds limit) {
  const fs::path output_path = logs / "stdout";
  const fs::path errors_path = logs / "stderr";
  const int output = open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int errors = open(errors_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  Outcome outcome;
  const auto started = Clock::now();
  if (output >= 0 && errors >= 0) {
    const pid_t child = Spawn(command, directory, -1, output, errors);
    if (child > 0) outcome.exit_code = Wait(child, limit);
  }
  outcome.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
  if (output >= 0) close(output);
  if (errors >= 0) close(errors);
  outcome.output = ReadBytes(output_path);
  outcome.errors = ReadBytes(errors_path);
  return outcome;
}

void ExpectEnded(const Outcome& run, int exit_code, const std::string& output) {
  EXPECT_EQ(run.exit_code, exit_code);
  EXPECT_EQ(run.output, output);
  EXPECT_EQ(run.errors, "");
}

::testing::AssertionResult HelperProcess::Start(const std::vector<std::string>& command,
                                                const fs::path& errors_path,
                                                const std::string& first) {
  int to_helper[2] = {-1, -1};
  int from_helper[2] = {-1, -1};
  if (pipe2(to_helper, O_CLOEXEC) != 0 || pipe2(from_helper, O_CLOEXEC) != 0) {
    for (int end : {to_helper[0], to_helper[1]}) {
      if (end >= 0) close(end);
    }
    return ::testing::AssertionFailure() << "no pipe";
  }
  input_ = to_helper[1];
  output_ = from_helper[0];
  const int errors = open(errors_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  std::vector<std::string> wine{Wine()};
  wine.insert(wine.end(), command.begin(), command.end());
  pid_ = Spawn(wine, errors_path.parent_path(), to_helper[0], from_helper[1], errors);
  close(to_helper[0]);
  close(from_helper[1]);
  if (errors >= 0) close(errors);
  if (pid_ < 0 || !ReadLine(&first_line_, Clock::now() + kLineLimit) ||
      first_line_.rfind(first, 0) != 0) {
    return ::testing::AssertionFailure() << command[0] << " did not get ready: \"" << first_line_
                                         << "\" " << ReadBytes(errors_path);
  }
  return ::testing::AssertionSuccess();
}

bool HelperProcess::ReadLine(std::string* line, Clock::time_point deadline) {
  std::size_t end;
  while ((end = buffer_.find('\n')) == std::string::npos) {
    char chunk[4096];
    const ssize_t got = Readable(output_, deadline) ? read(output_, chunk, sizeof chunk) : 0;
    if (got <= 0) return false;
    buffer_.append(chunk, static_cast<std::size_t>(got));
  }
  *line = buffer_.substr(0, end);
  if (!line->empty() && line->back() == '\r') line->pop_back();
  buffer_.erase(0, end + 1);
  return true;
}

int HelperProcess::Stop() {
  if (input_ >= 0) close(input_);
  const int exit_code = pid_ > 0 ? Wait(pid_, kLineLimit) : -1;
  if (output_ >= 0) close(output_);
  pid_ = input_ = output_ = -1;
  return exit_code;
}

void WinePrefix::SetUp() {
  setenv("WINEDEBUG", "-all", 1);
  if (Env("WINEPREFIX").empty()) {
    own_ = MakeScratchFolder("blackbox-prefix");
    ASSERT_FALSE(own_.empty());
    setenv("WINEPREFIX", (own_ / "prefix").c_str(), 1);
  }
  const fs::path prefix = Env("WINEPREFIX");
  drive_c = prefix / "drive_c";
  fs::create_directories(prefix);
  const fs::path logs = own_.empty() ? prefix : own_;
  // Exit code 2: the prefix has a server already.
  const Outcome server = RunToEnd({WineServer(), "-p"}, prefix, logs);
  ASSERT_TRUE(server.exit_code == 0 || server.exit_code == 2)
      << WineServer() << " -p ended with exit code " << server.exit_code << ":\n"
      << server.output << server.errors;
  own_server_ = server.exit_code == 0;
  if (!fs::exists(drive_c)) {
    // wine64 on a machine with wine32 installed but not runnable warns about the
    // prefix's 32-bit part and may end non-zero; the prefix is usable all the same.
    // A wineboot that could not start its install step still ends as if it had, and
    // leaves no kernel32.dll, without which no program starts in the prefix.
    const Outcome boot = RunToEnd({Wine(), "wineboot", "-i"}, prefix, logs, boot_limit_);
    ASSERT_TRUE(fs::is_regular_file(drive_c / "windows" / "system32" / "kernel32.dll"))
        << "wineboot -i made no usable prefix (exit code " << boot.exit_code << "):\n"
        << boot.output << boot.errors;
  }
  ASSERT_TRUE(fs::is_directory(drive_c)) << drive_c;
  if (own_server_) {
    ASSERT_TRUE(desktop_keeper_.Start({"cmd.exe"}, logs / "desktop-keeper.err", "Microsoft"));
  }
}

void WinePrefix::TearDown() {
  // Ends the prefix's server and with it every Wine process of the prefix.
  if (own_server_) RunToEnd({WineServer(), "-k"}, drive_c.parent_path(), drive_c.parent_path());
  desktop_keeper_.Stop();
  if (own_.empty()) return;
  // Debian's server keeps its socket in a folder of $TMPDIR that the prefix names and
  // that nobody else removes.
  std::ifstream named(drive_c.parent_path() / "wineserver");
  std::string server_folder;
  std::error_code ignored;
  if (std::getline(named, server_folder) && server_folder.rfind("wine-", 0) == 0 &&
      server_folder.find('/') == std::string::npos) {
    fs::remove_all(fs::temp_directory_path() / server_folder, ignored);
  }
  fs::remove_all(own_, ignored);
}

}  // namespace blackbox
