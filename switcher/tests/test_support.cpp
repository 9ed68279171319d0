#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <random>

#include "backup_codec.h"
#include "run_self.h"
#include "vindo_run.h"

namespace vindo::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device random;
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path base = fs::temp_directory_path();
  for (;;) {
    const fs::path candidate = base / ("vindo-test-" + std::to_string(random()) + "-" +
                                       std::to_string(stamp) + "-" + std::to_string(counter++));
    if (fs::create_directory(candidate)) {
      path_ = candidate.string();
      break;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
#ifdef _WIN32
    SetFileAttributesA(entry.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
  }
  fs::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "can't read " << path;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) { return fs::exists(path); }

bool RemoveForTest(const std::string& path) { return fs::remove(path); }

void MakeDirectory(const std::string& path) { ASSERT_TRUE(fs::create_directories(path)) << path; }

std::string Encode(const std::string& plain) {
  std::string stored(plain.size(), '\0');
  EncodeBackupBytes(plain.data(), plain.size(), stored.data());
  return stored;
}

std::string Decode(const std::string& stored) {
  std::string plain(stored.size(), '\0');
  DecodeBackupBytes(stored.data(), stored.size(), plain.data());
  return plain;
}

#ifdef _WIN32
namespace {
constexpr std::int64_t kUnixEpochInFileTime = 116444736000000000;  // 1970 in 100 ns since 1601
constexpr std::int64_t kTicksPerSecond = 10000000;

FILETIME FromUnix(std::int64_t seconds) {
  const auto ticks = static_cast<ULONGLONG>(seconds * kTicksPerSecond + kUnixEpochInFileTime);
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

std::int64_t ToUnix(const FILETIME& time) {
  const auto ticks = static_cast<std::int64_t>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) |
                                               time.dwLowDateTime);
  return (ticks - kUnixEpochInFileTime) / kTicksPerSecond;
}
}  // namespace

void SetTimes(const std::string& path, const TestTimes& times) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  const FILETIME access = FromUnix(times.access);
  const FILETIME write = FromUnix(times.write);
  EXPECT_TRUE(SetFileTime(file, nullptr, &access, &write));
  CloseHandle(file);
}

TestTimes GetTimes(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  EXPECT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
  return {ToUnix(data.ftLastAccessTime), ToUnix(data.ftLastWriteTime)};
}

void MakeReadOnly(const std::string& path, bool read_only) {
  ASSERT_TRUE(SetFileAttributesA(path.c_str(),
                                 read_only ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
}
#else
void SetTimes(const std::string& path, const TestTimes& times) {
  timespec both[2] = {};
  both[0].tv_sec = static_cast<time_t>(times.access);
  both[1].tv_sec = static_cast<time_t>(times.write);
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), both, 0), 0) << path;
}

TestTimes GetTimes(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return {static_cast<std::int64_t>(info.st_atim.tv_sec),
          static_cast<std::int64_t>(info.st_mtim.tv_sec)};
}

void MakeReadOnly(const std::string& path, bool read_only) {
  ASSERT_EQ(chmod(path.c_str(), read_only ? 0444 : 0644), 0) << path;
}
#endif

std::string TestSwitcherSystem::Printed() const {
  std::string text;
  for (const std::string& entry : console) {
    if (entry != "clear" && entry != "key") text += entry;
  }
  return text;
}

bool TestSwitcherSystem::WriteFails() {
  ++writes;
  return failing_writes.count(writes) != 0 ||
         (fail_later_writes && !failing_writes.empty() && writes > *failing_writes.begin());
}

FileStatus TestSwitcherSystem::HeldOrFailing(const std::string& path, Sharing at_most) {
  if (IsHeld(path, at_most)) return FileStatus::kBusy;
  return WriteFails() ? FileStatus::kFailed : FileStatus::kOk;
}

bool TestSwitcherSystem::IsHeld(const std::string& path, Sharing at_most) const {
  const auto holder = held.find(path);
  return holder != held.end() && holder->second <= at_most;
}

void TestSwitcherSystem::Start() {
  if (++allocating_operations != out_of_memory_at) return;
  out_of_memory_at = 0;
  throw std::bad_alloc();
}

void TestSwitcherSystem::LetGo(const std::string& path) {
  held.erase(path);
  if (pending_deletion.erase(path) != 0) real_.RemoveFile(path);
}

void TestSwitcherSystem::Done(const char* operation, const std::string& path) {
  ++operations;
  last_operation = std::string(operation) + " " + path;
  log.push_back(last_operation);
  if (after_operation) after_operation(operations);
}

PathKind TestSwitcherSystem::Probe(const std::string& path) {
  Start();
  const PathKind kind = IsPending(path) ? PathKind::kUnknown : real_.Probe(path);
  Done("Probe", path);
  return kind;
}

bool TestSwitcherSystem::CaptureFileTimes(const std::string& path, FileTimes* times) {
  Start();
  const bool captured = real_.CaptureFileTimes(path, times);
  if (captured) captured_times.push_back(*times);
  Done("CaptureFileTimes", path);
  return captured;
}

FileStatus TestSwitcherSystem::ReadWholeFile(const std::string& path, std::string* contents) {
  Start();
  FileStatus status = FileStatus::kBusy;
  auto busy = busy_reads.find(path);
  if (++reads == fail_read || IsPending(path)) {
    status = FileStatus::kDenied;
  } else if (busy != busy_reads.end() && busy->second > 0) {
    --busy->second;
  } else if (!IsHeld(path, Sharing::kNothing)) {
    status = real_.ReadWholeFile(path, contents);
  }
  Done("ReadWholeFile", path);
  return status;
}

std::vector<std::string> TestSwitcherSystem::FilesBeside(const std::string& path) {
  Start();
  std::vector<std::string> files = real_.FilesBeside(path);
  Done("FilesBeside", path);
  return files;
}

bool TestSwitcherSystem::IsHeld(const std::string& path) {
  Start();
  opened_exclusively.insert(path);
  const bool is_held = held.count(path) != 0;
  Done("IsHeld", path);
  return is_held;
}

FileStatus TestSwitcherSystem::TakeRunLock(const std::string& path, FileHandle* lock) {
  Start();
  opened_exclusively.insert(path);
  FileStatus status = FileStatus::kDenied;
  if (IsHeld(path, Sharing::kReadingAndWriting)) {
    status = FileStatus::kBusy;
  } else if (!IsPending(path)) {
    status = real_.TakeRunLock(path, lock);
  }
  if (status == FileStatus::kOk) opened_[*lock] = path;
  Done("TakeRunLock", path);
  return status;
}

void TestSwitcherSystem::ReleaseRunLock(const std::string& path, FileHandle lock) {
  real_.ReleaseRunLock(path, lock);
  Done("ReleaseRunLock", path);
}

FileStatus TestSwitcherSystem::CreateNewFile(const std::string& path, FileHandle* handle) {
  Start();
  opened_exclusively.insert(path);
  FileStatus status = WriteFails() ? FileStatus::kFailed : FileStatus::kDenied;
  if (status != FileStatus::kFailed && !IsPending(path)) status = real_.CreateNewFile(path, handle);
  if (status == FileStatus::kOk) opened_[*handle] = path;
  Done("CreateNewFile", path);
  return status;
}

FileStatus TestSwitcherSystem::OpenInPlace(const std::string& path, FileHandle* handle) {
  Start();
  FileStatus status = HeldOrFailing(path, Sharing::kReading);
  if (status == FileStatus::kOk) {
    status = IsPending(path) ? FileStatus::kDenied : real_.OpenInPlace(path, handle);
  }
  if (status == FileStatus::kOk) opened_[*handle] = path;
  Done("OpenInPlace", path);
  return status;
}

bool TestSwitcherSystem::ReadFromStart(FileHandle handle, std::string* contents) {
  return HandleWrite("ReadFromStart", handle,
                     [&] { return real_.ReadFromStart(handle, contents); });
}

bool TestSwitcherSystem::Rewind(FileHandle handle) {
  return HandleWrite("Rewind", handle, [&] { return real_.Rewind(handle); });
}

bool TestSwitcherSystem::WriteFile(FileHandle handle, const char* data, std::size_t size) {
  return HandleWrite("WriteFile", handle, [&] {
    if (lying_paths.count(opened_[handle]) == 0) return real_.WriteFile(handle, data, size);
    std::string other(data, size);
    for (char& byte : other) byte = static_cast<char>(byte ^ 1);
    return real_.WriteFile(handle, other.data(), other.size());
  });
}

bool TestSwitcherSystem::SetFileSize(FileHandle handle, std::uint64_t size) {
  return HandleWrite("SetFileSize", handle, [&] { return real_.SetFileSize(handle, size); });
}

bool TestSwitcherSystem::SetFileTimes(FileHandle handle, const FileTimes& times) {
  Start();
  set_times.push_back(times);
  const bool set = real_.SetFileTimes(handle, times);
  Done("SetFileTimes", opened_[handle]);
  return set;
}

bool TestSwitcherSystem::FlushFile(FileHandle handle) {
  return HandleWrite("FlushFile", handle, [&] { return real_.FlushFile(handle); });
}

bool TestSwitcherSystem::CloseFile(FileHandle handle) {
  const bool closed = real_.CloseFile(handle);
  Done("CloseFile", opened_[handle]);
  opened_.erase(handle);
  return closed;
}

FileStatus TestSwitcherSystem::MoveOverExisting(const std::string& from, const std::string& to) {
  Start();
  FileStatus status = FileStatus::kBusy;
  if (!IsHeld(from, Sharing::kReadingAndWriting) && held.count(to) == 0) {
    status = WriteFails() ? FileStatus::kFailed : FileStatus::kOk;
  }
  if (status == FileStatus::kOk) {
    status = IsPending(to) ? FileStatus::kDenied : real_.MoveOverExisting(from, to);
  }
  Done("MoveOverExisting", to);
  return status;
}

FileStatus TestSwitcherSystem::MoveToNewName(const std::string& from, const std::string& to) {
  Start();
  FileStatus status = WriteFails() ? FileStatus::kFailed : FileStatus::kDenied;
  if (status != FileStatus::kFailed && !IsPending(to)) status = real_.MoveToNewName(from, to);
  Done("MoveToNewName", to);
  return status;
}

bool TestSwitcherSystem::RemoveFile(const std::string& path) {
  bool removed = false;
  if (held.count(path) != 0 && !IsHeld(path, Sharing::kReadingAndWriting)) {
    removed = pending_deletion.insert(path).second;  // its name stays while it is held
  } else if (!IsHeld(path, Sharing::kReadingAndWriting) && !IsPending(path)) {
    removed = real_.RemoveFile(path);
  }
  Done("RemoveFile", path);
  return removed;
}

void TestSwitcherSystem::Sleep(int milliseconds) { sleeps.push_back(milliseconds); }
void TestSwitcherSystem::ClearConsole() { console.push_back("clear"); }
void TestSwitcherSystem::Print(const std::string& text) { console.push_back(text); }
void TestSwitcherSystem::WaitForKey() { console.push_back("key"); }

}  // namespace vindo::testing

namespace vindo::testing {

namespace {
constexpr const char kHardStopFlag[] = "--hard-stop-child";

[[noreturn]] void StopDead() {
#ifdef _WIN32
  TerminateProcess(GetCurrentProcess(), kHardStopExitCode);
#endif
  _exit(kHardStopExitCode);
}
}  // namespace

bool IsHardStopChild(int argc, char** argv) {
  return argc == 7 && std::string(argv[1]) == kHardStopFlag;
}

int HardStopChildMain(char** argv) {
  const int stop_after = std::stoi(argv[2]);
  TestSwitcherSystem stopping;
  stopping.after_operation = [stop_after](int operation) {
    if (operation == stop_after) StopDead();
  };
  const SwitcherPaths paths{argv[4], argv[5]};
  if (std::string(argv[6]) == "held") {
    stopping.held[paths.settings] = TestSwitcherSystem::Sharing::kReadingAndWriting;
    stopping.held[paths.backup] = TestSwitcherSystem::Sharing::kReadingAndWriting;
  }
  return RunVindo({argv[3]}, stopping, paths);
}

int RunHardStopChild(int stop_after, const std::string& mode, const SwitcherPaths& paths,
                     bool held) {
  return test_common::RunThisProgram({kHardStopFlag, std::to_string(stop_after), mode,
                                      paths.settings, paths.backup, held ? "held" : "free"});
}

}  // namespace vindo::testing
