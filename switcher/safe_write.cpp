#include "safe_write.h"

#include <algorithm>
#include <utility>

namespace vindo {
namespace {

// Small enough to keep memory flat while a mapped file is written, and to stay in the
// processor's cache between its mapping and its write; large enough that the calls
// per write cost little.
constexpr std::size_t kWriteChunk = 256 * 1024;
constexpr std::string_view kTemporaryEnd = ".tmp";
constexpr char kPartialEnd[] = ".partial";

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

std::string PartialMarkOf(const std::string& path) { return path + kPartialEnd; }

bool IsMarkedPartial(SwitcherSystem& system, const std::string& path) {
  return FileExists(system, PartialMarkOf(path));
}

SafeWrite::SafeWrite(SwitcherSystem& system, std::string path, ByteMapping map)
    : system_(system), path_(std::move(path)), mark_(PartialMarkOf(path_)), map_(map) {}

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
  size_ += part.size();
  return written_;
}

FileStatus SafeWrite::Finish(const FileTimes& times, WriteTarget target,
                             const ContentSource& again) {
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
    } else if (status == FileStatus::kBusy && target == WriteTarget::kReplace &&
               system_.IsHeld(path_)) {
      status = WriteInPlace(times, again);
    }
  }
  Discard();
  // A target that is whole again loses its mark; one that is as it was keeps the mark
  // it had.
  if (status == FileStatus::kOk || (status != FileStatus::kDamaged && !was_marked_)) ClearMark();
  return status;
}

void SafeWrite::RemoveStaleTemporaries() {
  for (const std::string& file : system_.FilesBeside(path_)) {
    if (file == mark_) {
      was_marked_ = marked_ = true;
    } else if (IsTemporaryOf(file, path_)) {
      system_.RemoveFile(file);
    }
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

// The target is still held, by a program that may share writing: the content goes into
// it through one handle that shares reading and writing. The new length comes first,
// so that what the platform refuses in advance (room for a longer file, cutting a
// mapped one) is refused while nothing has changed; then the content, the times and
// the flush. On failure the old content, read through the same handle beforehand, is
// put back.
FileStatus SafeWrite::WriteInPlace(const FileTimes& times, const ContentSource& again) {
  FileHandle target = 0;
  const FileStatus status = system_.OpenInPlace(path_, &target);
  if (status != FileStatus::kOk) return status;
  HandleCloser closer(system_, target);
  FileTimes old_times;
  std::string old;
  std::string now;  // the file after a failure; its room is taken while memory is checked
  if (!Succeeds([&] {
        system_.CaptureFileTimes(path_, &old_times);
        if (!system_.ReadFromStart(target, &old)) return false;
        now.reserve(std::max<std::size_t>(old.size(), static_cast<std::size_t>(size_)));
        return true;
      }) ||
      !Mark()) {
    return FileStatus::kFailed;
  }

  const bool written = Succeeds([&] {
    std::uint64_t given = 0;
    bool done = (size_ == old.size() || system_.SetFileSize(target, size_)) &&
                system_.Rewind(target) && again([&](std::string_view part) {
                  given += part.size();
                  return WriteAll(target, part);
                });
    done = done && given == size_;
    if (done && times.valid) system_.SetFileTimes(target, times);
    return done && system_.FlushFile(target);
  });
  if (written) return FileStatus::kOk;
  if (PutBack(target, old, old_times, &now)) return FileStatus::kFailed;
  // Neither old nor new: the mark stays, so that no run backs this file up or restores
  // from it; where the holder has let go, the file goes, to be restored from the backup.
  closer.Close();
  system_.RemoveFile(path_);
  return FileStatus::kDamaged;
}

// Puts |old| back through |target| unless the file still holds it, and gives it its old
// times; true only when the file reads back byte for byte as |old|.
bool SafeWrite::PutBack(FileHandle target, const std::string& old, const FileTimes& old_times,
                        std::string* now) {
  return Succeeds([&] {
    bool whole = system_.ReadFromStart(target, now) && *now == old;
    if (!whole) {
      whole = system_.Rewind(target) && system_.WriteFile(target, old.data(), old.size()) &&
              system_.ReadFromStart(target, now);
      if (whole && now->size() != old.size()) {
        whole = system_.SetFileSize(target, old.size()) && system_.ReadFromStart(target, now);
      }
      whole = whole && *now == old && system_.FlushFile(target);
    }
    if (old_times.valid) system_.SetFileTimes(target, old_times);
    return whole;
  });
}

// Made durable before the first byte of the target changes, so that a hard stop or a
// lost power can't leave the target partial and unmarked.
bool SafeWrite::Mark() {
  return Succeeds([&] {
    FileHandle mark = 0;
    const FileStatus status = system_.CreateNewFile(mark_, &mark);
    if (status != FileStatus::kOk && status != FileStatus::kExists) return false;
    marked_ = true;
    if (status == FileStatus::kExists) return true;
    HandleCloser closer(system_, mark);
    return system_.FlushFile(mark) && closer.Close();
  });
}

// Never fails the write: a mark that stays only keeps later runs from using the file
// until the operator looks at it.
void SafeWrite::ClearMark() {
  if (!marked_) return;
  Succeeds([&] {
    for (int attempt = 1; !system_.RemoveFile(mark_) && FileExists(system_, mark_); ++attempt) {
      if (attempt == kBusyAttempts) return false;
      system_.Sleep(kBusyRetryMilliseconds);
    }
    marked_ = false;
    return true;
  });
}

bool SafeWrite::WriteAll(FileHandle handle, std::string_view content) {
  if (!map_) return system_.WriteFile(handle, content.data(), content.size());
  for (std::size_t done = 0; done < content.size();) {
    const std::size_t size = std::min(mapped_.size(), content.size() - done);
    if (!map_(content.data() + done, size, mapped_.data()) ||
        !system_.WriteFile(handle, mapped_.data(), size)) {
      return false;
    }
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
  return file.Finish(times, target, [content](const ContentSink& sink) { return sink(content); });
}

}  // namespace vindo
