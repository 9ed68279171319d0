#include "vindo_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "run_lock.h"
#include "settings_rewrite.h"
#include "test_support.h"

namespace vindo {
namespace {

using testing::Decode;
using testing::Encode;
using testing::ReadBytes;
using testing::TempDir;
using testing::TestSwitcherSystem;
using testing::TestTimes;
using testing::WriteBytes;
using Args = std::vector<std::string>;

const char kSafeguardFailed[] = "FEHLER ! ... Lesen oder Schreiben der Initialisierung\n\n";
const char kCannotOpen[] = "FEHLER ! ... Initialisierung-Datei kann nicht geoeffnet werden\n\n";
const char kCannotWrite[] = "FEHLER ! ... Schreiben der Initialisierung-Datei\n\n";
const char kCannotKeep[] = "FEHLER ! ... Speichern der Initialisierung-Datei\n\n";

const std::string kOld =
    "[DPOF]\r\n1 Print, MEDIA\r\n5 Index, MEDIA\r\n8 Album, DSC\r\n"
    "[C5_FPX]\r\n12 Large, DSC\r\n; end\r\n";
const std::string kOff =
    "[DPOF]\r\n1 Print, MEDIA\r\n5 Index, MEDIA\r\n8 Album, MEDIA\r\n"
    "[C5_FPX]\r\n12 Large, MEDIA\r\n; end\r\n";
const std::string kOn =
    "[DPOF]\r\n1 Print, DSC\r\n5 Index, MEDIA\r\n8 Album, DSC\r\n"
    "[C5_FPX]\r\n12 Large, DSC\r\n; end\r\n";
const std::string kFactory =
    "[DPOF]\r\n1 Print, DSC\r\n5 Index, MEDIA\r\n8 Album, MEDIA\r\n"
    "[C5_FPX]\r\n12 Large, MEDIA\r\n; end\r\n";

using testing::kOldTimes;

// A folder for the settings file, and the working folder, where the backup lies.
struct Folders {
  TempDir dir;
  TempDir working_dir;
  SwitcherPaths paths{dir.File("servicetype.ini"), working_dir.File("res_ini.sav")};

  // The backup, and the settings file when |settings_present|, hold kOld.
  void PutOld(bool settings_present = true) {
    if (settings_present) WriteBytes(paths.settings, kOld);
    WriteBytes(paths.backup, Encode(kOld));
  }

  // Nothing but the two files, and, where the run may have left them, their marks.
  void ExpectNoTemporaryFiles(bool marks_allowed = false) const {
    ExpectJust(dir, "servicetype.ini", marks_allowed);
    ExpectJust(working_dir, "res_ini.sav", marks_allowed);
  }

  // Another program holds both files, sharing reading and writing.
  static void HoldBoth(TestSwitcherSystem* system, const SwitcherPaths& paths) {
    system->held[paths.settings] = TestSwitcherSystem::Sharing::kReadingAndWriting;
    system->held[paths.backup] = TestSwitcherSystem::Sharing::kReadingAndWriting;
  }

 private:
  static void ExpectJust(const TempDir& folder, const std::string& name, bool marks_allowed) {
    std::vector<std::string> entries = folder.Entries();
    if (marks_allowed)
      entries.erase(std::remove(entries.begin(), entries.end(), name + ".partial"), entries.end());
    EXPECT_EQ(entries, std::vector<std::string>{name});
  }
};

class VindoRunTest : public ::testing::Test, protected Folders {
 protected:
  TestSwitcherSystem system;

  int Run(const Args& arguments) { return RunVindo(arguments, system, paths); }

  void ExpectFailure(const std::string& message) {
    EXPECT_EQ(system.console, (std::vector<std::string>{"clear", message, "key"}));
  }
};

TEST_F(VindoRunTest, EachModeRewritesSilentlyAndRefreshesTheBackup) {
  const std::pair<const char*, const std::string*> cases[] = {
      {"/0", &kOff}, {"/1", &kOn}, {"/2", &kFactory}};
  for (const auto& [argument, expected] : cases) {
    SCOPED_TRACE(argument);
    WriteBytes(paths.settings, kOld);
    testing::SetTimes(paths.settings, kOldTimes);
    system = TestSwitcherSystem();
    EXPECT_EQ(Run({argument}), 0);
    EXPECT_TRUE(system.console.empty());
    // The backup, the settings file and the refreshed backup all get the times the
    // settings file had at the start, its creation time too.
    ASSERT_FALSE(system.captured_times.empty());
    const FileTimes& original = system.captured_times.front();
    EXPECT_EQ(system.set_times.size(), 3u);
    for (const FileTimes& given : system.set_times) {
      EXPECT_TRUE(given.valid);
      EXPECT_EQ(given.creation, original.creation);
      EXPECT_EQ(given.last_access, original.last_access);
      EXPECT_EQ(given.last_write, original.last_write);
    }
    // Times first: reading a file moves its access time.
    const TestTimes times = testing::GetTimes(paths.settings);
    EXPECT_EQ(times.access, kOldTimes.access);
    EXPECT_EQ(times.write, kOldTimes.write);
    const TestTimes backup_times = testing::GetTimes(paths.backup);
    EXPECT_EQ(backup_times.access, kOldTimes.access);
    EXPECT_EQ(backup_times.write, kOldTimes.write);
    EXPECT_EQ(ReadBytes(paths.settings), *expected);
    EXPECT_EQ(Decode(ReadBytes(paths.backup)), *expected);
    ExpectNoTemporaryFiles();
  }
}

TEST_F(VindoRunTest, NoModeShowsTheUsageAfterTheSafeguard) {
  WriteBytes(paths.settings, kOld);
  for (const Args& arguments : {Args{}, Args{"/3", "-0", "x"}}) {
    system.console.clear();
    EXPECT_EQ(Run(arguments), 1);
    ExpectFailure(
        "FEHLER ! ... falscher Programmaufruf\n\n"
        "Programmaufruf: vindo.exe <param>\n\n"
        "                param : /0 ... Auto-Korrektur generell ausschalten\n"
        "                        /1 ... Auto-Korrektur generell einschalten\n"
        "                        /2 ... Auto-Korrektur auf FUJI-Standard zuruecksetzen\n");
    EXPECT_EQ(ReadBytes(paths.settings), kOld);
    EXPECT_EQ(Decode(ReadBytes(paths.backup)), kOld);
  }
}

TEST_F(VindoRunTest, MissingSettingsFileIsRestoredThenRewritten) {
  WriteBytes(paths.backup, Encode(kOld));
  testing::SetTimes(paths.backup, kOldTimes);
  EXPECT_EQ(Run({"/0"}), 0);
  EXPECT_EQ(ReadBytes(paths.settings), kOff);
  EXPECT_EQ(Decode(ReadBytes(paths.backup)), kOff);
  EXPECT_EQ(testing::GetTimes(paths.settings).write, kOldTimes.write);
}

TEST_F(VindoRunTest, NeitherSettingsNorBackupFailsTheSafeguard) {
  EXPECT_EQ(Run({"/0"}), 1);
  ExpectFailure(kSafeguardFailed);
  EXPECT_TRUE(dir.Entries().empty());
  EXPECT_TRUE(working_dir.Entries().empty());
}

TEST_F(VindoRunTest, ByteTwoFiftyFiveLeavesSettingsAndBackupAlone) {
  const std::string settings = kOld + "\xff";
  WriteBytes(paths.settings, settings);
  WriteBytes(paths.backup, Encode(kOn));
  EXPECT_EQ(Run({"/0"}), 1);
  ExpectFailure(kSafeguardFailed);
  EXPECT_EQ(ReadBytes(paths.settings), settings);
  EXPECT_EQ(Decode(ReadBytes(paths.backup)), kOn);
  ExpectNoTemporaryFiles();
}

TEST_F(VindoRunTest, ReadOnlySettingsFileIsReportedAndKept) {
  WriteBytes(paths.settings, kOld);
  testing::MakeReadOnly(paths.settings, true);
  EXPECT_EQ(Run({"/0"}), 1);
  testing::MakeReadOnly(paths.settings, false);
  ExpectFailure(kCannotWrite);
  EXPECT_EQ(ReadBytes(paths.settings), kOld);
  EXPECT_EQ(Decode(ReadBytes(paths.backup)), kOld);
  ExpectNoTemporaryFiles();
}

TEST_F(VindoRunTest, DirectoryInPlaceOfTheSettingsFileIsReported) {
  testing::MakeDirectory(paths.settings);
  EXPECT_EQ(Run({"/0"}), 1);
  ExpectFailure(kSafeguardFailed);
}

TEST_F(VindoRunTest, SettingsFileHeldByAnotherProcessIsRetriedThenReported) {
  WriteBytes(paths.settings, kOld);
  system.busy_reads[paths.settings] = 1000;
  EXPECT_EQ(Run({"/0"}), 1);
  ExpectFailure(kSafeguardFailed);
  EXPECT_EQ(system.sleeps.size(), static_cast<std::size_t>(kBusyAttempts - 1));
  EXPECT_EQ(ReadBytes(paths.settings), kOld);
}

TEST_F(VindoRunTest, SettingsFileThatCantBeReadAfterTheSafeguardIsReported) {
  WriteBytes(paths.settings, kOld);
  system.fail_read = 2;
  EXPECT_EQ(Run({"/1"}), 1);
  ExpectFailure(kCannotOpen);
  EXPECT_EQ(ReadBytes(paths.settings), kOld);
}

TEST_F(VindoRunTest, SettingsFileGoneAfterTheWriteIsRestoredFromTheBackup) {
  WriteBytes(paths.settings, kOld);
  system.after_operation = [&](int) {
    if (system.last_operation == "MoveOverExisting " + paths.settings) {
      testing::RemoveForTest(paths.settings);
    }
  };
  EXPECT_EQ(Run({"/0"}), 1);
  ExpectFailure(kCannotKeep);
  EXPECT_EQ(ReadBytes(paths.settings), kOld);

  // Written in place, damaged past putting back, and held by a program that shares its
  // deletion: its name stays until that program lets go, so it can't be restored in
  // this run. It stays marked, and the next run restores it.
  system = TestSwitcherSystem();
  system.held[paths.settings] = TestSwitcherSystem::Sharing::kEverything;
  system.after_operation = [&](int) {
    if (system.last_operation == "WriteFile " + paths.settings && !system.fail_later_writes) {
      system.failing_writes = {system.writes + 1};
      system.fail_later_writes = true;
    }
  };
  EXPECT_EQ(Run({"/0"}), 1);
  ExpectFailure(kCannotKeep);
  EXPECT_EQ(system.pending_deletion, std::set<std::string>{paths.settings});
  EXPECT_TRUE(testing::Exists(PartialMarkOf(paths.settings)));
  system.LetGo(paths.settings);
  system = TestSwitcherSystem();
  EXPECT_EQ(Run({"/0"}), 0);
  EXPECT_EQ(ReadBytes(paths.settings), kOff);
  ExpectNoTemporaryFiles();
}

TEST_F(VindoRunTest, ArgumentsOfAnyLengthAreHandled) {
  WriteBytes(paths.settings, kOld);
  EXPECT_EQ(Run({std::string(1 << 20, '/'), "/1" + std::string(1 << 20, 'x')}), 0);
  EXPECT_EQ(ReadBytes(paths.settings), kOn);
}

TEST_F(VindoRunTest, NulBytesAndLongLinesSurviveTheRewrite) {
  const std::string name(10000, 'n');
  WriteBytes(paths.settings, std::string("[DPOF]\r\n8 a\0b, DSC\r\n;\0\r\n", 24) + name + "\r\n");
  EXPECT_EQ(Run({"/0"}), 0);
  EXPECT_EQ(ReadBytes(paths.settings),
            std::string("[DPOF]\r\n8 a\0b, MEDIA\r\n;\0\r\n", 26) + name + "\r\n");
}

// Both files held by a program that shares writing, so that both are written in place,
// and a scanner that holds the mark of one from the moment it is made to the end of the
// run. The settings file is switched, and its mark stays. The backup's stays too; the
// refresh of the backup, which must mark it again first, fails, and the backup keeps
// the settings as they were. Neither mark blocks anything: the next run switches
// again, or, without the settings file, restores it from the backup first.
TEST_F(VindoRunTest, AMarkLeftByAWholeWriteBlocksNoLaterRun) {
  const std::pair<const std::string*, const char*> cases[] = {{&paths.settings, ""},
                                                              {&paths.backup, kSafeguardFailed}};
  for (const auto& [file, message] : cases) {
    SCOPED_TRACE(*file);
    PutOld();
    const std::string mark = PartialMarkOf(*file);
    system = TestSwitcherSystem();
    HoldBoth(&system, paths);
    system.after_operation = [&](int) {
      if (system.last_operation == "MoveOverExisting " + mark) {
        system.held[mark] = TestSwitcherSystem::Sharing::kNothing;
      }
    };
    EXPECT_EQ(Run({"/0"}), *message == '\0' ? 0 : 1);
    EXPECT_EQ(system.Printed(), message);
    EXPECT_EQ(ReadBytes(paths.settings), kOff);
    EXPECT_TRUE(testing::Exists(mark));

    if (file == &paths.backup) testing::RemoveForTest(paths.settings);
    system = TestSwitcherSystem();
    EXPECT_EQ(Run({"/1"}), 0);
    EXPECT_TRUE(system.console.empty());
    EXPECT_EQ(ReadBytes(paths.settings), kOn);
    EXPECT_EQ(Decode(ReadBytes(paths.backup)), kOn);
    ExpectNoTemporaryFiles();
  }
}

// Fails one write operation, or every one from some point on (a full disk), at each
// point of the run in turn, with the settings file and the backup free, or both held
// by a program that shares writing, so that both are written in place. The settings
// file is old or new, or marked partial: then the run said so, and, unless it holds
// the old or the new content after all, the next run refuses to back it up until the
// operator has removed it. The backup restores the old or the new file unless it is
// marked partial. The operator hears of every failure, and the next run succeeds. A
// settings file of |copies| times kOld is rewritten in several parts, each file
// written in several chunks: each of their writes fails in turn.
void CheckEveryWriteFailure(bool fail_later_writes, bool held, int copies = 1) {
  std::string old_text;
  std::string off_text;
  for (int copy = 0; copy < copies; ++copy) {
    old_text += kOld;
    off_text += kOff;
  }
  for (int failing = 1;; ++failing) {
    SCOPED_TRACE(::testing::Message() << (held ? "held, " : "") << "failing write " << failing);
    Folders folders;
    const SwitcherPaths& paths = folders.paths;
    WriteBytes(paths.settings, old_text);
    WriteBytes(paths.backup, Encode(old_text));

    TestSwitcherSystem faulty;
    faulty.failing_writes = {failing};
    faulty.fail_later_writes = fail_later_writes;
    if (held) Folders::HoldBoth(&faulty, paths);
    const int exit_code = RunVindo({"/0"}, faulty, paths);

    const bool damaged = testing::Exists(PartialMarkOf(paths.settings));
    const std::string settings = ReadBytes(paths.settings);
    const std::string backup = Decode(ReadBytes(paths.backup));
    EXPECT_TRUE(damaged || settings == old_text || settings == off_text);
    EXPECT_TRUE(testing::Exists(PartialMarkOf(paths.backup)) || backup == old_text ||
                backup == off_text);
    EXPECT_TRUE(held || !damaged);
    // Neither file is ever opened sharing nothing, which would lock its users out.
    EXPECT_EQ(faulty.opened_exclusively.count(paths.settings), 0u);
    EXPECT_EQ(faulty.opened_exclusively.count(paths.backup), 0u);
    folders.ExpectNoTemporaryFiles(true);
    if (faulty.writes < failing) {  // the run went through without meeting the fault
      EXPECT_EQ(exit_code, 0);
      EXPECT_EQ(settings, off_text);
      EXPECT_EQ(backup, off_text);
      EXPECT_GT(failing, 8) << "the run should make many writes";
      break;
    }
    EXPECT_EQ(exit_code, 1);
    ASSERT_EQ(faulty.console.size(), 3u);
    EXPECT_EQ(faulty.console.back(), "key");
    const std::string& message = faulty.console[1];
    EXPECT_TRUE(message != kCannotWrite || settings == old_text);
    if (damaged) {
      EXPECT_EQ(message, kCannotKeep);
      EXPECT_EQ(backup, old_text);
    }
    if (damaged && settings != old_text && settings != off_text) {
      TestSwitcherSystem refusing;
      EXPECT_EQ(RunVindo({"/0"}, refusing, paths), 1);
      EXPECT_EQ(refusing.console, (std::vector<std::string>{"clear", kSafeguardFailed, "key"}));
      EXPECT_EQ(Decode(ReadBytes(paths.backup)), old_text);
      testing::RemoveForTest(paths.settings);
    }

    TestSwitcherSystem healthy;
    EXPECT_EQ(RunVindo({"/0"}, healthy, paths), 0);
    EXPECT_EQ(ReadBytes(paths.settings), off_text);
    EXPECT_EQ(Decode(ReadBytes(paths.backup)), off_text);
    folders.ExpectNoTemporaryFiles();
  }
}

TEST(VindoFaultTest, OneFailingWriteLosesNothing) {
  CheckEveryWriteFailure(false, false);
  CheckEveryWriteFailure(false, true);
  // The rewrite in two parts. (A write in place of several chunks, and its putting back,
  // are swept in the safe write's own tests.)
  CheckEveryWriteFailure(false, false, static_cast<int>(kRewritePartSize / kOld.size() + 1));
}

TEST(VindoFaultTest, FullDiskLosesNothing) {
  CheckEveryWriteFailure(true, false);
  CheckEveryWriteFailure(true, true);
}

// Memory that runs out at any file operation of the run (as it may with a very large
// settings file) is reported like the failure of the step it interrupted: the files
// stay whole, also when they are written in place, the backup keeps the old settings,
// and nothing is left behind.
void CheckMemoryRunningOut(bool held) {
  std::set<std::string> messages;
  for (int failing = 1;; ++failing) {
    SCOPED_TRACE(::testing::Message()
                 << (held ? "held, " : "") << "out of memory at operation " << failing);
    Folders folders;
    const SwitcherPaths& paths = folders.paths;
    folders.PutOld();

    TestSwitcherSystem short_of_memory;
    short_of_memory.out_of_memory_at = failing;
    if (held) Folders::HoldBoth(&short_of_memory, paths);
    const int exit_code = RunVindo({"/0"}, short_of_memory, paths);
    folders.ExpectNoTemporaryFiles();
    if (short_of_memory.out_of_memory_at != 0) {  // the run ended before that operation
      EXPECT_EQ(exit_code, 0);
      break;
    }
    EXPECT_EQ(Decode(ReadBytes(paths.backup)), kOld);
    EXPECT_EQ(exit_code, 1);
    ASSERT_EQ(short_of_memory.console.size(), 3u);
    const std::string& message = short_of_memory.console[1];
    messages.insert(message);
    // Only checking and backing up the new file come after the switch.
    if (message != kSafeguardFailed && message != kCannotKeep) {
      EXPECT_EQ(ReadBytes(paths.settings), kOld);
    }
  }
  if (!held) {
    EXPECT_EQ(messages,
              (std::set<std::string>{kSafeguardFailed, kCannotOpen, kCannotWrite, kCannotKeep}));
  }
}

TEST(VindoMemoryTest, MemoryRunningOutAnywhereIsReportedAndLosesNothing) {
  CheckMemoryRunningOut(false);
  CheckMemoryRunningOut(true);
}

// Another run holds the lock: this one waits for it, and lets go of its own before it
// waits for a key; a run that never lets go is given up after a minute, nothing done.
// Only where no lock can be made at all does the run go on without one.
TEST_F(VindoRunTest, RunsTakeTurnsAndAStuckRunIsGivenUp) {
  PutOld();
  const std::string lock = paths.settings + ".lock";
  system.held[lock] = TestSwitcherSystem::Sharing::kNothing;
  int tries = 0;
  system.after_operation = [&](int) {
    if (system.last_operation == "TakeRunLock " + lock && ++tries == 3) system.held.clear();
    if (system.last_operation == "ReleaseRunLock " + lock) system.console.push_back("released");
  };
  EXPECT_EQ(Run({}), 1);
  EXPECT_EQ(system.sleeps, std::vector<int>(3, kBusyRetryMilliseconds));
  EXPECT_EQ(system.console.front(), "released");
  ExpectNoTemporaryFiles();

  system = TestSwitcherSystem();
  system.held[lock] = TestSwitcherSystem::Sharing::kNothing;
  EXPECT_EQ(Run({"/0"}), 1);
  ExpectFailure(kSafeguardFailed);
  EXPECT_EQ(system.sleeps, std::vector<int>(kRunLockAttempts - 1, kBusyRetryMilliseconds));
  EXPECT_EQ(ReadBytes(paths.settings), kOld);
  EXPECT_EQ(Decode(ReadBytes(paths.backup)), kOld);

  // The lock file of the run before, pending deletion while a scanner holds it: waited
  // for as busy, not skipped.
  system = TestSwitcherSystem();
  WriteBytes(lock, "");
  system.held[lock] = TestSwitcherSystem::Sharing::kEverything;
  system.pending_deletion.insert(lock);
  tries = 0;
  system.after_operation = [&](int) {
    if (system.last_operation == "TakeRunLock " + lock && ++tries == 5) system.LetGo(lock);
  };
  EXPECT_EQ(Run({"/0"}), 0);
  EXPECT_EQ(system.sleeps, std::vector<int>(4, kBusyRetryMilliseconds));
  EXPECT_EQ(system.log.back(), "ReleaseRunLock " + lock);
  EXPECT_EQ(ReadBytes(paths.settings), kOff);

  // No folder to make the lock in: no wait, and nothing to change there either.
  system = TestSwitcherSystem();
  const SwitcherPaths no_folder{dir.File("fein/servicetype.ini"), paths.backup};
  EXPECT_EQ(RunVindo({"/0"}, system, no_folder), 1);
  ExpectFailure(kSafeguardFailed);
  EXPECT_TRUE(system.sleeps.empty());
}

// Stops a real process dead (TerminateProcess, _exit) after each file operation in
// turn, with the settings file present or only in the backup, free or held by a
// program that shares writing: the files are whole, or marked partial when the stop
// came in mid-write in place, and then, unless the file holds the old or the new
// content, the next run refuses to back the settings file up until the operator has
// removed it; the next run succeeds.
void CheckHardStops(bool settings_present, bool held) {
  for (int stop_after = 1;; ++stop_after) {
    SCOPED_TRACE(::testing::Message()
                 << (held ? "held, " : "") << "stopped after operation " << stop_after);
    Folders folders;
    const SwitcherPaths& paths = folders.paths;
    folders.PutOld(settings_present);

    const int exit_code = testing::RunHardStopChild(stop_after, "/0", paths, held);
    ASSERT_TRUE(exit_code == testing::kHardStopExitCode || exit_code == 0) << exit_code;

    const std::string backup = Decode(ReadBytes(paths.backup));
    EXPECT_TRUE(testing::Exists(PartialMarkOf(paths.backup)) || backup == kOld || backup == kOff);
    const bool there = settings_present || testing::Exists(paths.settings);
    const std::string settings = there ? ReadBytes(paths.settings) : kOld;
    const bool damaged = settings != kOld && settings != kOff;
    EXPECT_TRUE(!damaged || testing::Exists(PartialMarkOf(paths.settings)));
    if (damaged) {
      EXPECT_TRUE(held);
      TestSwitcherSystem refusing;
      EXPECT_EQ(RunVindo({"/0"}, refusing, paths), 1);
      EXPECT_EQ(Decode(ReadBytes(paths.backup)), backup);
      testing::RemoveForTest(paths.settings);
    }

    // The next run also removes whatever temporary file the stop left behind.
    TestSwitcherSystem next;
    EXPECT_EQ(RunVindo({"/0"}, next, paths), 0);
    EXPECT_EQ(ReadBytes(paths.settings), kOff);
    EXPECT_EQ(Decode(ReadBytes(paths.backup)), kOff);
    folders.ExpectNoTemporaryFiles();
    if (exit_code == 0) {  // the run finished before the stop
      EXPECT_GT(stop_after, 20) << "the run should take many steps";
      break;
    }
  }
}

TEST(VindoHardStopTest, StopAtAnyPointLosesNothing) {
  CheckHardStops(true, false);
  CheckHardStops(true, true);
}

TEST(VindoHardStopTest, StopDuringARestoreLosesNothing) { CheckHardStops(false, false); }

}  // namespace
}  // namespace vindo
