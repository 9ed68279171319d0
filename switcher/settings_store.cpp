#include "settings_store.h"

#include <algorithm>
#include <vector>

namespace vindo {
namespace {

// Small enough to keep memory flat while a mapped file is written.
constexpr std::size_t kWriteChunk = 64 * 1024;
// Stale temporary files of a run that was stopped are skipped, never reused.
constexpr int kTemporaryNameAttempts = 100;

std::string TemporaryName(const std::string& path, int attempt) {
  return path + "." + std::to_string(attempt) + ".tmp";
}

bool WriteContent(SwitcherSystem& system, FileHandle handle, std::string_view content,
                  ByteMapping map) {
  std::vector<char> mapped(map ? std::min(kWriteChunk, content.size()) : 0);
  for (std::size_t done = 0; done < content.size();) {
    const std::size_t size = std::min(kWriteChunk, content.size() - done);
    const char* chunk = content.data() + done;
    if (map) {
      map(chunk, size, mapped.data());
      chunk = mapped.data();
    }
    if (!system.WriteFile(handle, chunk, size)) return false;
    done += size;
  }
  return true;
}

FileStatus MoveOverRetrying(SwitcherSystem& system, const std::string& from,
                            const std::string& to) {
  FileStatus status = system.MoveOverExisting(from, to);
  for (int attempt = 1; status == FileStatus::kBusy && attempt < kBusyAttempts; ++attempt) {
    system.Sleep(kBusyRetryMilliseconds);
    status = system.MoveOverExisting(from, to);
  }
  return status;
}

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

FileStatus WriteFileSafely(SwitcherSystem& system, const std::string& path,
                           std::string_view content, ByteMapping map, const FileTimes& times,
                           WriteTarget target) {
  std::string temporary;
  FileHandle handle = 0;
  FileStatus status = FileStatus::kExists;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && status == FileStatus::kExists;
       ++attempt) {
    temporary = TemporaryName(path, attempt);
    status = system.CreateNewFile(temporary, &handle);
  }
  if (status != FileStatus::kOk)
    return status == FileStatus::kExists ? FileStatus::kFailed : status;

  bool written = WriteContent(system, handle, content, map);
  // The times are set last, so that no later write moves them; a platform that
  // can't set them still gets the content.
  if (written && times.valid) system.SetFileTimes(handle, times);
  written = written && system.FlushFile(handle);
  written = system.CloseFile(handle) && written;
  if (!written) {
    system.RemoveFile(temporary);
    return FileStatus::kFailed;
  }

  status = target == WriteTarget::kReplace ? MoveOverRetrying(system, temporary, path)
                                           : system.MoveToNewName(temporary, path);
  if (status != FileStatus::kOk) system.RemoveFile(temporary);
  return status;
}

bool BackupContent(SwitcherSystem& system, const SwitcherPaths& paths,
                   std::string_view settings_content, const FileTimes& times) {
  if (!CanBackUpFaithfully(settings_content)) return false;
  return WriteFileSafely(system, paths.backup, settings_content, EncodeBackupBytes, times,
                         WriteTarget::kReplace) == FileStatus::kOk;
}

bool BackupSettings(SwitcherSystem& system, const SwitcherPaths& paths, FileTimes* settings_times) {
  *settings_times = FileTimes();
  system.CaptureFileTimes(paths.settings, settings_times);
  std::string content;
  if (ReadFileRetrying(system, paths.settings, &content) != FileStatus::kOk) return false;
  return BackupContent(system, paths, content, *settings_times);
}

bool RestoreSettings(SwitcherSystem& system, const SwitcherPaths& paths,
                     FileTimes* settings_times) {
  *settings_times = FileTimes();
  system.CaptureFileTimes(paths.backup, settings_times);
  std::string stored;
  if (ReadFileRetrying(system, paths.backup, &stored) != FileStatus::kOk) return false;
  return WriteFileSafely(system, paths.settings, stored, DecodeBackupBytes, *settings_times,
                         WriteTarget::kCreateOnly) == FileStatus::kOk;
}

bool SafeguardSettings(SwitcherSystem& system, const SwitcherPaths& paths,
                       FileTimes* settings_times) {
  if (FileExists(system, paths.settings)) return BackupSettings(system, paths, settings_times);
  return RestoreSettings(system, paths, settings_times);
}

}  // namespace vindo
