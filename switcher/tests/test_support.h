// Shared helpers of the switcher tests: temporary directories with real files, the
// files' times, and a test double of the seam that records the console, never
// sleeps, and can fail or stop at a chosen file operation.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "settings_store.h"
#include "switcher_system.h"

namespace vindo::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Names of the entries in the directory, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::string path_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
bool Exists(const std::string& path);
bool RemoveForTest(const std::string& path);
void MakeDirectory(const std::string& path);
std::string Encode(const std::string& plain);
std::string Decode(const std::string& stored);

// Seconds since the Unix epoch, as the platform keeps them for a file.
struct TestTimes {
  std::int64_t access = 0;
  std::int64_t write = 0;
};
// The times that the tests give a settings file and a backup before a run.
constexpr TestTimes kOldTimes{981158400, 981072000};       // 2001-02-03 and 2001-02-02
constexpr TestTimes kBackupTimes{1262304000, 1230768000};  // 2010-01-01 and 2009-01-01
void SetTimes(const std::string& path, const TestTimes& times);
TestTimes GetTimes(const std::string& path);
void MakeReadOnly(const std::string& path, bool read_only);

// Runs vindo with |mode| in a child process (this test program, started again) that
// is stopped dead right after its |stop_after|-th file operation; when |held|, the
// settings file and the backup count as held by a program that shares writing. Returns
// the child's exit code: kHardStopExitCode when it was stopped, else the run's own.
constexpr int kHardStopExitCode = 77;
int RunHardStopChild(int stop_after, const std::string& mode, const SwitcherPaths& paths,
                     bool held);

// The child's side, called from main() when the program was started as such a
// child; returns false when the arguments ask for something else.
bool IsHardStopChild(int argc, char** argv);
int HardStopChildMain(char** argv);

class TestSwitcherSystem : public SwitcherSystem {
 public:
  // Console, in call order: "clear", "key", or the printed text.
  std::vector<std::string> console;
  std::string Printed() const;
  std::vector<int> sleeps;

  // Write operations are CreateNewFile, OpenInPlace, WriteFile,
  // SetFileSize, FlushFile, MoveOverExisting and MoveToNewName, and the other steps of a
  // write in place, ReadFromStart and Rewind. The writes in failing_writes fail
  // (numbered from 1), and so does every one after the first of them when
  // fail_later_writes is set. Removing a file and closing a handle always work, as they
  // do on a full disk.
  std::set<int> failing_writes;
  bool fail_later_writes = false;
  int writes = 0;

  // Called after every file operation with its number (from 1); last_operation
  // then names it, as "MoveOverExisting <to>" for example.
  std::function<void(int)> after_operation;
  int operations = 0;
  std::string last_operation;

  // The out_of_memory_at-th file operation (from 1; closing and removing files do not
  // count) throws std::bad_alloc instead of happening, as one whose memory ran out;
  // out_of_memory_at is then cleared.
  int out_of_memory_at = 0;
  int allocating_operations = 0;

  // The fail_read-th ReadWholeFile (numbered from 1) reports kDenied.
  int fail_read = 0;
  int reads = 0;

  // Reads of these paths report kBusy this many more times.
  std::map<std::string, int> busy_reads;

  // Files that another program holds open, as Windows treats them: they can't be
  // replaced by a move, nor moved while the holder does not share their deletion, and
  // they can be read or written in place only as far as the holder shares that. A hold
  // that shares deletion, or one that reads only the attributes, lets the file be
  // removed, but its name stays (pending deletion: it can't be looked at or opened)
  // until LetGo(). A held lock file is another run's lock.
  enum class Sharing { kNothing, kReading, kReadingAndWriting, kEverything, kAttributesOnly };
  std::map<std::string, Sharing> held;
  std::set<std::string> pending_deletion;
  // The holder closes |path|: a file pending deletion goes.
  void LetGo(const std::string& path);

  // Every path that vindo opened sharing nothing with anyone, however briefly.
  std::set<std::string> opened_exclusively;

  // Every file operation, in order: its name and the path (for a handle, the path it
  // was opened with), as last_operation names it.
  std::vector<std::string> log;

  // Writes through a handle of these paths report success but leave other bytes.
  std::set<std::string> lying_paths;

  // The times of every CaptureFileTimes that found them, and the times given to
  // every SetFileTimes, in call order.
  std::vector<FileTimes> captured_times;
  std::vector<FileTimes> set_times;

  PathKind Probe(const std::string& path) override;
  bool CaptureFileTimes(const std::string& path, FileTimes* times) override;
  FileStatus ReadWholeFile(const std::string& path, std::string* contents) override;
  std::vector<std::string> FilesBeside(const std::string& path) override;
  bool IsHeld(const std::string& path) override;
  FileStatus TakeRunLock(const std::string& path, FileHandle* lock) override;
  void ReleaseRunLock(const std::string& path, FileHandle lock) override;
  FileStatus CreateNewFile(const std::string& path, FileHandle* handle) override;
  FileStatus OpenInPlace(const std::string& path, FileHandle* handle) override;
  bool ReadFromStart(FileHandle handle, std::string* contents) override;
  bool Rewind(FileHandle handle) override;
  bool WriteFile(FileHandle handle, const char* data, std::size_t size) override;
  bool SetFileSize(FileHandle handle, std::uint64_t size) override;
  bool SetFileTimes(FileHandle handle, const FileTimes& times) override;
  bool FlushFile(FileHandle handle) override;
  bool CloseFile(FileHandle handle) override;
  FileStatus MoveOverExisting(const std::string& from, const std::string& to) override;
  FileStatus MoveToNewName(const std::string& from, const std::string& to) override;
  bool RemoveFile(const std::string& path) override;
  void Sleep(int milliseconds) override;
  void ClearConsole() override;
  void Print(const std::string& text) override;
  void WaitForKey() override;

 private:
  bool WriteFails();
  bool IsHeld(const std::string& path, Sharing at_most) const;
  bool IsPending(const std::string& path) const { return pending_deletion.count(path) != 0; }
  // A write to |path|, which a hold sharing at most |at_most| refuses as kBusy:
  // kBusy, kFailed when the write fails, or kOk to go ahead.
  FileStatus HeldOrFailing(const std::string& path, Sharing at_most);
  void Start();
  void Done(const char* operation, const std::string& path);
  // One step through an open handle that counts as a write: it fails where the script
  // says, else |call| on the real platform decides.
  template <typename Call>
  bool HandleWrite(const char* operation, FileHandle handle, Call call) {
    Start();
    const bool done = !WriteFails() && call();
    Done(operation, opened_[handle]);
    return done;
  }
  RealSwitcherSystem real_;
  std::map<FileHandle, std::string> opened_;  // the path of each open handle
};

}  // namespace vindo::testing
