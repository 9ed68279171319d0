#include "vindo_run.h"

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

}  // namespace

int RunVindo(const std::vector<std::string>& arguments, SwitcherSystem& system,
             const SwitcherPaths& paths) {
  const CorrectionMode mode = ReadModeArguments(arguments);

  // The times are taken before anything reads the file, so that reading it can't
  // move its access time.
  FileTimes settings_times;
  if (!SafeguardSettings(system, paths, &settings_times)) return Fail(system, kSafeguardFailed);

  if (mode == CorrectionMode::kNone) return Fail(system, kUsage);

  std::string original;
  if (ReadFileRetrying(system, paths.settings, &original) != FileStatus::kOk) {
    return Fail(system, kCannotOpen);
  }
  std::string rewritten = RewriteSettings(original, mode);
  original = std::string();  // keep at most two copies of the file in memory

  // The settings file is replaced in one step: on failure it is still the old one.
  if (WriteFileSafely(system, paths.settings, rewritten, nullptr, settings_times,
                      WriteTarget::kReplace) != FileStatus::kOk) {
    return Fail(system, kCannotWrite);
  }

  if (system.Probe(paths.settings) != PathKind::kFile) {
    FileTimes restored_times;
    RestoreSettings(system, paths, &restored_times);
    return Fail(system, kCannotKeep);
  }

  // The switch has happened; a backup that could not follow it still holds the
  // previous settings whole, but the operator must hear about it.
  if (!BackupContent(system, paths, rewritten, settings_times)) {
    return Fail(system, kSafeguardFailed);
  }
  return 0;
}

}  // namespace vindo
