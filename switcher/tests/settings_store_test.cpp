#include "settings_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"

namespace vindo {
namespace {

using testing::Decode;
using testing::Encode;
using testing::Exists;
using testing::ReadBytes;
using testing::TempDir;
using testing::TestSwitcherSystem;
using testing::TestTimes;
using testing::WriteBytes;

using testing::kBackupTimes;
using testing::kOldTimes;

std::string AllBytesBut255() {
  std::string bytes;
  for (int b = 0; b <= 254; ++b) bytes += static_cast<char>(b);
  return bytes;
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  TempDir dir;
  TempDir working_dir;
  SwitcherPaths paths{dir.File("servicetype.ini"), working_dir.File("res_ini.sav")};
  TestSwitcherSystem system;
  FileTimes times;
  std::string content;

  void ExpectTimes(const std::string& path, const TestTimes& expected) {
    const TestTimes actual = testing::GetTimes(path);
    EXPECT_EQ(actual.access, expected.access) << path;
    EXPECT_EQ(actual.write, expected.write) << path;
  }
};

TEST_F(SettingsStoreTest, DefaultPathsAreTheFixedSettingsFileAndTheLocalBackup) {
  const SwitcherPaths defaults = DefaultPaths();
  EXPECT_EQ(defaults.settings, "c:\\fe\\fein\\servicetype.ini");
  EXPECT_EQ(defaults.backup, "res_ini.sav");
}

TEST_F(SettingsStoreTest, FileExistsForFilesAndDirectoriesOnly) {
  WriteBytes(paths.settings, "x");
  EXPECT_TRUE(FileExists(system, paths.settings));
  EXPECT_TRUE(FileExists(system, dir.path()));
  EXPECT_FALSE(FileExists(system, paths.backup));
  EXPECT_FALSE(FileExists(system, dir.File("no-such-dir/servicetype.ini")));
}

TEST_F(SettingsStoreTest, BackupRotatesEveryByteAndCarriesTheTimes) {
  WriteBytes(paths.settings, std::string("\0\xd8\xd9", 3));
  testing::SetTimes(paths.settings, kOldTimes);
  ASSERT_TRUE(BackupSettings(system, paths, &times, &content));
  // Times first: reading a file moves its access time.
  ExpectTimes(paths.backup, kOldTimes);
  EXPECT_EQ(ReadBytes(paths.backup), "\x27\xff\x01");
  EXPECT_TRUE(times.valid);
}

TEST_F(SettingsStoreTest, BackupOfAnEmptyFileIsEmpty) {
  WriteBytes(paths.settings, "");
  ASSERT_TRUE(BackupSettings(system, paths, &times, &content));
  ASSERT_TRUE(Exists(paths.backup));
  EXPECT_EQ(ReadBytes(paths.backup), "");
}

TEST_F(SettingsStoreTest, BackupAndRestoreGiveBackEveryByteAndTheTimes) {
  WriteBytes(paths.settings, AllBytesBut255());
  testing::SetTimes(paths.settings, kOldTimes);
  ASSERT_TRUE(BackupSettings(system, paths, &times, &content));
  ASSERT_TRUE(testing::RemoveForTest(paths.settings));
  ASSERT_TRUE(RestoreSettings(system, paths, &times, &content));
  ExpectTimes(paths.settings, kOldTimes);
  EXPECT_EQ(ReadBytes(paths.settings), AllBytesBut255());
}

TEST_F(SettingsStoreTest, RestoreDecodesAsStoredAndTakesTheBackupsTimes) {
  WriteBytes(paths.backup, std::string("\0\x27\xff\x01", 4));
  testing::SetTimes(paths.backup, kBackupTimes);
  ASSERT_TRUE(RestoreSettings(system, paths, &times, &content));
  ExpectTimes(paths.settings, kBackupTimes);
  EXPECT_EQ(ReadBytes(paths.settings), std::string("\xd8\0\xd8\xd9", 4));
}

TEST_F(SettingsStoreTest, ByteTwoFiftyFiveIsRefusedAndNothingChanges) {
  const std::string settings(
      "a\xff"
      "b",
      3);
  WriteBytes(paths.settings, settings);
  WriteBytes(paths.backup, Encode("older settings"));
  EXPECT_FALSE(BackupSettings(system, paths, &times, &content));
  EXPECT_EQ(ReadBytes(paths.settings), settings);
  EXPECT_EQ(Decode(ReadBytes(paths.backup)), "older settings");
  EXPECT_EQ(working_dir.Entries(), std::vector<std::string>{"res_ini.sav"});
}

TEST_F(SettingsStoreTest, SafeguardBacksUpAnExistingFileAndRestoresAMissingOne) {
  WriteBytes(paths.settings, "[DPOF]\r\n");
  ASSERT_TRUE(SafeguardSettings(system, paths, &times, &content));
  EXPECT_EQ(Decode(ReadBytes(paths.backup)), "[DPOF]\r\n");

  ASSERT_TRUE(testing::RemoveForTest(paths.settings));
  ASSERT_TRUE(SafeguardSettings(system, paths, &times, &content));
  EXPECT_EQ(ReadBytes(paths.settings), "[DPOF]\r\n");
}

TEST_F(SettingsStoreTest, SafeguardFailsWithoutSettingsAndBackup) {
  EXPECT_FALSE(SafeguardSettings(system, paths, &times, &content));
  EXPECT_TRUE(dir.Entries().empty());
  EXPECT_TRUE(working_dir.Entries().empty());
}

TEST_F(SettingsStoreTest, SafeguardFailsOnADirectoryWhereTheFileShouldBe) {
  testing::MakeDirectory(paths.settings);
  WriteBytes(paths.backup, Encode("kept"));
  EXPECT_FALSE(SafeguardSettings(system, paths, &times, &content));
  EXPECT_EQ(Decode(ReadBytes(paths.backup)), "kept");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"servicetype.ini"});
}

TEST_F(SettingsStoreTest, RestoreFailsWhenTheSettingsDirectoryIsMissing) {
  const SwitcherPaths missing{dir.File("fein/servicetype.ini"), paths.backup};
  WriteBytes(paths.backup, Encode("kept"));
  EXPECT_FALSE(SafeguardSettings(system, missing, &times, &content));
  EXPECT_EQ(Decode(ReadBytes(paths.backup)), "kept");
  EXPECT_TRUE(dir.Entries().empty());
}

TEST_F(SettingsStoreTest, RestoreFailsOnAnUnreadableBackup) {
  testing::MakeDirectory(paths.backup);
  EXPECT_FALSE(RestoreSettings(system, paths, &times, &content));
  EXPECT_TRUE(dir.Entries().empty());
}

TEST_F(SettingsStoreTest, RestoreNeverReplacesAFileThatReappeared) {
  WriteBytes(paths.backup, Encode("from the backup"));
  // The settings file appears between the check and the move into place.
  system.after_operation = [&](int) {
    if (system.last_operation.rfind("FlushFile ", 0) == 0) WriteBytes(paths.settings, "reappeared");
  };
  EXPECT_FALSE(RestoreSettings(system, paths, &times, &content));
  EXPECT_EQ(ReadBytes(paths.settings), "reappeared");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"servicetype.ini"});
}

TEST_F(SettingsStoreTest, BusyFileIsRetriedBrieflyThenGivenUp) {
  WriteBytes(paths.settings, "x");
  system.busy_reads[paths.settings] = kBusyAttempts - 1;
  EXPECT_TRUE(BackupSettings(system, paths, &times, &content));
  EXPECT_EQ(system.sleeps, std::vector<int>(kBusyAttempts - 1, kBusyRetryMilliseconds));

  system.sleeps.clear();
  system.busy_reads[paths.settings] = kBusyAttempts;
  EXPECT_FALSE(BackupSettings(system, paths, &times, &content));
  EXPECT_EQ(system.sleeps.size(), static_cast<std::size_t>(kBusyAttempts - 1));
}

// A write that finds its target marked partial clears the mark once the target is
// whole, and keeps it when the target could not be written.
TEST_F(SettingsStoreTest, TheMarkOfAPartialFileGoesOnlyWithAWholeWrite) {
  const std::string mark = PartialMarkOf(paths.backup);
  WriteBytes(paths.backup, Encode("partial"));
  WriteBytes(mark, "");
  EXPECT_FALSE(RestoreSettings(system, paths, &times, &content));
  EXPECT_TRUE(dir.Entries().empty());

  WriteBytes(paths.settings, "settings");
  testing::MakeReadOnly(paths.backup, true);
  EXPECT_FALSE(BackupSettings(system, paths, &times, &content));
  testing::MakeReadOnly(paths.backup, false);
  EXPECT_TRUE(Exists(mark));
  EXPECT_TRUE(BackupSettings(system, paths, &times, &content));
  EXPECT_FALSE(Exists(mark));

  WriteBytes(PartialMarkOf(paths.settings), "");
  WriteBytes(paths.settings, "partial settings");
  EXPECT_FALSE(BackupSettings(system, paths, &times, &content));
  EXPECT_EQ(Decode(ReadBytes(paths.backup)), "settings");
}

// A mark left by a write in place that went through (a scanner held the mark as it was
// to go), found later with the file as that write left it, as it was before, or
// neither: only the last keeps the file from being backed up.
TEST_F(SettingsStoreTest, AStaleMarkIsClearedWhenTheFileHoldsWhatItAllows) {
  const std::string mark = PartialMarkOf(paths.settings);
  WriteBytes(paths.settings, "old settings");
  system.held[paths.settings] = TestSwitcherSystem::Sharing::kReadingAndWriting;
  system.after_operation = [&](int) {
    if (system.last_operation == "MoveOverExisting " + mark) {
      system.held[mark] = TestSwitcherSystem::Sharing::kNothing;
    }
  };
  ASSERT_EQ(WriteFileSafely(system, paths.settings, "new settings", nullptr, FileTimes(),
                            WriteTarget::kReplace),
            FileStatus::kOk);
  const std::string left = ReadBytes(mark);
  system = TestSwitcherSystem();
  const std::pair<const char*, bool> cases[] = {
      {"new settings", true}, {"old settings", true}, {"new settingz", false}};
  for (const auto& [settings, allowed] : cases) {
    SCOPED_TRACE(settings);
    WriteBytes(mark, left);
    WriteBytes(paths.settings, settings);
    EXPECT_EQ(BackupSettings(system, paths, &times, &content), allowed);
    EXPECT_EQ(Exists(mark), !allowed);
    if (allowed) {
      EXPECT_EQ(Decode(ReadBytes(paths.backup)), settings);
    }
  }
}

}  // namespace
}  // namespace vindo
