// Backup, restore and the startup safeguard of the settings file, and the safe
// write that every file of vindo goes through: a new temporary file next to the
// target, moved over it in one step, so that the target is always whole.
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

// Another process may hold a file for a moment; retry this often, this far apart.
constexpr int kBusyAttempts = 10;
constexpr int kBusyRetryMilliseconds = 100;

// True when something is at the path (a file or a directory), or may be there but
// can't be looked at: only a path that is really missing gives false.
bool FileExists(SwitcherSystem& system, const std::string& path);

FileStatus ReadFileRetrying(SwitcherSystem& system, const std::string& path, std::string* contents);

enum class WriteTarget { kReplace, kCreateOnly };

// Writes |content| (mapped byte by byte through |map| when given) to a new
// temporary file beside |path|, gives it |times| when they are valid, flushes it and
// moves it to |path| in one step. kCreateOnly never replaces an existing file. On
// failure |path| is as it was and no temporary file is left.
FileStatus WriteFileSafely(SwitcherSystem& system, const std::string& path,
                           std::string_view content, ByteMapping map, const FileTimes& times,
                           WriteTarget target);

// Writes |settings_content| to the backup in its rotated form, with |times|.
// Refuses content that the rotation can't store faithfully.
bool BackupContent(SwitcherSystem& system, const SwitcherPaths& paths,
                   std::string_view settings_content, const FileTimes& times);

// Copies the settings file to the backup. |settings_times| receives the settings
// file's times as they were before it was read.
bool BackupSettings(SwitcherSystem& system, const SwitcherPaths& paths, FileTimes* settings_times);

// Recreates a missing settings file from the backup, with the backup's times, which
// |settings_times| receives. Never replaces a settings file that exists.
bool RestoreSettings(SwitcherSystem& system, const SwitcherPaths& paths, FileTimes* settings_times);

// Backs the settings file up when it exists, else restores it; |settings_times|
// receives the times the settings file carries afterwards.
bool SafeguardSettings(SwitcherSystem& system, const SwitcherPaths& paths,
                       FileTimes* settings_times);

}  // namespace vindo
