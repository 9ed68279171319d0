#include "safe_write.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"

namespace vindo {
namespace {

using testing::Encode;
using testing::Exists;
using testing::ReadBytes;
using testing::TempDir;
using testing::TestSwitcherSystem;
using testing::TestTimes;
using testing::WriteBytes;

using testing::kBackupTimes;
using testing::kOldTimes;

class SafeWriteTest : public ::testing::Test {
 protected:
  TempDir dir;
  TempDir working_dir;
  SwitcherPaths paths{dir.File("servicetype.ini"), working_dir.File("res_ini.sav")};
  TestSwitcherSystem system;
  FileTimes times;

  void ExpectTimes(const std::string& path, const TestTimes& expected) {
    const TestTimes actual = testing::GetTimes(path);
    EXPECT_EQ(actual.access, expected.access) << path;
    EXPECT_EQ(actual.write, expected.write) << path;
  }
};

TEST_F(SafeWriteTest, RemovesStaleTemporaryFilesAndNeverRunsOutOfNames) {
  WriteBytes(paths.settings, "old");
  for (int n = 0; n < 150; ++n) WriteBytes(paths.settings + "." + std::to_string(n) + ".tmp", "");
  // Another run's temporary file, still open: it can't be removed, its name is skipped.
  system.held[paths.settings + ".7.tmp"] = TestSwitcherSystem::Sharing::kNothing;
  const std::vector<std::string> others = {"other.ini.0.tmp", "servicetype.ini.1.tmp.bak",
                                           "servicetype.ini.tmp", "servicetype.ini.x1.tmp"};
  for (const std::string& name : others) WriteBytes(dir.File(name), "kept");

  EXPECT_EQ(
      WriteFileSafely(system, paths.settings, "new", nullptr, FileTimes(), WriteTarget::kReplace),
      FileStatus::kOk);
  EXPECT_EQ(ReadBytes(paths.settings), "new");
  std::vector<std::string> expected = others;
  expected.insert(expected.end(), {"servicetype.ini", "servicetype.ini.7.tmp"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(dir.Entries(), expected);
}

TEST_F(SafeWriteTest, HeldTargetIsWrittenInPlaceOnlyWhenTheHolderSharesWriting) {
  WriteBytes(paths.backup, "");
  testing::SetTimes(paths.backup, kBackupTimes);
  ASSERT_TRUE(system.CaptureFileTimes(paths.backup, &times));
  WriteBytes(paths.settings, "the old, longer content");
  testing::SetTimes(paths.settings, kOldTimes);

  system.held[paths.settings] = TestSwitcherSystem::Sharing::kReading;
  EXPECT_EQ(WriteFileSafely(system, paths.settings, "new", nullptr, times, WriteTarget::kReplace),
            FileStatus::kBusy);
  EXPECT_EQ(system.sleeps, std::vector<int>(kBusyAttempts - 1, kBusyRetryMilliseconds));
  ExpectTimes(paths.settings, kOldTimes);
  EXPECT_EQ(ReadBytes(paths.settings), "the old, longer content");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"servicetype.ini"});

  // Any holder that shares writing, or one that reads only the attributes (an indexer),
  // keeps the file from being replaced: it is written in place.
  for (const auto sharing :
       {TestSwitcherSystem::Sharing::kReadingAndWriting, TestSwitcherSystem::Sharing::kEverything,
        TestSwitcherSystem::Sharing::kAttributesOnly}) {
    WriteBytes(paths.settings, "the old, longer content");
    system.held[paths.settings] = sharing;
    EXPECT_EQ(WriteFileSafely(system, paths.settings, "new", nullptr, times, WriteTarget::kReplace),
              FileStatus::kOk);
    ExpectTimes(paths.settings, kBackupTimes);
    EXPECT_EQ(ReadBytes(paths.settings), "new");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"servicetype.ini"});
  }
  // The target itself is never opened sharing nothing: the photo-print program would
  // be locked out of its file meanwhile.
  EXPECT_EQ(system.opened_exclusively.count(paths.settings), 0u);

  // One that lets go within the retries: the file is replaced as usual.
  system.sleeps.clear();
  system.log.clear();
  int moves = 0;
  system.after_operation = [&](int) {
    if (system.last_operation == "MoveOverExisting " + paths.settings && ++moves == 2) {
      system.LetGo(paths.settings);
    }
  };
  EXPECT_EQ(WriteFileSafely(system, paths.settings, "newer", nullptr, times, WriteTarget::kReplace),
            FileStatus::kOk);
  EXPECT_EQ(system.sleeps.size(), 2u);
  EXPECT_EQ(std::count(system.log.begin(), system.log.end(), "OpenInPlace " + paths.settings), 0);
  EXPECT_EQ(ReadBytes(paths.settings), "newer");
  system.after_operation = nullptr;

  // A scanner that holds the temporary file is waited for, but the target is not held:
  // no write in place. The temporary file stays until the scanner lets go of it.
  system.held.clear();
  system.sleeps.clear();
  system.held[paths.settings + ".0.tmp"] = TestSwitcherSystem::Sharing::kNothing;
  EXPECT_EQ(WriteFileSafely(system, paths.settings, "newer", nullptr, times, WriteTarget::kReplace),
            FileStatus::kBusy);
  EXPECT_EQ(system.sleeps, std::vector<int>(kBusyAttempts - 1, kBusyRetryMilliseconds));
  EXPECT_EQ(ReadBytes(paths.settings), "newer");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"servicetype.ini", "servicetype.ini.0.tmp"}));
}

// Read from the log of a write in place: the mark is on the disk before the target's
// first byte changes, and goes only after the target is on the disk with the length
// meant. A put-back is trusted only when the file reads back as the old content.
TEST_F(SafeWriteTest, AWriteInPlaceMakesEachStepDurableBeforeTheNext) {
  const std::string mark = PartialMarkOf(paths.settings);
  WriteBytes(paths.settings, "old");
  system.held[paths.settings] = TestSwitcherSystem::Sharing::kReadingAndWriting;
  ASSERT_EQ(WriteFileSafely(system, paths.settings, "new content", nullptr, FileTimes(),
                            WriteTarget::kReplace),
            FileStatus::kOk);
  const auto at = [&](const std::string& operation) {
    return std::find(system.log.begin(), system.log.end(), operation) - system.log.begin();
  };
  const auto first_change =
      std::min(at("SetFileSize " + paths.settings), at("WriteFile " + paths.settings));
  EXPECT_LT(at("FlushFile " + mark + ".0.tmp"), at("MoveOverExisting " + mark));
  EXPECT_LT(at("MoveOverExisting " + mark), first_change);
  EXPECT_LT(at("FlushFile " + paths.settings), at("RemoveFile " + mark));
  EXPECT_LT(at("RemoveFile " + mark), static_cast<std::ptrdiff_t>(system.log.size()));

  // Content that comes shorter the second time than it was written: put back.
  SafeWrite shorter(system, paths.settings);
  ASSERT_EQ(shorter.Begin(), FileStatus::kOk);
  shorter.Write("newer content");
  EXPECT_EQ(shorter.Finish(FileTimes(), WriteTarget::kReplace,
                           [](const ContentSink& sink) { return sink("newer"); }),
            FileStatus::kFailed);
  EXPECT_EQ(ReadBytes(paths.settings), "new content");

  // The target's flush fails, and the put-back reports success but leaves other bytes.
  system.after_operation = [&](int) {
    if (system.last_operation == "WriteFile " + paths.settings && system.lying_paths.empty()) {
      system.failing_writes = {system.writes + 1};
      system.lying_paths.insert(paths.settings);
    }
  };
  EXPECT_EQ(WriteFileSafely(system, paths.settings, "newest", nullptr, FileTimes(),
                            WriteTarget::kReplace),
            FileStatus::kDamaged);
  EXPECT_TRUE(Exists(mark));
}

TEST_F(SafeWriteTest, RefusesAReadOnlyTargetAndLeavesNoTrace) {
  WriteBytes(paths.settings, "old");
  testing::MakeReadOnly(paths.settings, true);
  EXPECT_EQ(
      WriteFileSafely(system, paths.settings, "new", nullptr, FileTimes(), WriteTarget::kReplace),
      FileStatus::kDenied);
  testing::MakeReadOnly(paths.settings, false);
  EXPECT_EQ(ReadBytes(paths.settings), "old");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"servicetype.ini"});
}

// Fails one write, or two (the second while the first is put right), at each point in
// turn, with the target free, or held by a program that shares writing so that a
// longer or a shorter file is written in place: the target is old or new, or, only
// when putting it right failed too, marked partial.
TEST_F(SafeWriteTest, KeepsTheOldFileWhenAnyWriteFails) {
  const std::string big(300 * 1024, 'x');  // several chunks
  const std::string small = "old";
  const std::string mark = PartialMarkOf(paths.settings);
  for (const bool held : {false, true}) {
    for (const bool longer : {true, false}) {
      const std::string& old = longer ? small : big;
      const std::string& written = longer ? big : small;
      for (int first = 1, reached = first;; ++first) {
        for (int second = first + 1;; ++second) {
          SCOPED_TRACE(::testing::Message() << (held ? "held, " : "") << "failing writes " << first
                                            << " and " << second);
          WriteBytes(paths.settings, old);
          TestSwitcherSystem faulty;
          if (held) faulty.held[paths.settings] = TestSwitcherSystem::Sharing::kReadingAndWriting;
          faulty.failing_writes = {first, second};
          const FileStatus status =
              WriteFileSafely(faulty, paths.settings, written, EncodeBackupBytes, FileTimes(),
                              WriteTarget::kReplace);
          reached = faulty.writes;
          const bool marked = Exists(mark);
          EXPECT_EQ(marked, status == FileStatus::kDamaged);
          EXPECT_TRUE(!marked || (held && reached >= second));
          EXPECT_TRUE(reached >= first || status == FileStatus::kOk);
          EXPECT_TRUE(marked || ReadBytes(paths.settings) ==
                                    (status == FileStatus::kOk ? Encode(written) : old));
          std::vector<std::string> expected{"servicetype.ini"};
          if (marked) expected.push_back("servicetype.ini.partial");
          EXPECT_EQ(dir.Entries(), expected);
          if (marked) testing::RemoveForTest(mark);
          if (reached < second) break;
        }
        if (reached < first) break;
      }
    }
  }
}

}  // namespace
}  // namespace vindo
