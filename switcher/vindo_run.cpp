#include "vindo_run.h"

#include "run_lock.h"
#include "settings_rewrite.h"

namespace vindo {
namespace {

const char kSafeguardFailed[] = "FEHLER ! ... Lesen oder Schreiben der Initialisierung\n\n";
const char kCannotOpen[] = "FEHLER ! ... Initialisierung-Datei kann nicht geoeffnet werden\n\n";
const char kCannotWrite[] = "FEHLER ! ... Schreiben der Initialisierung-Datei\n\n";
const char kCannotKeep[] = "FEHLER ! ... Speichern der Initialisierung-Datei\n\n";
const char kUsage[] =
    "FEHLER ! ... falscher Programmaufruf\n\n"
    "Programmaufruf: vindo.exe <param>\n\n"
    "                param : /0 ... Auto-Korrektur generell ausschalten\n"
    "                        /1 ... Auto-Korrektur generell einschalten\n"
    "                        /2 ... Auto-Korrektur auf FUJI-Standard zuruecksetzen\n";

int Fail(SwitcherSystem& system, const char* message) {
  system.ClearConsole();
  system.Print(message);
  system.WaitForKey();
  return 1;
}

// Writes the rewritten settings file and, as the rewrite goes, the new backup beside
// it, so that the file is in memory only once. Puts the settings file in place and
// leaves the backup to be put in place after it; |backup_whole| tells whether all of
// it was written (its rotation refuses a byte that it can't store).
FileStatus WriteSwitched(const ContentSource& switched, const FileTimes& times,
                         SafeWrite& settings_file, SafeWrite& backup_file, bool* backup_whole) {
  const FileStatus begun = settings_file.Begin();
  if (begun != FileStatus::kOk) return begun;
  *backup_whole = backup_file.Begin() == FileStatus::kOk;
  const bool rewritten = switched([&](std::string_view part) {
    *backup_whole = *backup_whole && backup_file.Write(part);
    return settings_file.Write(part);
  });
  return rewritten ? settings_file.Finish(times, WriteTarget::kReplace, switched)
                   : FileStatus::kFailed;
}

// The run once it has the settings file to itself: the message to show, or null.
const char* RunAlone(CorrectionMode mode, SwitcherSystem& system, const SwitcherPaths& paths) {
  // The times are taken before anything reads the file, so that reading it can't
  // move its access time.
  FileTimes settings_times;
  std::string original;
  if (!Succeeds([&] { return SafeguardSettings(system, paths, &settings_times, &original); })) {
    return kSafeguardFailed;
  }

  if (mode == CorrectionMode::kNone) return kUsage;

  // Read again, into the room that the safeguard's copy already takes.
  if (!Succeeds(
          [&] { return ReadFileRetrying(system, paths.settings, &original) == FileStatus::kOk; })) {
    return kCannotOpen;
  }

  // The settings file is replaced in one step, or, when it is held, written in place
  // and put back on failure: either way it is the old one after a failure, or it is
  // marked partial (kDamaged).
  const ContentSource switched = [&](const ContentSink& sink) {
    return RewriteSettings(original, mode, sink);
  };
  SafeWrite settings_file(system, paths.settings);
  SafeWrite backup_file(system, paths.backup, EncodeBackupBytes);
  bool backup_whole = false;
  FileStatus written = FileStatus::kFailed;
  Succeeds([&] {
    written = WriteSwitched(switched, settings_times, settings_file, backup_file, &backup_whole);
    return true;
  });

  if (written == FileStatus::kDamaged || (written == FileStatus::kOk && !Succeeds([&] {
                                            return system.Probe(paths.settings) == PathKind::kFile;
                                          }))) {
    // Restores only a file that is gone; a damaged file that is still there stays
    // marked partial until the operator removes it.
    FileTimes restored_times;
    std::string restored;
    Succeeds([&] { return RestoreSettings(system, paths, &restored_times, &restored); });
    return kCannotKeep;
  }
  if (written != FileStatus::kOk) return kCannotWrite;

  // The switch has happened; a backup that could not follow it still holds the
  // previous settings whole (or is marked partial), but the operator must hear about it.
  if (!Succeeds([&] {
        return backup_whole && backup_file.Finish(settings_times, WriteTarget::kReplace,
                                                  switched) == FileStatus::kOk;
      })) {
    return kSafeguardFailed;
  }
  return nullptr;
}

}  // namespace

int RunVindo(const std::vector<std::string>& arguments, SwitcherSystem& system,
             const SwitcherPaths& paths) {
  const CorrectionMode mode = ReadModeArguments(arguments);
  const char* message = kSafeguardFailed;
  {
    // Let go of before the message, which waits for a key as long as the operator likes.
    RunLock lock(system, paths.settings);
    if (Succeeds([&] { return lock.Take(); })) message = RunAlone(mode, system, paths);
  }
  return message != nullptr ? Fail(system, message) : 0;
}

}  // namespace vindo
