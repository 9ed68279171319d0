// Backup, restore and the startup safeguard of the settings file, and the safe
// write that every file of vindo goes through.
#pragma once

#include <string>
#include <string_view>

#include "backup_codec.h"
#include "switcher_system.h"

namespace vindo {

extern const char kSettingsDirectory[];  // SettingsDirectory
extern const char kSettingsFileName[];   // SettingsFileName
extern const char kBackupFileName[];     // BackupFileName: in the working directory

struct SwitcherPaths {
  std::string settings;
  std::string backup;
};

// c:\fe\fein\servicetype.ini and res_ini.sav.
SwitcherPaths DefaultPaths();

// Another process may hold a file for a moment (a virus scanner, an indexer); retry
// this often, this far apart: about a second in all.
constexpr int kBusyAttempts = 10;
constexpr int kBusyRetryMilliseconds = 100;

// True when something is at the path (a file or a directory), or may be there but
// can't be looked at: only a path that is really missing gives false.
bool FileExists(SwitcherSystem& system, const std::string& path);

FileStatus ReadFileRetrying(SwitcherSystem& system, const std::string& path, std::string* contents);

enum class WriteTarget { kReplace, kCreateOnly };

// One file written safely. The content goes to a new temporary file beside the
// target, <target>.<n>.tmp, which is made durable and then moved over the target in
// one step, so that the target is always whole, old or new. Temporary files of that
// naming that runs stopped dead left behind are removed first; one that another run
// still holds open can't be removed, and its name is skipped.
//
// When another program holds the target open, the move is retried for about a
// second; then the content is written into the target in place, which works when the
// holder shares writing. That is the one write that a hard stop can leave partial.
class SafeWrite {
 public:
  // |map|, when given, maps every byte on its way to the file.
  SafeWrite(SwitcherSystem& system, std::string path, ByteMapping map = nullptr);
  // A write that was not finished leaves nothing behind: its temporary file is closed
  // and removed, also when an exception ends it.
  ~SafeWrite();
  SafeWrite(const SafeWrite&) = delete;
  SafeWrite& operator=(const SafeWrite&) = delete;

  FileStatus Begin();
  // Adds the next part of the content; false once any write has failed.
  bool Write(std::string_view part);
  // Gives the file |times| when they are valid and puts it in place. kCreateOnly
  // never replaces an existing file. On failure the target is as it was.
  FileStatus Finish(const FileTimes& times, WriteTarget target);

 private:
  void RemoveStaleTemporaries();
  FileStatus ReplaceRetrying();
  FileStatus WriteInPlace(const FileTimes& times);
  bool WriteAll(FileHandle handle, std::string_view content);
  void Discard();

  SwitcherSystem& system_;
  const std::string path_;
  const ByteMapping map_;
  std::string mapped_;     // room for one mapped chunk
  std::string temporary_;  // the temporary file, while it exists
  FileHandle handle_ = 0;
  bool open_ = false;
  bool written_ = true;
};

// A whole SafeWrite of |content|.
FileStatus WriteFileSafely(SwitcherSystem& system, const std::string& path,
                           std::string_view content, ByteMapping map, const FileTimes& times,
                           WriteTarget target);

// Copies the settings file to the backup. |settings_times| receives the settings
// file's times as they were before it was read, |content| the settings file's content.
bool BackupSettings(SwitcherSystem& system, const SwitcherPaths& paths, FileTimes* settings_times,
                    std::string* content);

// Recreates a missing settings file from the backup, with the backup's times, which
// |settings_times| receives; |content| receives the restored content. Never replaces
// a settings file that exists.
bool RestoreSettings(SwitcherSystem& system, const SwitcherPaths& paths, FileTimes* settings_times,
                     std::string* content);

// Backs the settings file up when it exists, else restores it; |settings_times|
// receives the times the settings file carries afterwards, |content| its content.
// (Reading the settings file again into |content| needs no new memory.)
bool SafeguardSettings(SwitcherSystem& system, const SwitcherPaths& paths,
                       FileTimes* settings_times, std::string* content);

}  // namespace vindo
