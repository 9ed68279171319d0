// The whole vindo run (safeguard, rewrite, backup refresh) on generated settings files
// of 125,000 to 1,000,000 lines, on the real disk with its fsyncs: throughput, growth
// with the file's size, the share of the time spent making files durable, the peak
// resident set of one run in a process of its own, and the run's time against the
// disk's floor right after each run: the same files read twice and written three
// times, each write flushed into a new file that is then moved over the old one and
// its folder flushed, as a durable replacement needs (the floor), and written over
// the old files in place with a flush each (the floor in place, shown beside it).
//
// Every timed run starts from the same original file: it is written back and flushed
// while the timer is paused, so each run rewrites the same lines (mode /1 turns the
// ", MEDIA" endings of the marked items into ", DSC") and finds a backup already there,
// as in use. The settings file is then in the page cache, as it is right after being
// written; the backup and the rewritten file go to the disk through fsync.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings_rewrite.h"
#include "settings_store.h"
#include "switcher_system.h"
#include "vindo_run.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Runs one whole vindo run and exits with its code: the process whose peak is measured.
constexpr char kPeakRunFlag[] = "--peak-run";
// Starts a --peak-run process and prints its peak resident set in KiB (see PeakOfOneRun).
constexpr char kPeakProbeFlag[] = "--peak-probe";
// Writes a generated settings file of the given number of lines to the given path, for
// the runs under Wine (scripts/bench).
constexpr char kWriteSettingsFlag[] = "--write-settings";

constexpr std::int64_t kLineCounts[] = {125000, 250000, 500000, 1000000};
constexpr char kMode[] = "/1";
constexpr double kMegabyte = 1e6;
constexpr double kMemorySlack = 16e6;
constexpr double kThroughputTarget = 100e6;  // bytes of the input file per second
constexpr double kFloorRatioTarget = 1.2;    // a whole run against the disk's floor
// The same run in memory (tmpfs) against the same floor taken there, where a flush
// costs nothing and what the run does besides the floor's reads and writes shows.
constexpr double kMemoryFloorRatioTarget = 2.0;

// The real seam, with the time spent making files durable added up: the fsync of each
// written file, and each move, which also flushes its directory. A failed run must not
// wait for a key.
class BenchSystem : public vindo::RealSwitcherSystem {
 public:
  bool FlushFile(vindo::FileHandle handle) override {
    const Clock::time_point start = Clock::now();
    const bool flushed = RealSwitcherSystem::FlushFile(handle);
    flush_time_ += Clock::now() - start;
    return flushed;
  }
  vindo::FileStatus MoveOverExisting(const std::string& from, const std::string& to) override {
    const Clock::time_point start = Clock::now();
    const vindo::FileStatus status = RealSwitcherSystem::MoveOverExisting(from, to);
    move_time_ += Clock::now() - start;
    return status;
  }
  vindo::FileStatus MoveToNewName(const std::string& from, const std::string& to) override {
    const Clock::time_point start = Clock::now();
    const vindo::FileStatus status = RealSwitcherSystem::MoveToNewName(from, to);
    move_time_ += Clock::now() - start;
    return status;
  }
  void WaitForKey() override {}

  void ResetTimes() { flush_time_ = move_time_ = Clock::duration::zero(); }
  double FlushSeconds() const { return std::chrono::duration<double>(flush_time_).count(); }
  double MoveSeconds() const { return std::chrono::duration<double>(move_time_).count(); }

 private:
  Clock::duration flush_time_{};
  Clock::duration move_time_{};
};

// What each item number is called; the sections pick from it at different offsets.
const char* const kDescriptions[] = {
    "Album 10x15 glossy",  "Album 10x15 matt",   "Album 13x18 glossy", "Print 9x13 glossy",
    "Print 9x13 matt",     "Print 10x15 glossy", "Print 10x15 matt",   "Print 13x18 glossy",
    "Poster 20x30 glossy", "Poster 30x45 matt",  "Index print",        "Panorama 10x30",
    "Passport photo",      "Photo book A4",      "Calendar A3",        "Greeting card",
    "Contact sheet",       "Enlargement 20x25",  "Square 13x13",       "Wallet prints 4x",
};
constexpr int kDescriptionCount = sizeof(kDescriptions) / sizeof(kDescriptions[0]);
constexpr int kItemsPerGeneratedSection = 20;

// A settings file of exactly |lines| CR LF lines: the known sections over and over,
// each with comments, items 1 to 20 and a blank line. Items get the ending that the
// factory defaults give them; items the defaults leave alone alternate between the two.
std::string GenerateSettings(std::int64_t lines) {
  const vindo::FactoryDefaultTable& defaults = vindo::FactoryDefaults();
  std::string text;
  text.reserve(static_cast<std::size_t>(lines) * 32);
  std::int64_t written = 0;
  const auto add = [&](std::string_view line) {
    if (written == lines) return;
    text.append(line);
    text.append("\r\n");
    ++written;
  };
  for (int block = 0; written < lines; ++block) {
    const int section = block % vindo::kKnownSections;
    const std::string header = vindo::kSectionHeaders[section].text;
    add(header);
    add("; " + header.substr(1, header.size() - 2) + " - Auftragsarten, Stand 12.03.2004");
    for (int item = 1; item <= kItemsPerGeneratedSection; ++item) {
      if (item == 11) add("; Grossformate und Sonderprodukte");
      const unsigned char entry = defaults.entry[section][item];
      const bool dsc = entry == 2 || (entry == 0 && item % 2 == 0);
      add(std::to_string(item) + " " + kDescriptions[(item + 3 * section) % kDescriptionCount] +
          (dsc ? ", DSC" : ", MEDIA"));
    }
    add("");
  }
  return text;
}

bool WriteAndSync(const std::string& path, std::string_view content) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = true;
  for (std::size_t done = 0; ok && done < content.size();) {
    const ssize_t written = write(fd, content.data() + done, content.size() - done);
    if (written < 0 && errno == EINTR) continue;
    ok = written > 0;
    if (ok) done += static_cast<std::size_t>(written);
  }
  ok = fsync(fd) == 0 && ok;
  return close(fd) == 0 && ok;
}

bool ReadWhole(const std::string& path, std::string* content) {
  vindo::RealSwitcherSystem system;
  return system.ReadWholeFile(path, content) == vindo::FileStatus::kOk;
}

// Reads the file into |buffer|, which already has the file's size: no allocation.
bool ReadInto(const std::string& path, std::string* buffer) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < buffer->size()) {
    const ssize_t got = read(fd, &(*buffer)[done], buffer->size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return close(fd) == 0 && done == buffer->size();
}

bool IsTmpfs(const std::string& path) {
  struct statfs info;
  return statfs(path.c_str(), &info) == 0 && info.f_type == TMPFS_MAGIC;
}

// |content| made durable at |path| as a replacement must be: written into a new file
// beside it and flushed, moved over the old one, and the folder flushed.
bool ReplaceAndSync(const std::string& path, std::string_view content) {
  const std::string temporary = path + ".floor";
  if (!WriteAndSync(temporary, content) || rename(temporary.c_str(), path.c_str()) != 0) {
    return false;
  }
  const int folder = open(fs::path(path).parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return false;
  const bool flushed = fsync(folder) == 0;
  return close(folder) == 0 && flushed;
}

// The disk's floor for a run on the same file: what a run must do to the disk, done
// directly and nothing else. The settings file is read twice (the safeguard and the
// rewrite read it) into a buffer made beforehand, then the backup, the settings file
// and the backup again are written, each write flushed: by |write|, a durable
// replacement or a write over the old file in place. Returns the seconds taken, or a
// negative number when a read or write failed.
double DiskFloorSeconds(const vindo::SwitcherPaths& paths, std::string* buffer,
                        bool (*write)(const std::string&, std::string_view)) {
  const Clock::time_point start = Clock::now();
  const bool done = ReadInto(paths.settings, buffer) && ReadInto(paths.settings, buffer) &&
                    write(paths.backup, *buffer) && write(paths.settings, *buffer) &&
                    write(paths.backup, *buffer);
  return done ? std::chrono::duration<double>(Clock::now() - start).count() : -1;
}

// A fresh directory under |parent| holding the settings file and its backup; removed
// with everything in it at the end.
class WorkDirectory {
 public:
  explicit WorkDirectory(const std::string& parent) {
    std::string pattern = parent + "/vindo-bench.XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~WorkDirectory() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  WorkDirectory(const WorkDirectory&) = delete;
  WorkDirectory& operator=(const WorkDirectory&) = delete;

  bool ok() const { return !path_.empty(); }
  vindo::SwitcherPaths Paths() const {
    return {path_ + "/servicetype.ini", path_ + "/res_ini.sav"};
  }

 private:
  std::string path_;
};

int ExitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128; }

// The peak resident set, in bytes, of one whole run in a process of its own; -1 when
// the run failed.
//
// ru_maxrss of a child counts the resident set of the process it was forked from,
// which here holds several copies of the file: exec keeps the larger of the old and
// the new image's peak. So this process only starts a small probe (this program,
// freshly executed, which allocates nothing); the probe forks and executes the run,
// reads its ru_maxrss from wait4 and prints it.
long long PeakOfOneRun(const std::string& mode, const vindo::SwitcherPaths& paths) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return -1;
  std::fflush(stdout);
  const pid_t probe = fork();
  if (probe == 0) {
    dup2(pipe_ends[1], STDOUT_FILENO);
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    execl("/proc/self/exe", "vindo_bench", kPeakProbeFlag, mode.c_str(), paths.settings.c_str(),
          paths.backup.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipe_ends[1]);
  std::string answer;
  char buffer[64];
  ssize_t got = 0;
  while ((got = read(pipe_ends[0], buffer, sizeof buffer)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    answer.append(buffer, static_cast<std::size_t>(got));
  }
  close(pipe_ends[0]);
  int status = 0;
  if (probe < 0 || waitpid(probe, &status, 0) != probe || ExitCodeOf(status) != 0) return -1;
  return std::atoll(answer.c_str()) * 1024;
}

int PeakProbe(char** run_arguments) {
  const pid_t run = fork();
  if (run == 0) {
    execl("/proc/self/exe", "vindo_bench", kPeakRunFlag, run_arguments[0], run_arguments[1],
          run_arguments[2], static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (run < 0 || wait4(run, &status, 0, &usage) != run) return 1;
  std::printf("%ld\n", usage.ru_maxrss);
  return ExitCodeOf(status);
}

int PeakRun(char** run_arguments) {
  BenchSystem system;
  return vindo::RunVindo({run_arguments[0]}, system, {run_arguments[1], run_arguments[2]});
}

// Safeguard, rewrite, write and backup refresh, timed as a whole, in |parent|.
void BM_WholeRun(benchmark::State& state, const std::string& parent) {
  const std::int64_t lines = state.range(0);
  const std::string original = GenerateSettings(lines);
  const std::string expected = vindo::RewriteSettings(original, vindo::CorrectionMode::kOn);
  const std::vector<std::string> arguments = {kMode};
  WorkDirectory directory(parent);
  const vindo::SwitcherPaths paths = directory.Paths();
  BenchSystem system;

  // One run before the timed ones, so that each of them replaces an existing backup.
  std::string result;
  if (!directory.ok() || !WriteAndSync(paths.settings, original) ||
      vindo::RunVindo(arguments, system, paths) != 0 || !ReadWhole(paths.settings, &result) ||
      result != expected) {
    state.SkipWithError("the first run failed or rewrote the file wrongly");
    return;
  }
  result = std::string();
  system.ResetTimes();

  // The disk's floors are measured after each run, on the same files, with the timer
  // paused: all see the same machine, however busy it is.
  double run_seconds = 0;
  double floor_seconds = 0;
  double in_place_seconds = 0;
  std::string buffer = original;
  for (auto _ : state) {
    state.PauseTiming();
    const bool restored = WriteAndSync(paths.settings, original);
    state.ResumeTiming();
    const Clock::time_point start = Clock::now();
    const int exit_code = vindo::RunVindo(arguments, system, paths);
    run_seconds += std::chrono::duration<double>(Clock::now() - start).count();
    state.PauseTiming();
    // Each floor starts from the original file, as the run did.
    const auto floor_from_original = [&](auto write) {
      return WriteAndSync(paths.settings, original) ? DiskFloorSeconds(paths, &buffer, write) : -1;
    };
    const double floor = floor_from_original(ReplaceAndSync);
    const double in_place = floor_from_original(WriteAndSync);
    floor_seconds += floor;
    in_place_seconds += in_place;
    state.ResumeTiming();
    if (!restored || exit_code != 0 || floor < 0 || in_place < 0) {
      state.SkipWithError("a run or the floor's reads and writes failed");
      return;
    }
  }

  const auto size = static_cast<std::int64_t>(original.size());
  state.SetBytesProcessed(state.iterations() * size);
  state.SetComplexityN(lines);
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["file_MB"] = static_cast<double>(size) / kMegabyte;
  state.counters["fsync%"] = 100 * system.FlushSeconds() / run_seconds;
  state.counters["move%"] = 100 * system.MoveSeconds() / run_seconds;
  state.counters["floor_ms"] = 1e3 * floor_seconds / static_cast<double>(state.iterations());
  state.counters["in_place_ms"] = 1e3 * in_place_seconds / static_cast<double>(state.iterations());

  if (!WriteAndSync(paths.settings, original)) {
    state.SkipWithError("could not restore the settings file");
    return;
  }
  const long long peak = PeakOfOneRun(kMode, paths);
  if (peak < 0) {
    state.SkipWithError("the peak run failed");
    return;
  }
  state.counters["peak_MB"] = static_cast<double>(peak) / kMegabyte;
  state.counters["budget_MB"] = (2.0 * static_cast<double>(size) + kMemorySlack) / kMegabyte;
}

// The rewrite alone, in memory, its parts going nowhere: the part of the run that is
// pure computation.
void BM_RewriteOnly(benchmark::State& state) {
  const std::int64_t lines = state.range(0);
  const std::string original = GenerateSettings(lines);
  const vindo::PartSink discard = [](std::string_view part) {
    benchmark::DoNotOptimize(part.data());
    return true;
  };
  for (auto _ : state) {
    benchmark::DoNotOptimize(vindo::RewriteSettings(original, vindo::CorrectionMode::kOn, discard));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(original.size()));
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate);
}

// Shows the runs as usual, then weighs those of the headline benchmark against the
// targets (throughput, linear growth, peak memory, the disk's floor), beside the same
// runs in memory.
class TargetReporter : public benchmark::ConsoleReporter {
 public:
  TargetReporter(OutputOptions options, std::string headline, std::string in_memory)
      : ConsoleReporter(options),
        headline_(std::move(headline)),
        in_memory_(std::move(in_memory)) {}

  void ReportRuns(const std::vector<Run>& reports) override {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& run : reports) {
      const std::string& name = run.run_name.function_name;
      if (name == in_memory_ && run.run_type == Run::RT_Iteration && !run.error_occurred) {
        in_memory_seconds_[run.complexity_n] = SecondsPerRun(run);
        in_memory_floor_seconds_[run.complexity_n] = Value(run, "floor_ms") / 1e3;
        in_memory_in_place_seconds_[run.complexity_n] = Value(run, "in_place_ms") / 1e3;
      }
      if (name != headline_) continue;
      if (run.error_occurred) {
        failed_ = true;
      } else if (run.report_big_o) {
        big_o_ns_per_line_ = run.real_accumulated_time * 1e9;
      } else if (run.report_rms) {
        // Stored divided by the time unit, which the adjusted time multiplies back.
        rms_percent_ = run.GetAdjustedRealTime() * 100;
      } else if (run.run_type == Run::RT_Iteration) {
        runs_.push_back(run);
      }
    }
  }

  // Prints the verdicts; true when every target is met.
  bool PrintTargets() const {
    if (runs_.empty() && !failed_) return true;
    std::printf("\nTargets, %s (mode %s); fsync %% is the time in fsync and in the moves\n",
                headline_.c_str(), kMode);
    std::printf("with their directory flush, mem MB/s the same run in %s, floor ms the\n",
                in_memory_.c_str());
    std::printf("disk's floor measured beside each run (2 reads, 3 writes each flushed into\n");
    std::printf("a new file, moved over the old one, its folder flushed), x in place the run\n");
    std::printf("against the floor that writes over the old files in place instead (for\n");
    std::printf("information), mem x the run in memory against each floor taken there:\n");
    std::printf("%10s %8s %7s %9s %8s %8s %9s %8s %9s %9s %8s %8s %8s %8s\n", "lines", "file MB",
                "MB/s", "lines/s", "ns/line", "fsync %", "mem MB/s", "peak MB", "budget MB",
                "floor ms", "x floor", "x in pl", "mem x fl", "mem x pl");
    bool fast = !failed_;
    bool small = !failed_;
    bool near_floor = !failed_;
    bool near_memory_floor = !failed_;
    double fastest = 0;
    double slowest = 0;
    for (const Run& run : runs_) {
      const double seconds = SecondsPerRun(run);
      const double lines = static_cast<double>(run.complexity_n);
      const double file_bytes = Value(run, "file_MB") * kMegabyte;
      const double rate = file_bytes / seconds;
      const double ns_per_line = seconds * 1e9 / lines;
      const double memory_seconds = At(in_memory_seconds_, run.complexity_n);
      const double memory_rate = Ratio(file_bytes, memory_seconds);
      const double memory_floor_ratio =
          Ratio(memory_seconds, At(in_memory_floor_seconds_, run.complexity_n));
      const double memory_in_place_ratio =
          Ratio(memory_seconds, At(in_memory_in_place_seconds_, run.complexity_n));
      fastest = fastest == 0 ? ns_per_line : std::min(fastest, ns_per_line);
      slowest = std::max(slowest, ns_per_line);
      const double floor_seconds = Value(run, "floor_ms") / 1e3;
      const double floor_ratio = Ratio(seconds, floor_seconds);
      const double in_place_ratio = Ratio(seconds, Value(run, "in_place_ms") / 1e3);
      fast = fast && rate >= kThroughputTarget;
      small = small && Value(run, "peak_MB") > 0 && Value(run, "peak_MB") < Value(run, "budget_MB");
      // The target is set for the largest file; a small one pays the run's fixed
      // costs (the folder flushed after each move) over fewer bytes.
      if (run.complexity_n == kLineCounts[3]) {
        near_floor = near_floor && floor_ratio > 0 && floor_ratio <= kFloorRatioTarget;
        // Judged where the same run was made in memory.
        near_memory_floor =
            near_memory_floor &&
            (memory_seconds == 0 ||
             (memory_floor_ratio > 0 && memory_floor_ratio <= kMemoryFloorRatioTarget));
      }
      std::printf(
          "%10.0f %8.1f %7.1f %9.0f %8.1f %8.1f %9.1f %8.1f %9.1f %9.1f %8.2f %8.2f %8.2f %8.2f\n",
          lines, file_bytes / kMegabyte, rate / kMegabyte, lines / seconds, ns_per_line,
          Value(run, "fsync%") + Value(run, "move%"), memory_rate / kMegabyte,
          Value(run, "peak_MB"), Value(run, "budget_MB"), floor_seconds * 1e3, floor_ratio,
          in_place_ratio, memory_floor_ratio, memory_in_place_ratio);
    }
    if (failed_) std::printf("a run of %s failed (see above)\n", headline_.c_str());
    std::printf("throughput >= %.0f MB/s at every size: %s\n", kThroughputTarget / kMegabyte,
                fast ? "met" : "NOT met");
    std::printf("peak resident set < 2 x file + %.0f MB at every size: %s\n",
                kMemorySlack / kMegabyte, small ? "met" : "NOT met");
    std::printf("whole run <= %.1f x the disk's floor at %lld lines: %s\n", kFloorRatioTarget,
                static_cast<long long>(kLineCounts[3]), near_floor ? "met" : "NOT met");
    std::printf("whole run in memory <= %.1f x the floor there at %lld lines: %s\n",
                kMemoryFloorRatioTarget, static_cast<long long>(kLineCounts[3]),
                near_memory_floor ? "met" : "NOT met");
    if (big_o_ns_per_line_ > 0) {
      std::printf("linear fit: %.1f ns x lines, RMS %.1f %%; ns/line from %.1f to %.1f (%.2fx)\n",
                  big_o_ns_per_line_, rms_percent_, fastest, slowest, slowest / fastest);
    }
    return fast && small && near_floor && near_memory_floor;
  }

 private:
  static double SecondsPerRun(const Run& run) {
    return run.real_accumulated_time / static_cast<double>(run.iterations);
  }
  // |amount| per |per|, or 0 where there is nothing to weigh against.
  static double Ratio(double amount, double per) { return per > 0 ? amount / per : 0; }

  // The figure kept for a file of |lines|, or 0 where there is none.
  static double At(const std::map<std::int64_t, double>& by_lines, std::int64_t lines) {
    const auto found = by_lines.find(lines);
    return found == by_lines.end() ? 0 : found->second;
  }

  static double Value(const Run& run, const char* name) {
    const auto counter = run.counters.find(name);
    return counter == run.counters.end() ? 0.0 : counter->second.value;
  }

  std::string headline_;
  std::string in_memory_;
  std::vector<Run> runs_;
  std::map<std::int64_t, double> in_memory_seconds_;
  std::map<std::int64_t, double> in_memory_floor_seconds_;
  std::map<std::int64_t, double> in_memory_in_place_seconds_;
  bool failed_ = false;
  double big_o_ns_per_line_ = 0;
  double rms_percent_ = 0;
};

// Where the files go: $VINDO_BENCH_DIR, else /var/tmp, which is on the disk where /tmp
// may be in memory.
std::string DiskDirectory() {
  const char* chosen = std::getenv("VINDO_BENCH_DIR");
  return chosen != nullptr && *chosen != '\0' ? chosen : "/var/tmp";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], kPeakRunFlag) == 0) return PeakRun(argv + 2);
  if (argc == 5 && std::strcmp(argv[1], kPeakProbeFlag) == 0) return PeakProbe(argv + 2);
  if (argc == 4 && std::strcmp(argv[1], kWriteSettingsFlag) == 0) {
    return WriteAndSync(argv[3], GenerateSettings(std::atoll(argv[2]))) ? 0 : 1;
  }

  // A run of vindo is a process of its own, whose large buffers all come fresh from
  // the kernel. With its default, growing threshold, malloc would keep them around
  // between the runs of this loop, up to 32 MB each, and favour the smaller files.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const std::string disk = DiskDirectory();
  if (IsTmpfs(disk)) {
    std::fprintf(stderr, "warning: %s is in memory (tmpfs); set VINDO_BENCH_DIR to a disk\n",
                 disk.c_str());
  }
  std::printf("settings files in %s\n", disk.c_str());

  const auto configure = [](benchmark::internal::Benchmark* benchmark) {
    for (const std::int64_t lines : kLineCounts) benchmark->Arg(lines);
    benchmark->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
  };
  configure(
      benchmark::RegisterBenchmark("BM_WholeRun", BM_WholeRun, disk)->Complexity(benchmark::oN));
  // The same in memory, where fsync costs nothing: how much of the above is the disk.
  if (IsTmpfs("/dev/shm")) {
    configure(
        benchmark::RegisterBenchmark("BM_WholeRunInMemory", BM_WholeRun, std::string("/dev/shm")));
  }
  benchmark::RegisterBenchmark("BM_RewriteOnly", BM_RewriteOnly)
      ->Arg(kLineCounts[3])
      ->Unit(benchmark::kMillisecond);

  TargetReporter reporter(
      isatty(STDOUT_FILENO) ? TargetReporter::OO_ColorTabular : TargetReporter::OO_Tabular,
      "BM_WholeRun", "BM_WholeRunInMemory");
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.PrintTargets() ? 0 : 2;
}
