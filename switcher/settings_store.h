// Backup, restore and the startup safeguard of the settings file.
#pragma once

#include <string>

#include "backup_codec.h"
#include "safe_write.h"
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

// Copies the settings file to the backup; never one that is marked partial, unless
// its mark allows what it holds (MarkAllows).
// |settings_times| receives the settings file's times as they were before it was read,
// |content| the settings file's content.
bool BackupSettings(SwitcherSystem& system, const SwitcherPaths& paths, FileTimes* settings_times,
                    std::string* content);

// Recreates a missing settings file from the backup, with the backup's times, which
// |settings_times| receives; |content| receives the restored content. Never replaces
// a settings file that exists, never restores from a backup that is marked partial
// unless its mark allows what it holds.
bool RestoreSettings(SwitcherSystem& system, const SwitcherPaths& paths, FileTimes* settings_times,
                     std::string* content);

// Backs the settings file up when it exists, else restores it; |settings_times|
// receives the times the settings file carries afterwards, |content| its content.
// (Reading the settings file again into |content| needs no new memory.)
bool SafeguardSettings(SwitcherSystem& system, const SwitcherPaths& paths,
                       FileTimes* settings_times, std::string* content);

}  // namespace vindo
