// The Win32 side of the seam: the 8-bit (A) calls, byte-mode handles, and moves that
// replace a file in one step.
#include <conio.h>
#include <windows.h>

#include <cstdio>

#include "switcher_system.h"

namespace vindo {
namespace {

HANDLE ToHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }

FileStatus StatusOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return FileStatus::kMissing;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return FileStatus::kExists;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return FileStatus::kBusy;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return FileStatus::kDenied;
    default:
      return FileStatus::kFailed;
  }
}

std::int64_t FromFileTime(const FILETIME& time) {
  return static_cast<std::int64_t>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime);
}

FILETIME ToFileTime(std::int64_t value) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(value) & 0xFFFFFFFFu);
  time.dwHighDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(value) >> 32);
  return time;
}

bool IsReadOnly(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool MoveTo(HANDLE file, ULONGLONG offset) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
}

// The file from its start to its end, through |file|.
FileStatus ReadOpenFile(HANDLE file, std::string* contents) {
  LARGE_INTEGER size;
  if (!MoveTo(file, 0) || !GetFileSizeEx(file, &size) || size.QuadPart < 0 ||
      static_cast<ULONGLONG>(size.QuadPart) > contents->max_size() / 2) {
    return FileStatus::kFailed;
  }
  FileStatus status = FileStatus::kOk;
  contents->resize(static_cast<std::size_t>(size.QuadPart));
  std::size_t done = 0;
  while (done < contents->size()) {
    const std::size_t wanted = contents->size() - done;
    const DWORD chunk = wanted > (1u << 30) ? (1u << 30) : static_cast<DWORD>(wanted);
    DWORD got = 0;
    if (!::ReadFile(file, &(*contents)[done], chunk, &got, nullptr)) {
      status = StatusOf(GetLastError());
      break;
    }
    if (got == 0) break;  // the file shrank while it was read
    done += got;
  }
  contents->resize(done);
  return status;
}

}  // namespace

PathKind RealSwitcherSystem::Probe(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::kMissing
                                                                          : PathKind::kUnknown;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kDirectory : PathKind::kFile;
}

bool RealSwitcherSystem::CaptureFileTimes(const std::string& path, FileTimes* times) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  times->valid = true;
  times->creation = FromFileTime(data.ftCreationTime);
  times->last_access = FromFileTime(data.ftLastAccessTime);
  times->last_write = FromFileTime(data.ftLastWriteTime);
  return true;
}

FileStatus RealSwitcherSystem::ReadWholeFile(const std::string& path, std::string* contents) {
  // Shares reading and writing, as the runtime's fopen does; a process that holds the
  // file without sharing makes this fail with a sharing violation.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return StatusOf(GetLastError());
  const FileStatus status = ReadOpenFile(file, contents);
  CloseHandle(file);
  return status;
}

std::vector<std::string> RealSwitcherSystem::FilesBeside(const std::string& path) {
  const std::string::size_type end = path.find_last_of("\\/:");
  const std::string folder = end == std::string::npos ? std::string() : path.substr(0, end + 1);
  std::vector<std::string> files;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      files.push_back(folder + found.cFileName);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return files;
}

bool RealSwitcherSystem::IsHeld(const std::string& path) {
  // Sharing nothing meets a sharing violation exactly when another handle has the file
  // open for reading, writing or deleting, whatever that one shares.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(file);
  return false;
}

FileStatus RealSwitcherSystem::TakeRunLock(const std::string& path, FileHandle* lock) {
  // Shared with nobody, so a second run's open meets a sharing violation; deleted when
  // the handle closes, which Windows does for a process however it ends.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return StatusOf(GetLastError());
  *lock = reinterpret_cast<FileHandle>(file);
  return FileStatus::kOk;
}

void RealSwitcherSystem::ReleaseRunLock(const std::string&, FileHandle lock) {
  CloseHandle(ToHandle(lock));
}

FileStatus RealSwitcherSystem::CreateNewFile(const std::string& path, FileHandle* handle) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return StatusOf(GetLastError());
  *handle = reinterpret_cast<FileHandle>(file);
  return FileStatus::kOk;
}

FileStatus RealSwitcherSystem::OpenInPlace(const std::string& path, FileHandle* handle) {
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return StatusOf(GetLastError());
  *handle = reinterpret_cast<FileHandle>(file);
  return FileStatus::kOk;
}

bool RealSwitcherSystem::ReadFromStart(FileHandle handle, std::string* contents) {
  return ReadOpenFile(ToHandle(handle), contents) == FileStatus::kOk;
}

bool RealSwitcherSystem::Rewind(FileHandle handle) { return MoveTo(ToHandle(handle), 0); }

bool RealSwitcherSystem::WriteFile(FileHandle handle, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(ToHandle(handle), data, chunk, &written, nullptr) || written != chunk) {
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

bool RealSwitcherSystem::SetFileSize(FileHandle handle, std::uint64_t size) {
  // A longer file gets its clusters here: NTFS and FAT allocate them at once.
  return MoveTo(ToHandle(handle), size) && ::SetEndOfFile(ToHandle(handle)) != 0;
}

bool RealSwitcherSystem::SetFileTimes(FileHandle handle, const FileTimes& times) {
  const FILETIME creation = ToFileTime(times.creation);
  const FILETIME last_access = ToFileTime(times.last_access);
  const FILETIME last_write = ToFileTime(times.last_write);
  return SetFileTime(ToHandle(handle), &creation, &last_access, &last_write) != 0;
}

bool RealSwitcherSystem::FlushFile(FileHandle handle) {
  return FlushFileBuffers(ToHandle(handle)) != 0;
}

bool RealSwitcherSystem::CloseFile(FileHandle handle) { return CloseHandle(ToHandle(handle)) != 0; }

FileStatus RealSwitcherSystem::MoveOverExisting(const std::string& from, const std::string& to) {
  // Windows refuses to replace a read-only file; say so here too, so that every
  // implementation of the call agrees.
  if (IsReadOnly(to)) return FileStatus::kDenied;
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return FileStatus::kOk;
  }
  // A file that any other handle holds can't be replaced, whatever that handle
  // shares, even one that reads only its attributes or a mapping whose handle is
  // closed: Windows says so with "access denied" (Wine too), or with a sharing
  // violation where the holder does not share deletion. The target is not read-only,
  // so "access denied" is taken for such a holder; where it is a lack of permission,
  // the write in place after the retries is refused as well, and nothing changes.
  const DWORD error = GetLastError();
  return error == ERROR_ACCESS_DENIED ? FileStatus::kBusy : StatusOf(error);
}

FileStatus RealSwitcherSystem::MoveToNewName(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return FileStatus::kOk;
  return StatusOf(GetLastError());
}

bool RealSwitcherSystem::RemoveFile(const std::string& path) {
  return DeleteFileA(path.c_str()) != 0;
}

void RealSwitcherSystem::Sleep(int milliseconds) {
  ::Sleep(static_cast<DWORD>(milliseconds < 0 ? 0 : milliseconds));
}

void RealSwitcherSystem::ClearConsole() {
  // The effect of "cls", without starting the command interpreter; output that goes
  // to a file or a pipe is left alone.
  HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (console == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(console, &info)) return;
  std::fflush(stdout);
  const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
  const COORD home = {0, 0};
  DWORD done = 0;
  FillConsoleOutputCharacterA(console, ' ', cells, home, &done);
  FillConsoleOutputAttribute(console, info.wAttributes, cells, home, &done);
  SetConsoleCursorPosition(console, home);
}

void RealSwitcherSystem::Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void RealSwitcherSystem::WaitForKey() { _getch(); }

}  // namespace vindo
