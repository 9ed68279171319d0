#include "settings_store.h"

#include <algorithm>
#include <utility>

namespace vindo {
namespace {

// Small enough to keep memory flat while a mapped file is written.
constexpr std::size_t kWriteChunk = 64 * 1024;
constexpr std::string_view kTemporaryEnd = ".tmp";

std::string TemporaryName(const std::string& path, unsigned long long number) {
  return path + "." + std::to_string(number) + std::string(kTemporaryEnd);
}

// True for <path>.<digits>.tmp: a temporary file of a write to |path|.
bool IsTemporaryOf(std::string_view file, std::string_view path) {
  if (file.size() <= path.size() + 1 + kTemporaryEnd.size() ||
      file.substr(0, path.size()) != path || file[path.size()] != '.' ||
      file.substr(file.size() - kTemporaryEnd.size()) != kTemporaryEnd) {
    return false;
  }
  const std::string_view number =
      file.substr(path.size() + 1, file.size() - path.size() - 1 - kTemporaryEnd.size());
  return std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Closes a file handle when it goes out of scope, unless Close() did so already.
class HandleCloser {
 public:
  HandleCloser(SwitcherSystem& system, FileHandle handle) : system_(system), handle_(handle) {}
  ~HandleCloser() {
    if (open_) system_.CloseFile(handle_);
  }
  HandleCloser(const HandleCloser&) = delete;
  HandleCloser& operator=(const HandleCloser&) = delete;

  bool Close() {
    open_ = false;
    return system_.CloseFile(handle_);
  }

 private:
  SwitcherSystem& system_;
  FileHandle handle_;
  bool open_ = true;
};

}  // namespace

const char kSettingsDirectory[] = "c:\\fe\\fein";
const char kSettingsFileName[] = "servicetype.ini";
const char kBackupFileName[] = "res_ini.sav";

SwitcherPaths DefaultPaths() {
  return {std::string(kSettingsDirectory) + "\\" + kSettingsFileName, kBackupFileName};
}

bool FileExists(SwitcherSystem& system, const std::string& path) {
  return system.Probe(path) != PathKind::kMissing;
}

FileStatus ReadFileRetrying(SwitcherSystem& system, const std::string& path,
                            std::string* contents) {
  FileStatus status = system.ReadWholeFile(path, contents);
  for (int attempt = 1; status == FileStatus::kBusy && attempt < kBusyAttempts; ++attempt) {
    system.Sleep(kBusyRetryMilliseconds);
    status = system.ReadWholeFile(path, contents);
  }
  return status;
}

SafeWrite::SafeWrite(SwitcherSystem& system, std::string path, ByteMapping map)
    : system_(system), path_(std::move(path)), map_(map) {}

SafeWrite::~SafeWrite() { Discard(); }

FileStatus SafeWrite::Begin() {
  RemoveStaleTemporaries();
  if (map_) mapped_.resize(kWriteChunk);
  // There is always a next name: only files that can't be removed take one.
  FileStatus status = FileStatus::kExists;
  for (unsigned long long number = 0; status == FileStatus::kExists; ++number) {
    temporary_ = TemporaryName(path_, number);
    status = system_.CreateNewFile(temporary_, &handle_);
  }
  open_ = status == FileStatus::kOk;
  if (!open_) temporary_.clear();
  return status;
}

bool SafeWrite::Write(std::string_view part) {
  written_ = written_ && open_ && WriteAll(handle_, part);
  return written_;
}

FileStatus SafeWrite::Finish(const FileTimes& times, WriteTarget target) {
  if (!open_) return FileStatus::kFailed;
  bool written = written_;
  // The times are set last, so that no later write moves them; a platform that
  // can't set them still gets the content.
  if (written && times.valid) system_.SetFileTimes(handle_, times);
  written = written && system_.FlushFile(handle_);
  open_ = false;
  written = system_.CloseFile(handle_) && written;

  FileStatus status = FileStatus::kFailed;
  if (written) {
    status = target == WriteTarget::kReplace ? ReplaceRetrying()
                                             : system_.MoveToNewName(temporary_, path_);
    if (status == FileStatus::kOk) {
      temporary_.clear();  // it is the target now
    } else if (status == FileStatus::kBusy && target == WriteTarget::kReplace) {
      status = WriteInPlace(times);
    }
  }
  Discard();
  return status;
}

void SafeWrite::RemoveStaleTemporaries() {
  for (const std::string& file : system_.FilesBeside(path_)) {
    if (IsTemporaryOf(file, path_)) system_.RemoveFile(file);
  }
}

FileStatus SafeWrite::ReplaceRetrying() {
  FileStatus status = system_.MoveOverExisting(temporary_, path_);
  for (int attempt = 1; status == FileStatus::kBusy && attempt < kBusyAttempts; ++attempt) {
    system_.Sleep(kBusyRetryMilliseconds);
    status = system_.MoveOverExisting(temporary_, path_);
  }
  return status;
}

// The target is still held: the finished temporary file's content goes into it
// through one handle that shares reading and writing; all of it, then the end of the
// file, the times and the flush.
FileStatus SafeWrite::WriteInPlace(const FileTimes& times) {
  std::string content;
  FileStatus status = system_.ReadWholeFile(temporary_, &content);
  FileHandle target = 0;
  if (status == FileStatus::kOk) status = system_.OpenToOverwrite(path_, &target);
  if (status != FileStatus::kOk) return status;
  HandleCloser closer(system_, target);
  bool written =
      system_.WriteFile(target, content.data(), content.size()) && system_.EndFileHere(target);
  if (written && times.valid) system_.SetFileTimes(target, times);
  written = written && system_.FlushFile(target);
  written = closer.Close() && written;
  return written ? FileStatus::kOk : FileStatus::kFailed;
}

bool SafeWrite::WriteAll(FileHandle handle, std::string_view content) {
  if (!map_) return system_.WriteFile(handle, content.data(), content.size());
  for (std::size_t done = 0; done < content.size();) {
    const std::size_t size = std::min(mapped_.size(), content.size() - done);
    map_(content.data() + done, size, mapped_.data());
    if (!system_.WriteFile(handle, mapped_.data(), size)) return false;
    done += size;
  }
  return true;
}

void SafeWrite::Discard() {
  if (open_) system_.CloseFile(handle_);
  open_ = false;
  if (!temporary_.empty()) system_.RemoveFile(temporary_);
  temporary_.clear();
}

FileStatus WriteFileSafely(SwitcherSystem& system, const std::string& path,
                           std::string_view content, ByteMapping map, const FileTimes& times,
                           WriteTarget target) {
  SafeWrite file(system, path, map);
  const FileStatus status = file.Begin();
  if (status != FileStatus::kOk) return status;
  file.Write(content);
  return file.Finish(times, target);
}

bool BackupSettings(SwitcherSystem& system, const SwitcherPaths& paths, FileTimes* settings_times,
                    std::string* content) {
  *settings_times = FileTimes();
  system.CaptureFileTimes(paths.settings, settings_times);
  if (ReadFileRetrying(system, paths.settings, content) != FileStatus::kOk) return false;
  return CanBackUpFaithfully(*content) &&
         WriteFileSafely(system, paths.backup, *content, EncodeBackupBytes, *settings_times,
                         WriteTarget::kReplace) == FileStatus::kOk;
}

bool RestoreSettings(SwitcherSystem& system, const SwitcherPaths& paths, FileTimes* settings_times,
                     std::string* content) {
  *settings_times = FileTimes();
  system.CaptureFileTimes(paths.backup, settings_times);
  if (ReadFileRetrying(system, paths.backup, content) != FileStatus::kOk) return false;
  DecodeBackupBytes(content->data(), content->size(), content->data());
  return WriteFileSafely(system, paths.settings, *content, nullptr, *settings_times,
                         WriteTarget::kCreateOnly) == FileStatus::kOk;
}

bool SafeguardSettings(SwitcherSystem& system, const SwitcherPaths& paths,
                       FileTimes* settings_times, std::string* content) {
  if (FileExists(system, paths.settings)) {
    return BackupSettings(system, paths, settings_times, content);
  }
  return RestoreSettings(system, paths, settings_times, content);
}

}  // namespace vindo
