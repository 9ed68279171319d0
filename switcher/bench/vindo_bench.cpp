// The whole vindo run (safeguard, rewrite, backup refresh) on generated settings
// files of up to a million lines, on the real disk with its fsyncs: throughput, the
// growth with the file's size, and the peak memory of one run in a fresh process.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "settings_store.h"
#include "switcher_system.h"
#include "vindo_run.h"

namespace {

namespace fs = std::filesystem;

constexpr char kPeakRunFlag[] = "--peak-run";
constexpr double kMegabyte = 1024.0 * 1024.0;

// A settings file of |lines| CR LF lines: the known sections in turn, each with a
// comment and items 1 to 20, every one ending in ", DSC".
std::string GenerateSettings(long lines) {
  static const char* const kSections[] = {"[DPOF]",   "[N64]",    "[DPC]",  "[FCOS]",
                                          "[C5_FPX]", "[C5_BMP]", "[OTHER]"};
  std::string text;
  text.reserve(static_cast<std::size_t>(lines) * 32);
  long written = 0;
  for (int section = 0; written < lines; section = (section + 1) % 7) {
    text += kSections[section];
    text += "\r\n; Druckformate dieses Abschnitts\r\n";
    written += 2;
    for (int item = 1; item <= 20 && written < lines; ++item, ++written) {
      text += std::to_string(item) + " Album 10x15 glossy, DSC\r\n";
    }
  }
  return text;
}

struct BenchFiles {
  fs::path directory;
  vindo::SwitcherPaths paths;
  std::size_t size = 0;

  BenchFiles(const fs::path& parent, long lines) {
    directory = parent / ("vindo-bench-" + std::to_string(getpid()) + "-" + std::to_string(lines));
    fs::create_directories(directory);
    paths = {(directory / "servicetype.ini").string(), (directory / "res_ini.sav").string()};
    const std::string text = GenerateSettings(lines);
    std::ofstream(paths.settings, std::ios::binary)
        .write(text.data(), static_cast<std::streamsize>(text.size()));
    size = text.size();
  }
  ~BenchFiles() { fs::remove_all(directory); }
};

// The peak resident set, in bytes, of one whole run in a fresh process.
long PeakOfOneRun(const vindo::SwitcherPaths& paths) {
  const pid_t child = fork();
  if (child == 0) {
    execl("/proc/self/exe", "vindo_bench", kPeakRunFlag, "/1", paths.settings.c_str(),
          paths.backup.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    return -1;
  }
  return usage.ru_maxrss * 1024L;
}

void RunWholeVindo(benchmark::State& state, const fs::path& parent) {
  const long lines = state.range(0);
  BenchFiles files(parent, lines);
  vindo::RealSwitcherSystem system;
  // Alternate off and on, so that every run rewrites the marked lines.
  const std::vector<std::string> modes[] = {{"/0"}, {"/1"}};
  int turn = 0;
  for (auto _ : state) {
    if (vindo::RunVindo(modes[turn], system, files.paths) != 0) {
      state.SkipWithError("vindo run failed");
      break;
    }
    turn ^= 1;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(files.size));
  state.SetComplexityN(lines);
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate);
  const long peak = PeakOfOneRun(files.paths);
  state.counters["file_MB"] = static_cast<double>(files.size) / kMegabyte;
  state.counters["peak_MB"] = static_cast<double>(peak) / kMegabyte;
  state.counters["budget_MB"] = 2.0 * static_cast<double>(files.size) / kMegabyte + 16.0;
}

// On the disk, as an operator's machine runs it: every file is flushed with fsync.
void BM_WholeRunOnDisk(benchmark::State& state) { RunWholeVindo(state, fs::temp_directory_path()); }
BENCHMARK(BM_WholeRunOnDisk)
    ->Arg(125000)
    ->Arg(250000)
    ->Arg(500000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oN);

// The same in memory (fsync costs nothing there): the share of the disk in the above.
void BM_WholeRunInMemory(benchmark::State& state) { RunWholeVindo(state, "/dev/shm"); }
BENCHMARK(BM_WholeRunInMemory)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == kPeakRunFlag) {
    vindo::RealSwitcherSystem system;
    return vindo::RunVindo({argv[2]}, system, vindo::SwitcherPaths{argv[3], argv[4]});
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
