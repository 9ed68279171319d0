#include "settings_store.h"

namespace vindo {

const char kSettingsDirectory[] = "c:\\fe\\fein";
const char kSettingsFileName[] = "servicetype.ini";
const char kBackupFileName[] = "res_ini.sav";

SwitcherPaths DefaultPaths() {
  return {std::string(kSettingsDirectory) + "\\" + kSettingsFileName, kBackupFileName};
}

bool BackupSettings(SwitcherSystem& system, const SwitcherPaths& paths, FileTimes* settings_times,
                    std::string* content) {
  *settings_times = FileTimes();
  const bool marked = IsMarkedPartial(system, paths.settings);
  system.CaptureFileTimes(paths.settings, settings_times);
  if (ReadFileRetrying(system, paths.settings, content) != FileStatus::kOk) return false;
  if (marked && !MarkAllows(system, paths.settings, *content)) return false;
  // The rotation fails the write at a byte that it can't store.
  return WriteFileSafely(system, paths.backup, *content, EncodeBackupBytes, *settings_times,
                         WriteTarget::kReplace) == FileStatus::kOk;
}

bool RestoreSettings(SwitcherSystem& system, const SwitcherPaths& paths, FileTimes* settings_times,
                     std::string* content) {
  *settings_times = FileTimes();
  const bool marked = IsMarkedPartial(system, paths.backup);
  system.CaptureFileTimes(paths.backup, settings_times);
  if (ReadFileRetrying(system, paths.backup, content) != FileStatus::kOk) return false;
  if (marked && !MarkAllows(system, paths.backup, *content)) return false;
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
