// The seam between vindo and the platform: files, file times and the console.
// RealSwitcherSystem talks to Win32 on Windows and to POSIX elsewhere; tests put a
// double in its place that records the console and injects faults.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vindo {

// The three times of a file's directory entry, in the platform's own units. Where a
// platform can't set a creation time, it is carried but not applied.
struct FileTimes {
  bool valid = false;
  std::int64_t creation = 0;
  std::int64_t last_access = 0;
  std::int64_t last_write = 0;
};

enum class PathKind {
  kMissing,    // nothing there: the path or its directory does not exist
  kFile,       // a file
  kDirectory,  // a directory
  kUnknown,    // there may be something, but it can't be looked at (access denied, ...)
};

enum class FileStatus {
  kOk,
  kMissing,  // the file or its directory does not exist
  kExists,   // an exclusive create or a no-replace move met an existing file
  kBusy,     // another process holds the file: worth a retry
  kDenied,   // read-only, a directory, no permission
  kFailed,   // anything else (a full disk, an I/O error, ...)
  kDamaged,  // a write in place failed and could not be undone: the file is marked partial
};

using FileHandle = std::intptr_t;

class SwitcherSystem {
 public:
  virtual ~SwitcherSystem() = default;

  virtual PathKind Probe(const std::string& path) = 0;
  virtual bool CaptureFileTimes(const std::string& path, FileTimes* times) = 0;
  // Reads the whole file in byte mode.
  virtual FileStatus ReadWholeFile(const std::string& path, std::string* contents) = 0;

  // The paths of the entries in the folder that holds |path| (the working directory
  // for a bare name), each formed like |path|; empty when the folder can't be read.
  virtual std::vector<std::string> FilesBeside(const std::string& path) = 0;

  // True when another program holds the file open. Only for vindo's own files (its
  // temporary files): it opens the file sharing nothing for an instant, which would
  // keep the photo-print program from opening its settings meanwhile.
  virtual bool IsHeld(const std::string& path) = 0;

  // Keeps every other run of vindo that asks for the same |path| waiting (kBusy) until
  // ReleaseRunLock, or until this process ends, however it ends.
  virtual FileStatus TakeRunLock(const std::string& path, FileHandle* lock) = 0;
  virtual void ReleaseRunLock(const std::string& path, FileHandle lock) = 0;

  // Creates a file that must not exist yet, for writing in byte mode.
  virtual FileStatus CreateNewFile(const std::string& path, FileHandle* handle) = 0;
  // Opens an existing file for reading and writing in place, in byte mode, sharing
  // reading and writing with other programs; kBusy when one holds it without sharing
  // them.
  virtual FileStatus OpenInPlace(const std::string& path, FileHandle* handle) = 0;
  // The whole file, read through |handle| from its start.
  virtual bool ReadFromStart(FileHandle handle, std::string* contents) = 0;
  // The next write through |handle| goes to the file's start.
  virtual bool Rewind(FileHandle handle) = 0;
  // True only when every byte was written.
  virtual bool WriteFile(FileHandle handle, const char* data, std::size_t size) = 0;
  // Cuts the file, or lengthens it and takes the room on the disk for it where the file
  // system allows (a full disk refuses here). Moves the position that writes go to.
  virtual bool SetFileSize(FileHandle handle, std::uint64_t size) = 0;
  virtual bool SetFileTimes(FileHandle handle, const FileTimes& times) = 0;
  // Flushes the file's data to the disk.
  virtual bool FlushFile(FileHandle handle) = 0;
  virtual bool CloseFile(FileHandle handle) = 0;
  // Moves |from| over |to| in one step. kBusy when another program holds either open
  // (Windows refuses to replace a file that any handle holds, whatever it shares, and
  // says so with "access denied"); kDenied for a read-only |to|.
  virtual FileStatus MoveOverExisting(const std::string& from, const std::string& to) = 0;
  // Moves |from| to |to| in one step, only if nothing exists at |to| (else kExists).
  virtual FileStatus MoveToNewName(const std::string& from, const std::string& to) = 0;
  // On Windows, fails for a file that another program holds open without sharing
  // its deletion.
  virtual bool RemoveFile(const std::string& path) = 0;
  virtual void Sleep(int milliseconds) = 0;

  virtual void ClearConsole() = 0;
  virtual void Print(const std::string& text) = 0;
  // Waits for one key press, without echo.
  virtual void WaitForKey() = 0;
};

class RealSwitcherSystem : public SwitcherSystem {
 public:
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
};

}  // namespace vindo
