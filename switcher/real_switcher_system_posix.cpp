// The POSIX side of the seam, for development and the native tests: the same
// semantics as the Win32 side on real files, with access and modification times only
// (a creation time can't be set here).
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>

#include "switcher_system.h"

namespace vindo {
namespace {

FileStatus StatusOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return FileStatus::kMissing;
    case EEXIST:
      return FileStatus::kExists;
    case EBUSY:
    case ETXTBSY:
      return FileStatus::kBusy;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return FileStatus::kDenied;
    default:
      return FileStatus::kFailed;
  }
}

constexpr std::int64_t kNanosecondsPerSecond = 1000000000;

std::int64_t ToNanoseconds(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * kNanosecondsPerSecond + time.tv_nsec;
}

timespec ToTimespec(std::int64_t nanoseconds) {
  timespec time{};
  time.tv_sec = static_cast<time_t>(nanoseconds / kNanosecondsPerSecond);
  time.tv_nsec = static_cast<long>(nanoseconds % kNanosecondsPerSecond);
  if (time.tv_nsec < 0) {
    time.tv_nsec += kNanosecondsPerSecond;
    --time.tv_sec;
  }
  return time;
}

// Makes a finished move durable: the directory entry is on the disk as well.
void SyncDirectoryOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

// A large buffer that is new to the process is faulted in a page at a time as it is
// first written, which costs as much as reading the file into it. Where the system
// offers huge pages on request, the buffer asks for them before it is touched: a few
// faults instead of thousands.
void MakeRoomFor(std::string* contents, std::size_t size) {
  constexpr std::size_t kHugePage = 2 * 1024 * 1024;
  if (size >= 2 * kHugePage && contents->capacity() < size) {
    contents->reserve(size);
    const auto start = reinterpret_cast<std::uintptr_t>(contents->data());
    const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (start + size) & ~(kHugePage - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
  }
  contents->resize(size);
}

// The file from its start to its end, through |fd|.
FileStatus ReadOpenFile(int fd, std::string* contents) {
  struct stat info;
  if (fstat(fd, &info) != 0) return StatusOf(errno);
  if (S_ISDIR(info.st_mode)) return FileStatus::kDenied;
  FileStatus status = FileStatus::kOk;
  MakeRoomFor(contents, static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (done < contents->size()) {
    const ssize_t got =
        pread(fd, &(*contents)[done], contents->size() - done, static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      status = StatusOf(errno);
      break;
    }
    if (got == 0) break;  // the file shrank while it was read
    done += static_cast<std::size_t>(got);
  }
  contents->resize(done);
  return status;
}

}  // namespace

PathKind RealSwitcherSystem::Probe(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? PathKind::kMissing : PathKind::kUnknown;
  }
  return S_ISDIR(info.st_mode) ? PathKind::kDirectory : PathKind::kFile;
}

bool RealSwitcherSystem::CaptureFileTimes(const std::string& path, FileTimes* times) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  times->valid = true;
  times->creation = ToNanoseconds(info.st_ctim);
  times->last_access = ToNanoseconds(info.st_atim);
  times->last_write = ToNanoseconds(info.st_mtim);
  return true;
}

FileStatus RealSwitcherSystem::ReadWholeFile(const std::string& path, std::string* contents) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return StatusOf(errno);
  const FileStatus status = ReadOpenFile(fd, contents);
  close(fd);
  return status;
}

std::vector<std::string> RealSwitcherSystem::FilesBeside(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::vector<std::string> files;
  DIR* directory = opendir(folder.empty() ? "." : folder.c_str());
  if (directory == nullptr) return files;
  while (const dirent* entry = readdir(directory)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") files.push_back(folder + name);
  }
  closedir(directory);
  return files;
}

// Nothing here keeps a file from being replaced.
bool RealSwitcherSystem::IsHeld(const std::string&) { return false; }

FileStatus RealSwitcherSystem::TakeRunLock(const std::string& path, FileHandle* lock) {
  for (;;) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return StatusOf(errno);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      close(fd);
      return error == EWOULDBLOCK ? FileStatus::kBusy : StatusOf(error);
    }
    // The run before may have removed the file between the open and the lock; a lock
    // on a removed file keeps nobody out, so take the one now at the path.
    struct stat locked;
    struct stat named;
    if (fstat(fd, &locked) == 0 && stat(path.c_str(), &named) == 0 &&
        locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
      *lock = fd;
      return FileStatus::kOk;
    }
    close(fd);
  }
}

void RealSwitcherSystem::ReleaseRunLock(const std::string& path, FileHandle lock) {
  unlink(path.c_str());
  close(static_cast<int>(lock));
}

FileStatus RealSwitcherSystem::CreateNewFile(const std::string& path, FileHandle* handle) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return StatusOf(errno);
  *handle = fd;
  return FileStatus::kOk;
}

FileStatus RealSwitcherSystem::OpenInPlace(const std::string& path, FileHandle* handle) {
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return StatusOf(errno);
  *handle = fd;
  return FileStatus::kOk;
}

bool RealSwitcherSystem::ReadFromStart(FileHandle handle, std::string* contents) {
  return ReadOpenFile(static_cast<int>(handle), contents) == FileStatus::kOk;
}

bool RealSwitcherSystem::Rewind(FileHandle handle) {
  return lseek(static_cast<int>(handle), 0, SEEK_SET) == 0;
}

bool RealSwitcherSystem::WriteFile(FileHandle handle, const char* data, std::size_t size) {
  const int fd = static_cast<int>(handle);
  const auto given = static_cast<off_t>(size);
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
#ifdef SYNC_FILE_RANGE_WRITE
  // Each time the file grows past another few MB, what is written so far is sent on
  // its way to the disk, without waiting for it: the disk works while the run
  // computes the next part, and the flush before the move waits only for the rest.
  // In steps of MBs, so that files written side by side reach the disk in long runs.
  // Only a hint: its failure fails nothing.
  constexpr off_t kWritebackStep = 4 * 1024 * 1024;
  const off_t end = lseek(fd, 0, SEEK_CUR);
  if (end >= given && end / kWritebackStep != (end - given) / kWritebackStep) {
    sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
  }
#endif
  return true;
}

bool RealSwitcherSystem::SetFileSize(FileHandle handle, std::uint64_t size) {
  const int fd = static_cast<int>(handle);
  const auto end = static_cast<off_t>(size);
  struct stat info;
  if (fstat(fd, &info) != 0) return false;
  // The room for a longer file is taken now, as Windows does, so that a full disk
  // refuses here.
  if (end > info.st_size && posix_fallocate(fd, info.st_size, end - info.st_size) != 0) {
    return false;
  }
  return ftruncate(fd, end) == 0 && lseek(fd, end, SEEK_SET) == end;
}

bool RealSwitcherSystem::SetFileTimes(FileHandle handle, const FileTimes& times) {
  const timespec both[2] = {ToTimespec(times.last_access), ToTimespec(times.last_write)};
  return futimens(static_cast<int>(handle), both) == 0;
}

bool RealSwitcherSystem::FlushFile(FileHandle handle) {
  return fsync(static_cast<int>(handle)) == 0;
}

bool RealSwitcherSystem::CloseFile(FileHandle handle) {
  return close(static_cast<int>(handle)) == 0;
}

FileStatus RealSwitcherSystem::MoveOverExisting(const std::string& from, const std::string& to) {
  // A file without write permission stands for a read-only file, which Windows
  // refuses to replace (root could replace it here).
  struct stat info;
  if (stat(to.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0) {
    return FileStatus::kDenied;
  }
  if (rename(from.c_str(), to.c_str()) != 0) return StatusOf(errno);
  SyncDirectoryOf(to);
  return FileStatus::kOk;
}

FileStatus RealSwitcherSystem::MoveToNewName(const std::string& from, const std::string& to) {
  // link() fails when |to| exists, so a file that appeared meanwhile is never replaced.
  if (link(from.c_str(), to.c_str()) != 0) return StatusOf(errno);
  unlink(from.c_str());
  SyncDirectoryOf(to);
  return FileStatus::kOk;
}

bool RealSwitcherSystem::RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

void RealSwitcherSystem::Sleep(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds));
}

void RealSwitcherSystem::ClearConsole() {
  if (isatty(STDOUT_FILENO)) std::fputs("\033[H\033[2J", stdout);
}

void RealSwitcherSystem::Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void RealSwitcherSystem::WaitForKey() {
  if (!isatty(STDIN_FILENO)) return;
  termios saved;
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
  termios raw = saved;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  char key = 0;
  while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
  }
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

}  // namespace vindo
