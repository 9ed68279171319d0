#include "run_self.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

extern char** environ;
#endif

namespace test_common {

int RunThisProgram(const std::vector<std::string>& arguments) {
#ifdef _WIN32
  char self[MAX_PATH];
  if (GetModuleFileNameA(nullptr, self, MAX_PATH) == 0) return -1;
  // The arguments of the tests hold no quotes, so quoting each one is enough.
  std::string command_line = "\"" + std::string(self) + "\"";
  for (const std::string& argument : arguments) command_line += " \"" + argument + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    // Said here, so that a failed test tells this apart from a child ending with -1.
    std::fprintf(stderr, "CreateProcess failed with error %lu\n", GetLastError());
    return -1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exit_code = 0;
  const BOOL got_code = GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return got_code ? static_cast<int>(exit_code) : -1;
#else
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::vector<std::string> parts = {self};
  parts.insert(parts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& part : parts) argv.push_back(part.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawn(&child, self.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
#endif
}

unsigned long ThisProcessId() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

}  // namespace test_common
