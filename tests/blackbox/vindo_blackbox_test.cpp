// Runs the real vindo.exe under Wine, as an operator would, against the C: drive of a
// Wine prefix, and checks what it prints, its exit code, the settings file and the
// backup byte by byte, their times, and that no temporary file is left behind.
//
// VINDO_EXE and HOLDFILE_EXE name the cross-built programs. The prefix is $WINEPREFIX
// when set (made with wineboot when it has no C: drive yet), otherwise a throwaway
// prefix that is removed at the end. The tests share c:\fe\fein, so they run one after
// another.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "wine_harness.h"

namespace {

using namespace blackbox;

[[maybe_unused]] ::testing::Environment* const kWinePrefix =
    ::testing::AddGlobalTestEnvironment(new WinePrefix);

// ---------------------------------------------------------------------------------
// Files, bytes and times

std::string Crlf(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text.append(line).append("\r\n");
  return text;
}

// The backup's byte rotation, written out independently of the program's own code.
std::string Encode(const std::string& plain) {
  std::string stored = plain;
  for (char& c : stored) {
    const int b = static_cast<unsigned char>(c);
    c = static_cast<char>(b <= 216 ? b + 39 : b + 39 - 255);
  }
  return stored;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  ASSERT_TRUE(out.good()) << "can't write " << path;
}

std::string Escaped(const std::string& bytes, std::size_t from, std::size_t count) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = from; i < bytes.size() && i < from + count; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\\') {
      text += "\\\\";
    } else if (c >= 0x20 && c < 0x7f) {
      text += static_cast<char>(c);
    } else {
      text += "\\x";
      text += kHex[c >> 4];
      text += kHex[c & 15];
    }
  }
  return text;
}

// Compares file contents and, when they differ, shows where: some of the files are
// far too long to print whole.
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  const auto mismatch =
      std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  const auto at = static_cast<std::size_t>(mismatch.first - actual.begin());
  const std::size_t from = at > 40 ? at - 40 : 0;
  return ::testing::AssertionFailure()
         << "sizes " << actual.size() << " (actual) and " << expected.size()
         << " (expected), first difference at byte " << at << "\n  actual:   ..."
         << Escaped(actual, from, 120) << "\n  expected: ..." << Escaped(expected, from, 120);
}

std::vector<std::string> Entries(const fs::path& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(directory, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

constexpr std::int64_t kNanoseconds = 1000000000;

// Access and modification times in nanoseconds since 1970.
struct Times {
  std::int64_t access;
  std::int64_t write;
};

// Some time in January 2020; the nanoseconds are whole multiples of 100, the finest
// step that Windows file times hold, so they must come back exactly.
constexpr Times kOldTimes{1577880000 * kNanoseconds + 987654300,
                          1577800000 * kNanoseconds + 123456700};
constexpr Times kOtherOldTimes{1262390000 * kNanoseconds + 500000000,
                               1262300000 * kNanoseconds + 700};

timespec ToTimespec(std::int64_t nanoseconds) {
  timespec time{};
  time.tv_sec = static_cast<time_t>(nanoseconds / kNanoseconds);
  time.tv_nsec = static_cast<long>(nanoseconds % kNanoseconds);
  return time;
}

void SetTimes(const fs::path& path, Times times) {
  const timespec both[2] = {ToTimespec(times.access), ToTimespec(times.write)};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), both, 0), 0) << path;
}

// Read with stat only, and before the contents: reading a file moves its access time.
Times GetTimes(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << "can't stat " << path;
  return {info.st_atim.tv_sec * kNanoseconds + info.st_atim.tv_nsec,
          info.st_mtim.tv_sec * kNanoseconds + info.st_mtim.tv_nsec};
}

// ---------------------------------------------------------------------------------
// Expected texts

const char kSafeguardFailed[] = "FEHLER ! ... Lesen oder Schreiben der Initialisierung\r\n\r\n";
const char kCannotWrite[] = "FEHLER ! ... Schreiben der Initialisierung-Datei\r\n\r\n";
const char kUsage[] =
    "FEHLER ! ... falscher Programmaufruf\r\n\r\n"
    "Programmaufruf: vindo.exe <param>\r\n\r\n"
    "                param : /0 ... Auto-Korrektur generell ausschalten\r\n"
    "                        /1 ... Auto-Korrektur generell einschalten\r\n"
    "                        /2 ... Auto-Korrektur auf FUJI-Standard zuruecksetzen\r\n";

const std::string kSample = Crlf({
    "; Servicetypen der Druckstation",
    "1 vor jedem Abschnitt, DSC",
    "[DPOF]",
    "1 Print 9x13, MEDIA",
    "4 Print 20x30",
    "5 Index Print, DSC",
    "8 Album 10x15, DSC",
    "; Kommentar",
    "",
    "[N64]",
    "1 Negativ-Scan, DSC",
    "2 Negativ-Scan fein, DSC",
    "[DPC]",
    "3 Digital 13x18, MEDIA",
    "5 Digital Index, DSC",
    "6 Digital Poster, DSC",
    "[FCOS]",
    "5 Kiosk Pass, MEDIA",
    "9 Kiosk Collage, DSC",
    "16 Kiosk Extra, DSC",
    "[C5_FPX]",
    "7 FPX Panorama, MEDIA",
    "12 FPX Poster, DSC",
    "13 FPX Sonder, DSC",
    "[C5_BMP]",
    "12 BMP Poster, DSC",
    "13 BMP Sonder, DSC",
    "[HINWEIS]",
    "; unbekannte Abschnitte gehoeren zum letzten bekannten",
    "14 BMP Leinwand, DSC",
    "[OTHER]",
    "7 Sonstige Sofortbild, MEDIA",
    "19 Sonstige Grossformat, DSC",
    "20 Sonstige Archiv, DSC",
});

// Mode /0: every listed item gets ", MEDIA".
const std::string kSampleOff = Crlf({
    "; Servicetypen der Druckstation",
    "1 vor jedem Abschnitt, DSC",
    "[DPOF]",
    "1 Print 9x13, MEDIA",
    "4 Print 20x30, MEDIA",
    "5 Index Print, DSC",
    "8 Album 10x15, MEDIA",
    "; Kommentar",
    "",
    "[N64]",
    "1 Negativ-Scan, MEDIA",
    "2 Negativ-Scan fein, DSC",
    "[DPC]",
    "3 Digital 13x18, MEDIA",
    "5 Digital Index, MEDIA",
    "6 Digital Poster, DSC",
    "[FCOS]",
    "5 Kiosk Pass, MEDIA",
    "9 Kiosk Collage, MEDIA",
    "16 Kiosk Extra, DSC",
    "[C5_FPX]",
    "7 FPX Panorama, MEDIA",
    "12 FPX Poster, MEDIA",
    "13 FPX Sonder, DSC",
    "[C5_BMP]",
    "12 BMP Poster, DSC",
    "13 BMP Sonder, MEDIA",
    "[HINWEIS]",
    "; unbekannte Abschnitte gehoeren zum letzten bekannten",
    "14 BMP Leinwand, MEDIA",
    "[OTHER]",
    "7 Sonstige Sofortbild, MEDIA",
    "19 Sonstige Grossformat, MEDIA",
    "20 Sonstige Archiv, DSC",
});

// Mode /1: every listed item gets ", DSC".
const std::string kSampleOn = Crlf({
    "; Servicetypen der Druckstation",
    "1 vor jedem Abschnitt, DSC",
    "[DPOF]",
    "1 Print 9x13, DSC",
    "4 Print 20x30, DSC",
    "5 Index Print, DSC",
    "8 Album 10x15, DSC",
    "; Kommentar",
    "",
    "[N64]",
    "1 Negativ-Scan, DSC",
    "2 Negativ-Scan fein, DSC",
    "[DPC]",
    "3 Digital 13x18, DSC",
    "5 Digital Index, DSC",
    "6 Digital Poster, DSC",
    "[FCOS]",
    "5 Kiosk Pass, DSC",
    "9 Kiosk Collage, DSC",
    "16 Kiosk Extra, DSC",
    "[C5_FPX]",
    "7 FPX Panorama, DSC",
    "12 FPX Poster, DSC",
    "13 FPX Sonder, DSC",
    "[C5_BMP]",
    "12 BMP Poster, DSC",
    "13 BMP Sonder, DSC",
    "[HINWEIS]",
    "; unbekannte Abschnitte gehoeren zum letzten bekannten",
    "14 BMP Leinwand, DSC",
    "[OTHER]",
    "7 Sonstige Sofortbild, DSC",
    "19 Sonstige Grossformat, DSC",
    "20 Sonstige Archiv, DSC",
});

// Mode /2: each listed item gets its own factory ending.
const std::string kSampleFactory = Crlf({
    "; Servicetypen der Druckstation",
    "1 vor jedem Abschnitt, DSC",
    "[DPOF]",
    "1 Print 9x13, DSC",
    "4 Print 20x30, DSC",
    "5 Index Print, DSC",
    "8 Album 10x15, MEDIA",
    "; Kommentar",
    "",
    "[N64]",
    "1 Negativ-Scan, MEDIA",
    "2 Negativ-Scan fein, DSC",
    "[DPC]",
    "3 Digital 13x18, DSC",
    "5 Digital Index, MEDIA",
    "6 Digital Poster, DSC",
    "[FCOS]",
    "5 Kiosk Pass, DSC",
    "9 Kiosk Collage, MEDIA",
    "16 Kiosk Extra, DSC",
    "[C5_FPX]",
    "7 FPX Panorama, DSC",
    "12 FPX Poster, MEDIA",
    "13 FPX Sonder, DSC",
    "[C5_BMP]",
    "12 BMP Poster, DSC",
    "13 BMP Sonder, MEDIA",
    "[HINWEIS]",
    "; unbekannte Abschnitte gehoeren zum letzten bekannten",
    "14 BMP Leinwand, MEDIA",
    "[OTHER]",
    "7 Sonstige Sofortbild, DSC",
    "19 Sonstige Grossformat, MEDIA",
    "20 Sonstige Archiv, DSC",
});

// Every byte value but 255, which the backup can't hold.
std::string EveryStorableByte() {
  std::string bytes;
  for (int b = 0; b < 255; ++b) bytes += static_cast<char>(b);
  return bytes;
}

const char kSettingsWindowsPath[] = "c:\\fe\\fein\\servicetype.ini";
const std::vector<std::string> kNothing;
const std::vector<std::string> kJustSettings{"servicetype.ini"};
const std::vector<std::string> kJustBackup{"res_ini.sav"};

// ---------------------------------------------------------------------------------
// The fixture: a clean c:\fe\fein and a fresh working directory for every test

class VindoExe : public ::testing::Test {
 protected:
  fs::path fein;      // c:\fe\fein
  fs::path settings;  // c:\fe\fein\servicetype.ini
  fs::path work;      // the working directory, where the backup lands
  fs::path backup;    // res_ini.sav in it

  void SetUp() override {
    ASSERT_FALSE(Env("VINDO_EXE").empty()) << "VINDO_EXE must name the cross-built vindo.exe";
    ASSERT_FALSE(WinePrefix::drive_c.empty()) << "the Wine prefix was not set up";
    fein = WinePrefix::drive_c / "fe" / "fein";
    settings = fein / "servicetype.ini";
    fs::remove_all(WinePrefix::drive_c / "fe");
    fs::create_directories(fein);

    std::string pattern = (fs::temp_directory_path() / "vindo-blackbox-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    scratch_ = pattern;
    logs_ = scratch_ / "logs";
    fs::create_directory(logs_);
    work = MakeWorkDirectory("work");
    backup = work / "res_ini.sav";
  }

  void TearDown() override {
    std::error_code ignored;
    if (!scratch_.empty()) fs::remove_all(scratch_, ignored);
    fs::remove_all(WinePrefix::drive_c / "fe", ignored);
  }

  fs::path MakeWorkDirectory(const std::string& name) {
    const fs::path directory = scratch_ / name;
    fs::create_directory(directory);
    return directory;
  }

  // vindo.exe with these arguments, run from |directory| (the working directory by
  // default) with no input.
  Outcome Vindo(std::vector<std::string> arguments, const fs::path& directory) {
    arguments.insert(arguments.begin(), {Wine(), Env("VINDO_EXE")});
    return RunToEnd(arguments, directory, logs_);
  }
  Outcome Vindo(std::vector<std::string> arguments) { return Vindo(std::move(arguments), work); }

  // Another program, for preparing a case; its output lands in the logs.
  Outcome Tool(const std::vector<std::string>& command) { return RunToEnd(command, work, logs_); }

  const fs::path& Logs() const { return logs_; }

  // A file with the given bytes and times.
  void Put(const fs::path& path, const std::string& bytes, Times times) {
    WriteBytes(path, bytes);
    SetTimes(path, times);
  }

  // The exact contents of c:\fe\fein and the working directory: nothing else, in
  // particular no temporary file.
  void ExpectOnly(const std::vector<std::string>& in_fein,
                  const std::vector<std::string>& in_work) {
    EXPECT_EQ(Entries(fein), in_fein) << "in c:\\fe\\fein";
    EXPECT_EQ(Entries(work), in_work) << "in the working directory";
  }

  // A file left as it was: bytes and modification time. (Its access time may have
  // moved: the program read it.)
  void ExpectUnchanged(const fs::path& path, const std::string& bytes, Times times) {
    EXPECT_EQ(GetTimes(path).write, times.write) << path;
    EXPECT_TRUE(SameBytes(ReadBytes(path), bytes)) << path;
  }

  // A file with these bytes and exactly these access and modification times.
  void ExpectFile(const fs::path& path, const std::string& bytes, Times times) {
    const Times actual = GetTimes(path);
    EXPECT_EQ(actual.access, times.access) << "access time of " << path;
    EXPECT_EQ(actual.write, times.write) << "modification time of " << path;
    EXPECT_TRUE(SameBytes(ReadBytes(path), bytes)) << path;
  }

 private:
  fs::path scratch_;  // this test's temporary folder: working directories and logs
  fs::path logs_;
};

// ---------------------------------------------------------------------------------
// Switching

TEST_F(VindoExe, EachModeRewritesTheSampleKeepsItsTimesAndRefreshesTheBackup) {
  const std::pair<const char*, const std::string*> modes[] = {
      {"/0", &kSampleOff}, {"/1", &kSampleOn}, {"/2", &kSampleFactory}};
  for (const auto& [mode, expected] : modes) {
    SCOPED_TRACE(mode);
    Put(settings, kSample, kOldTimes);
    Put(backup, Encode("an older backup\r\n"), kOtherOldTimes);

    const Outcome run = Vindo({mode});
    ExpectEnded(run, 0, "");
    ExpectFile(settings, *expected, kOldTimes);
    ExpectFile(backup, Encode(*expected), kOldTimes);
    ExpectOnly(kJustSettings, kJustBackup);
  }
}

TEST_F(VindoExe, TheLastModeArgumentWinsAndOnlyItsFirstTwoCharactersCount) {
  Put(settings, kSample, kOldTimes);
  Outcome run = Vindo({"/1", "/0abc", "x"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, "");
  ExpectFile(settings, kSampleOff, kOldTimes);

  Put(settings, kSample, kOldTimes);
  run = Vindo({"/2", "/1/0", "-0", "1"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, "");
  ExpectFile(settings, kSampleOn, kOldTimes);
  ExpectFile(backup, Encode(kSampleOn), kOldTimes);
}

TEST_F(VindoExe, LineEndsTheEndOfFileByteAndLongLines) {
  const std::string long_name(100000, 'n');
  const std::string long_comment = "; " + std::string(100000, 'c');
  Put(settings,
      "[OTHER]\n8 " + long_name + ", DSC\n" + long_comment + "\n; lone\rCR\n9 x, DSC\r\n\x1A" +
          "7 after the end, MEDIA\r\n",
      kOldTimes);
  Outcome run = Vindo({"/0"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, "");
  const std::string expected = "[OTHER]\r\n8 " + long_name + ", MEDIA\r\n" + long_comment +
                               "\r\n; lone\rCR\r\n9 x, MEDIA\r\n";
  ExpectFile(settings, expected, kOldTimes);
  ExpectFile(backup, Encode(expected), kOldTimes);

  // A last line without a line end gets one.
  Put(settings, "[DPOF]\n1 a, MEDIA", kOldTimes);
  run = Vindo({"/1"});
  EXPECT_EQ(run.exit_code, 0);
  ExpectFile(settings, "[DPOF]\r\n1 a, DSC\r\n", kOldTimes);

  // An empty file stays empty.
  Put(settings, "", kOldTimes);
  run = Vindo({"/2"});
  EXPECT_EQ(run.exit_code, 0);
  ExpectFile(settings, "", kOldTimes);
  ExpectFile(backup, "", kOldTimes);
  ExpectOnly(kJustSettings, kJustBackup);
}

// ---------------------------------------------------------------------------------
// The usage text

TEST_F(VindoExe, WithoutAModeTheUsageIsShownAfterTheBackupIsRefreshed) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, std::vector<std::string>{"/3", "0", "-1", "x/0", "/"}}) {
    SCOPED_TRACE(arguments.size());
    Put(settings, kSample, kOldTimes);
    Put(backup, Encode("an older backup\r\n"), kOtherOldTimes);

    const Outcome run = Vindo(arguments);
    ExpectEnded(run, 1, kUsage);
    ExpectUnchanged(settings, kSample, kOldTimes);
    ExpectFile(backup, Encode(kSample), kOldTimes);
    ExpectOnly(kJustSettings, kJustBackup);
  }
}

TEST_F(VindoExe, TheBackupRotatesEveryByte) {
  const std::string bytes = EveryStorableByte();
  Put(settings, bytes, kOldTimes);
  const Outcome run = Vindo({});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, kUsage);
  ExpectUnchanged(settings, bytes, kOldTimes);
  std::string rotated;
  for (int b = 39; b < 256; ++b) rotated += static_cast<char>(b);
  for (int b = 1; b < 39; ++b) rotated += static_cast<char>(b);
  ExpectFile(backup, rotated, kOldTimes);
}

// ---------------------------------------------------------------------------------
// Restoring from the backup

TEST_F(VindoExe, AMissingSettingsFileIsRestoredWithTheBackupsTimes) {
  const std::string bytes = EveryStorableByte();
  Put(backup, Encode(bytes), kOtherOldTimes);
  const Outcome run = Vindo({});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, kUsage);
  ExpectFile(settings, bytes, kOtherOldTimes);
  ExpectUnchanged(backup, Encode(bytes), kOtherOldTimes);
  ExpectOnly(kJustSettings, kJustBackup);
}

TEST_F(VindoExe, AMissingSettingsFileIsRestoredAndThenSwitched) {
  Put(backup, Encode(kSample), kOtherOldTimes);
  const Outcome run = Vindo({"/2"});
  ExpectEnded(run, 0, "");
  ExpectFile(settings, kSampleFactory, kOtherOldTimes);
  ExpectFile(backup, Encode(kSampleFactory), kOtherOldTimes);
  ExpectOnly(kJustSettings, kJustBackup);
}

TEST_F(VindoExe, EachWorkingDirectoryHasItsOwnBackup) {
  Put(backup, Encode(kSample), kOldTimes);
  const fs::path elsewhere = MakeWorkDirectory("elsewhere");
  const std::string other = "[DPOF]\r\n7 Album, DSC\r\n";
  Put(elsewhere / "res_ini.sav", Encode(other), kOtherOldTimes);

  Outcome run = Vindo({"/0"}, elsewhere);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, "");
  ExpectFile(settings, "[DPOF]\r\n7 Album, MEDIA\r\n", kOtherOldTimes);
  ExpectFile(elsewhere / "res_ini.sav", Encode("[DPOF]\r\n7 Album, MEDIA\r\n"), kOtherOldTimes);

  // Without a backup in the working directory, a lost settings file can't come back.
  fs::remove(settings);
  const fs::path empty = MakeWorkDirectory("empty");
  run = Vindo({"/0"}, empty);
  ExpectEnded(run, 1, kSafeguardFailed);
  EXPECT_EQ(Entries(fein), kNothing);
  EXPECT_EQ(Entries(empty), kNothing);
  // Neither run read or wrote the first working directory's backup.
  ExpectFile(backup, Encode(kSample), kOldTimes);
}

// ---------------------------------------------------------------------------------
// Failures of the safeguard: nothing changes, nothing is left behind

TEST_F(VindoExe, NeitherSettingsFileNorBackupIsReported) {
  const Outcome run = Vindo({"/0"});
  ExpectEnded(run, 1, kSafeguardFailed);
  ExpectOnly(kNothing, kNothing);
}

TEST_F(VindoExe, AByteTheBackupCantHoldIsRefusedAndNothingChanges) {
  const std::string bytes = kSample + "; \xff\r\n";
  Put(settings, bytes, kOldTimes);
  Put(backup, Encode(kSampleOn), kOtherOldTimes);
  const Outcome run = Vindo({"/0"});
  ExpectEnded(run, 1, kSafeguardFailed);
  ExpectUnchanged(settings, bytes, kOldTimes);
  ExpectFile(backup, Encode(kSampleOn), kOtherOldTimes);
  ExpectOnly(kJustSettings, kJustBackup);
}

TEST_F(VindoExe, ADirectoryWhereTheSettingsFileShouldBeIsReported) {
  fs::create_directory(settings);
  Put(backup, Encode(kSample), kOldTimes);
  const Outcome run = Vindo({"/1"});
  ExpectEnded(run, 1, kSafeguardFailed);
  EXPECT_TRUE(fs::is_directory(settings));
  EXPECT_EQ(Entries(settings), kNothing);
  ExpectFile(backup, Encode(kSample), kOldTimes);
  ExpectOnly(kJustSettings, kJustBackup);
}

TEST_F(VindoExe, AMissingSettingsFolderIsReportedAndNotMade) {
  fs::remove(fein);
  Put(backup, Encode(kSample), kOldTimes);
  const Outcome run = Vindo({"/1"});
  ExpectEnded(run, 1, kSafeguardFailed);
  EXPECT_FALSE(fs::exists(fein));
  EXPECT_EQ(Entries(fein.parent_path()), kNothing);
  ExpectUnchanged(backup, Encode(kSample), kOldTimes);
  EXPECT_EQ(Entries(work), kJustBackup);
}

// ---------------------------------------------------------------------------------
// Files that another program holds open

// The settings file or the backup, held by holdfile.exe with the given sharing, and
// mapped into its memory or not. A file held can't be replaced in one step; after
// about a second of retries it is written in place if the holder shares writing, else
// the run fails with the file unchanged. A mapped file can't be cut: a switch that
// makes it shorter fails, and the file is put back as it was; one that makes it longer
// works. (Mode /1 makes the sample shorter, /0 longer.)
TEST_F(VindoExe, AHeldFileIsWrittenInPlaceWhenTheHolderSharesWritingElseKept) {
  ASSERT_FALSE(Env("HOLDFILE_EXE").empty()) << "HOLDFILE_EXE must name holdfile.exe";
  const std::string held_backup = WindowsPath(backup);
  struct Case {
    const char* held;
    std::vector<std::string> holding;  // holdfile's sharing and whether it maps the file
    const char* mode;
    int exit_code;
    const char* output;
    const std::string* settings_after;  // kSample: unchanged
    const std::string* backup_after;    // what the backup restores; kSampleOn: not written
  };
  const Case cases[] = {
      {kSettingsWindowsPath, {"none"}, "/0", 1, kSafeguardFailed, &kSample, &kSampleOn},
      {kSettingsWindowsPath, {"read"}, "/0", 1, kCannotWrite, &kSample, &kSample},
      {kSettingsWindowsPath, {"read-write"}, "/0", 0, "", &kSampleOff, &kSampleOff},
      {kSettingsWindowsPath, {"all"}, "/2", 0, "", &kSampleFactory, &kSampleFactory},
      {kSettingsWindowsPath, {"read-write", "mapped"}, "/1", 1, kCannotWrite, &kSample, &kSample},
      {kSettingsWindowsPath, {"read-write", "mapped"}, "/0", 0, "", &kSampleOff, &kSampleOff},
      {held_backup.c_str(), {"read"}, "/0", 1, kSafeguardFailed, &kSample, &kSampleOn},
      {held_backup.c_str(), {"read-write"}, "/0", 0, "", &kSampleOff, &kSampleOff},
      {held_backup.c_str(),
       {"read-write", "mapped"},
       "/1",
       1,
       kSafeguardFailed,
       &kSampleOn,
       &kSample},
  };
  for (const Case& held : cases) {
    SCOPED_TRACE(::testing::Message()
                 << held.held << " held, " << held.holding.back() << ", " << held.mode);
    Put(settings, kSample, kOldTimes);
    Put(backup, Encode(kSampleOn), kOtherOldTimes);

    HelperProcess holder;
    std::vector<std::string> command{Env("HOLDFILE_EXE"), held.held};
    command.insert(command.end(), held.holding.begin(), held.holding.end());
    ASSERT_TRUE(holder.Start(command, Logs() / "holdfile.err", "held"));
    // Mapping a file reads it, which moves its access time.
    SetTimes(settings, kOldTimes);
    SetTimes(backup, kOtherOldTimes);
    const Outcome run = Vindo({held.mode});
    EXPECT_EQ(holder.Stop(), 0);

    ExpectEnded(run, held.exit_code, held.output);
    if (held.settings_after == &kSample) {
      ExpectUnchanged(settings, kSample, kOldTimes);
    } else {
      ExpectFile(settings, *held.settings_after, kOldTimes);
    }
    ExpectFile(backup, Encode(*held.backup_after),
               held.backup_after == &kSampleOn ? kOtherOldTimes : kOldTimes);
    ExpectOnly(kJustSettings, kJustBackup);
  }
}

// |text| from its first section on, |times| times over: each copy starts a section of
// its own, so that the copies are switched alike.
std::string Repeated(const std::string& text, int times) {
  const std::string sections = text.substr(text.find("[DPOF]"));
  std::string repeated;
  for (int i = 0; i < times; ++i) repeated += sections;
  return repeated;
}

// Two runs started together on a held file, again and again: they take turns, so both
// switch, and the file and the backup hold the later switch whole.
TEST_F(VindoExe, TwoRunsAtOnceOnAHeldFileTakeTurns) {
  ASSERT_FALSE(Env("HOLDFILE_EXE").empty()) << "HOLDFILE_EXE must name holdfile.exe";
  const std::string big = Repeated(kSample, 2000);  // about 70,000 lines
  const std::string off = Repeated(kSampleOff, 2000);
  const std::string on = Repeated(kSampleOn, 2000);
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(::testing::Message() << "round " << round);
    Put(settings, big, kOldTimes);
    HelperProcess holder;
    ASSERT_TRUE(holder.Start({Env("HOLDFILE_EXE"), kSettingsWindowsPath, "read-write"},
                             Logs() / "holdfile.err", "held"));
    pid_t runs[2];
    std::string outputs[2];
    for (int i = 0; i < 2; ++i) {
      outputs[i] = (Logs() / ("run" + std::to_string(i))).string();
      const int output = open(outputs[i].c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      ASSERT_GE(output, 0);
      runs[i] = Spawn({Wine(), Env("VINDO_EXE"), i == 0 ? "/0" : "/1"}, work, -1, output, output);
      close(output);
    }
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(Wait(runs[i]), 0) << ReadBytes(outputs[i]);
      EXPECT_EQ(ReadBytes(outputs[i]), "");
    }
    EXPECT_EQ(holder.Stop(), 0);

    const std::string switched = ReadBytes(settings);
    EXPECT_TRUE(switched == off || switched == on) << SameBytes(switched, off).message();
    EXPECT_TRUE(SameBytes(ReadBytes(backup), Encode(switched)));
    ExpectOnly(kJustSettings, kJustBackup);
  }
}

// A scanner that opens the mark of a write in place the moment it appears, sharing
// nothing, and holds it past the run's retries: the run succeeds and the mark stays.
// It blocks nothing: the next run finds the file whole, removes the mark and switches.
// (A large file keeps the mark there long enough for the scanner to see it.)
TEST_F(VindoExe, AMarkHeldAsItIsClearedBlocksNoLaterRun) {
  ASSERT_FALSE(Env("HOLDFILE_EXE").empty()) << "HOLDFILE_EXE must name holdfile.exe";
  const int copies = 4000;  // about 140,000 lines
  Put(settings, Repeated(kSample, copies), kOldTimes);
  HelperProcess holder;
  ASSERT_TRUE(holder.Start({Env("HOLDFILE_EXE"), kSettingsWindowsPath, "read-write"},
                           Logs() / "holdfile.err", "held"));
  HelperProcess scanner;
  ASSERT_TRUE(scanner.Start(
      {Env("HOLDFILE_EXE"), std::string(kSettingsWindowsPath) + ".partial", "none", "appearing"},
      Logs() / "scanner.err", "waiting"));
  const Outcome run = Vindo({"/0"});
  std::string line;
  EXPECT_TRUE(scanner.ReadLine(&line, Clock::now() + std::chrono::seconds(10)));
  EXPECT_EQ(line, "held") << "the scanner did not see the mark";
  EXPECT_EQ(scanner.Stop(), 0);
  EXPECT_EQ(holder.Stop(), 0);
  ExpectEnded(run, 0, "");
  EXPECT_TRUE(SameBytes(ReadBytes(settings), Repeated(kSampleOff, copies)));
  ExpectOnly({"servicetype.ini", "servicetype.ini.partial"}, kJustBackup);

  ExpectEnded(Vindo({"/1"}), 0, "");
  EXPECT_TRUE(SameBytes(ReadBytes(settings), Repeated(kSampleOn, copies)));
  EXPECT_TRUE(SameBytes(ReadBytes(backup), Encode(Repeated(kSampleOn, copies))));
  ExpectOnly(kJustSettings, kJustBackup);
}

// A full disk: c:\fe\fein on a small file system of its own, with room for the
// settings file and the temporary file but not for the longer file written in place
// beside it. The held file is put back as it was.
TEST_F(VindoExe, AFullDiskKeepsAHeldFileWhole) {
  ASSERT_FALSE(Env("HOLDFILE_EXE").empty()) << "HOLDFILE_EXE must name holdfile.exe";
  const std::string big = Repeated(kSample, 2000);
  const std::string off = Repeated(kSampleOff, 2000);
  constexpr std::size_t kPage = 4096;
  const auto pages = [&](std::size_t bytes) { return (bytes + kPage - 1) / kPage; };
  // Less room to spare than the longer file needs: it grows by more than 40 KiB.
  ASSERT_GT(off.size(), big.size() + 10 * kPage);
  const std::size_t room = (pages(big.size()) + pages(off.size()) + 4) * kPage;
  const Outcome mount = Tool({"mount", "-t", "tmpfs", "-o", "size=" + std::to_string(room),
                              "vindo-full-disk", fein.string()});
  if (mount.exit_code != 0) {
    GTEST_SKIP() << "can't mount a small file system over c:\\fe\\fein here: " << mount.errors;
  }
  struct AtEnd {
    std::function<void()> unmount;
    ~AtEnd() { unmount(); }
  } at_end{[this] {
    if (Tool({"umount", fein.string()}).exit_code != 0) Tool({"umount", "-l", fein.string()});
  }};

  Put(settings, big, kOldTimes);
  HelperProcess holder;
  ASSERT_TRUE(holder.Start({Env("HOLDFILE_EXE"), kSettingsWindowsPath, "read-write"},
                           Logs() / "holdfile.err", "held"));
  const Outcome run = Vindo({"/0"});
  EXPECT_EQ(holder.Stop(), 0);

  ExpectEnded(run, 1, kCannotWrite);
  ExpectUnchanged(settings, big, kOldTimes);
  ExpectFile(backup, Encode(big), kOldTimes);
  ExpectOnly(kJustSettings, kJustBackup);
}

// ---------------------------------------------------------------------------------
// Temporary files that runs stopped dead left behind

TEST_F(VindoExe, StaleTemporaryFilesAreRemovedButNotOneThatIsStillOpen) {
  ASSERT_FALSE(Env("HOLDFILE_EXE").empty()) << "HOLDFILE_EXE must name holdfile.exe";
  Put(settings, kSample, kOldTimes);
  for (int n = 0; n < 150; ++n) {
    WriteBytes(fein / ("servicetype.ini." + std::to_string(n) + ".tmp"), "stale");
    WriteBytes(work / ("res_ini.sav." + std::to_string(n) + ".tmp"), "stale");
  }
  // The temporary file of another run that is still writing it: Windows lets nobody
  // delete a file held open without sharing its deletion, so it is safe.
  HelperProcess holder;
  ASSERT_TRUE(holder.Start({Env("HOLDFILE_EXE"), "c:\\fe\\fein\\servicetype.ini.5.tmp"},
                           Logs() / "holdfile.err", "held"));
  Outcome run = Vindo({"/0"});
  EXPECT_EQ(holder.Stop(), 0);

  ExpectEnded(run, 0, "");
  ExpectFile(settings, kSampleOff, kOldTimes);
  ExpectFile(backup, Encode(kSampleOff), kOldTimes);
  ExpectOnly({"servicetype.ini", "servicetype.ini.5.tmp"}, kJustBackup);
  EXPECT_EQ(ReadBytes(fein / "servicetype.ini.5.tmp"), "stale");

  // Let go of, it is stale too.
  run = Vindo({"/1"});
  ExpectEnded(run, 0, "");
  ExpectOnly(kJustSettings, kJustBackup);
}

// ---------------------------------------------------------------------------------
// A settings file that can't be replaced: the old one stays, the backup is made

TEST_F(VindoExe, AnImmutableSettingsFileIsReportedAndKept) {
  Put(settings, kSample, kOldTimes);
  if (Tool({"chattr", "+i", settings.string()}).exit_code != 0) {
    GTEST_SKIP() << "chattr +i does not work here";
  }
  const Outcome run = Vindo({"/0"});
  const Outcome undo = Tool({"chattr", "-i", settings.string()});
  ASSERT_EQ(undo.exit_code, 0) << "chattr -i failed, " << settings << " stays immutable";

  ExpectEnded(run, 1, kCannotWrite);
  ExpectUnchanged(settings, kSample, kOldTimes);
  ExpectFile(backup, Encode(kSample), kOldTimes);
  ExpectOnly(kJustSettings, kJustBackup);
}

TEST_F(VindoExe, ASettingsFileMarkedReadOnlyIsReportedAndKept) {
  Put(settings, kSample, kOldTimes);
  const Outcome attrib = Tool({Wine(), "attrib", "+r", kSettingsWindowsPath});
  ASSERT_EQ(attrib.exit_code, 0) << attrib.output << attrib.errors;
  // Wine keeps the attribute as missing write permission.
  ASSERT_EQ(fs::status(settings).permissions() & fs::perms::owner_write, fs::perms::none);

  const Outcome run = Vindo({"/0"});
  ExpectEnded(run, 1, kCannotWrite);
  EXPECT_EQ(fs::status(settings).permissions() & fs::perms::owner_write, fs::perms::none);
  ExpectUnchanged(settings, kSample, kOldTimes);
  ExpectFile(backup, Encode(kSample), kOldTimes);
  ExpectOnly(kJustSettings, kJustBackup);
}

}  // namespace
