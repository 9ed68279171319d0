// Runs the real vindo.exe under Wine, as an operator would, against the C: drive of
// a Wine prefix, and checks what it prints, its exit code, the settings file and the
// backup byte by byte, and their times.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string Crlf(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

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
  ASSERT_TRUE(out.good()) << path;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "can't read " << path;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Entries(const fs::path& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct Times {
  time_t access;
  time_t write;
};

void SetTimes(const fs::path& path, Times times) {
  timespec both[2] = {};
  both[0].tv_sec = times.access;
  both[1].tv_sec = times.write;
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), both, 0), 0) << path;
}

// Read with stat only: reading a file moves its access time.
Times GetTimes(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return {info.st_atim.tv_sec, info.st_mtim.tv_sec};
}

// Starts a program and waits for it; returns its exit code, or -1.
int Spawn(const std::vector<std::string>& command, const fs::path& directory,
          const fs::path& output) {
  std::vector<std::string> parts = command;
  std::vector<char*> argv;
  for (std::string& part : parts) argv.push_back(part.data());
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || chdir(directory.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// One Wine prefix for the whole program: $WINEPREFIX, or a throwaway one.
class WinePrefix : public ::testing::Environment {
 public:
  static fs::path drive_c;

  void SetUp() override {
    setenv("WINEDEBUG", "-all", 1);
    if (Env("WINEPREFIX").empty()) {
      char pattern[] = "/tmp/vindo-blackbox-XXXXXX";
      ASSERT_NE(mkdtemp(pattern), nullptr);
      own_ = pattern;
      setenv("WINEPREFIX", (own_ / "prefix").c_str(), 1);
    }
    const fs::path prefix = Env("WINEPREFIX");
    fs::create_directories(prefix);
    drive_c = prefix / "drive_c";
    if (!fs::exists(drive_c)) {
      ASSERT_EQ(Spawn({"wineboot", "-i"}, prefix, prefix / "wineboot.log"), 0);
    }
    ASSERT_TRUE(fs::exists(drive_c));
  }

  void TearDown() override {
    fs::remove_all(drive_c / "fe");
    if (!own_.empty()) {
      Spawn({"wineserver", "-k"}, own_, own_ / "wineserver.log");
      fs::remove_all(own_);
    }
  }

 private:
  fs::path own_;
};

fs::path WinePrefix::drive_c;
const auto* const kWinePrefix = ::testing::AddGlobalTestEnvironment(new WinePrefix);

const char kSafeguardFailed[] = "FEHLER ! ... Lesen oder Schreiben der Initialisierung\r\n\r\n";
const char kCannotWrite[] = "FEHLER ! ... Schreiben der Initialisierung-Datei\r\n\r\n";

const std::string kSample = Crlf({
    "; Servicetypen",
    "[DPOF]",
    "1 Print 9x13, MEDIA",
    "5 Index, DSC",
    "7 Album 10x15, DSC",
    "[N64]",
    "1 Scan, DSC",
    "2 Scan fein, DSC",
    "[DPC]",
    "5 Digital Index, DSC",
    "[FCOS]",
    "5 Kiosk Pass, MEDIA",
    "9 Kiosk Collage, DSC",
    "[C5_FPX]",
    "12 FPX Poster, DSC",
    "13 FPX Sonder, DSC",
    "[C5_BMP]",
    "12 BMP Poster, DSC",
    "13 BMP Sonder, DSC",
    "[XYZ]",
    "14 BMP Leinwand, DSC",
    "[OTHER]",
    "7 Sonstige, MEDIA",
    "20 Archiv, DSC",
});

const std::string kSampleOff = Crlf({
    "; Servicetypen",
    "[DPOF]",
    "1 Print 9x13, MEDIA",
    "5 Index, DSC",
    "7 Album 10x15, MEDIA",
    "[N64]",
    "1 Scan, MEDIA",
    "2 Scan fein, DSC",
    "[DPC]",
    "5 Digital Index, MEDIA",
    "[FCOS]",
    "5 Kiosk Pass, MEDIA",
    "9 Kiosk Collage, MEDIA",
    "[C5_FPX]",
    "12 FPX Poster, MEDIA",
    "13 FPX Sonder, DSC",
    "[C5_BMP]",
    "12 BMP Poster, DSC",
    "13 BMP Sonder, MEDIA",
    "[XYZ]",
    "14 BMP Leinwand, MEDIA",
    "[OTHER]",
    "7 Sonstige, MEDIA",
    "20 Archiv, DSC",
});

const std::string kSampleOn = Crlf({
    "; Servicetypen",
    "[DPOF]",
    "1 Print 9x13, DSC",
    "5 Index, DSC",
    "7 Album 10x15, DSC",
    "[N64]",
    "1 Scan, DSC",
    "2 Scan fein, DSC",
    "[DPC]",
    "5 Digital Index, DSC",
    "[FCOS]",
    "5 Kiosk Pass, DSC",
    "9 Kiosk Collage, DSC",
    "[C5_FPX]",
    "12 FPX Poster, DSC",
    "13 FPX Sonder, DSC",
    "[C5_BMP]",
    "12 BMP Poster, DSC",
    "13 BMP Sonder, DSC",
    "[XYZ]",
    "14 BMP Leinwand, DSC",
    "[OTHER]",
    "7 Sonstige, DSC",
    "20 Archiv, DSC",
});

const std::string kSampleFactory = Crlf({
    "; Servicetypen",
    "[DPOF]",
    "1 Print 9x13, DSC",
    "5 Index, DSC",
    "7 Album 10x15, MEDIA",
    "[N64]",
    "1 Scan, MEDIA",
    "2 Scan fein, DSC",
    "[DPC]",
    "5 Digital Index, MEDIA",
    "[FCOS]",
    "5 Kiosk Pass, DSC",
    "9 Kiosk Collage, MEDIA",
    "[C5_FPX]",
    "12 FPX Poster, MEDIA",
    "13 FPX Sonder, DSC",
    "[C5_BMP]",
    "12 BMP Poster, DSC",
    "13 BMP Sonder, MEDIA",
    "[XYZ]",
    "14 BMP Leinwand, MEDIA",
    "[OTHER]",
    "7 Sonstige, DSC",
    "20 Archiv, DSC",
});

constexpr Times kOldTimes{1577880000, 1577800000};  // early January 2020

class VindoExe : public ::testing::Test {
 protected:
  fs::path fein;
  fs::path settings;
  fs::path work;  // the working directory, where the backup lands
  fs::path backup;
  std::string output;

  void SetUp() override {
    ASSERT_FALSE(Env("VINDO_EXE").empty()) << "VINDO_EXE must name the cross-built vindo.exe";
    fein = WinePrefix::drive_c / "fe" / "fein";
    fs::remove_all(WinePrefix::drive_c / "fe");
    fs::create_directories(fein);
    settings = fein / "servicetype.ini";
    work = MakeWorkDirectory();
    backup = work / "res_ini.sav";
  }

  void TearDown() override {
    for (const fs::path& directory : made_) fs::remove_all(directory);
  }

  fs::path MakeWorkDirectory() {
    char pattern[] = "/tmp/vindo-work-XXXXXX";
    EXPECT_NE(mkdtemp(pattern), nullptr);
    made_.emplace_back(pattern);
    return made_.back();
  }

  int Run(std::vector<std::string> arguments, const fs::path& directory) {
    const fs::path log = directory.parent_path() / (directory.filename().string() + ".out");
    arguments.insert(arguments.begin(), {"wine", Env("VINDO_EXE")});
    const int exit_code = Spawn(arguments, directory, log);
    output = ReadBytes(log);
    fs::remove(log);
    return exit_code;
  }
  int Run(std::vector<std::string> arguments) { return Run(std::move(arguments), work); }

  // No temporary file is ever left beside the settings file or the backup.
  void ExpectOnly(const std::vector<std::string>& in_fein,
                  const std::vector<std::string>& in_work) {
    EXPECT_EQ(Entries(fein), in_fein);
    EXPECT_EQ(Entries(work), in_work);
  }

 private:
  std::vector<fs::path> made_;
};

TEST_F(VindoExe, EachModeRewritesTheSampleAndKeepsTheTimes) {
  const std::pair<const char*, const std::string*> modes[] = {
      {"/0", &kSampleOff}, {"/1", &kSampleOn}, {"/2", &kSampleFactory}};
  for (const auto& [mode, expected] : modes) {
    SCOPED_TRACE(mode);
    WriteBytes(settings, kSample);
    SetTimes(settings, kOldTimes);
    EXPECT_EQ(Run({mode}), 0);
    EXPECT_EQ(output, "");
    const Times settings_times = GetTimes(settings);
    const Times backup_times = GetTimes(backup);
    EXPECT_EQ(settings_times.access, kOldTimes.access);
    EXPECT_EQ(settings_times.write, kOldTimes.write);
    EXPECT_EQ(backup_times.access, kOldTimes.access);
    EXPECT_EQ(backup_times.write, kOldTimes.write);
    EXPECT_EQ(ReadBytes(settings), *expected);
    EXPECT_EQ(ReadBytes(backup), Encode(*expected));
    ExpectOnly({"servicetype.ini"}, {"res_ini.sav"});
  }
}

TEST_F(VindoExe, WithoutAModeShowsTheUsageAfterBackingUp) {
  WriteBytes(settings, kSample);
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, std::vector<std::string>{"/3", "0", "-1"}}) {
    EXPECT_EQ(Run(arguments), 1);
    EXPECT_EQ(output,
              "FEHLER ! ... falscher Programmaufruf\r\n\r\n"
              "Programmaufruf: vindo.exe <param>\r\n\r\n"
              "                param : /0 ... Auto-Korrektur generell ausschalten\r\n"
              "                        /1 ... Auto-Korrektur generell einschalten\r\n"
              "                        /2 ... Auto-Korrektur auf FUJI-Standard zuruecksetzen\r\n");
    EXPECT_EQ(ReadBytes(settings), kSample);
    EXPECT_EQ(ReadBytes(backup), Encode(kSample));
  }
}

TEST_F(VindoExe, LastModeWinsAndOnlyItsFirstTwoCharactersCount) {
  WriteBytes(settings, kSample);
  EXPECT_EQ(Run({"/1", "/0abc", "x"}), 0);
  EXPECT_EQ(ReadBytes(settings), kSampleOff);
}

TEST_F(VindoExe, MissingSettingsFileIsRestoredFromTheBackupInTheWorkingDirectory) {
  WriteBytes(backup, Encode(kSample));
  SetTimes(backup, kOldTimes);
  EXPECT_EQ(Run({"/2"}), 0);
  EXPECT_EQ(output, "");
  const Times restored = GetTimes(settings);
  EXPECT_EQ(restored.write, kOldTimes.write);
  EXPECT_EQ(restored.access, kOldTimes.access);
  EXPECT_EQ(ReadBytes(settings), kSampleFactory);
  EXPECT_EQ(ReadBytes(backup), Encode(kSampleFactory));
  ExpectOnly({"servicetype.ini"}, {"res_ini.sav"});
}

TEST_F(VindoExe, AnotherWorkingDirectoryHasItsOwnBackup) {
  WriteBytes(backup, Encode(kSample));
  const fs::path elsewhere = MakeWorkDirectory();
  EXPECT_EQ(Run({"/0"}, elsewhere), 1);
  EXPECT_EQ(output, kSafeguardFailed);
  EXPECT_TRUE(Entries(fein).empty());
  EXPECT_TRUE(Entries(elsewhere).empty());
  EXPECT_EQ(ReadBytes(backup), Encode(kSample));
}

TEST_F(VindoExe, ByteTwoFiftyFiveIsRefusedAndNothingChanges) {
  const std::string settings_bytes = kSample + "\xff\r\n";
  WriteBytes(settings, settings_bytes);
  WriteBytes(backup, Encode(kSampleOn));
  EXPECT_EQ(Run({"/0"}), 1);
  EXPECT_EQ(output, kSafeguardFailed);
  EXPECT_EQ(ReadBytes(settings), settings_bytes);
  EXPECT_EQ(ReadBytes(backup), Encode(kSampleOn));
  ExpectOnly({"servicetype.ini"}, {"res_ini.sav"});
}

TEST_F(VindoExe, SettingsFileHeldByAnotherProgramIsReported) {
  ASSERT_FALSE(Env("HOLDFILE_EXE").empty()) << "HOLDFILE_EXE must name holdfile.exe";
  WriteBytes(settings, kSample);
  int to_holder[2];
  int from_holder[2];
  ASSERT_EQ(pipe(to_holder), 0);
  ASSERT_EQ(pipe(from_holder), 0);
  std::string exe = Env("HOLDFILE_EXE");
  std::string path = "c:\\fe\\fein\\servicetype.ini";
  std::string wine = "wine";
  char* argv[] = {wine.data(), exe.data(), path.data(), nullptr};
  const pid_t holder = fork();
  if (holder == 0) {
    dup2(to_holder[0], 0);
    dup2(from_holder[1], 1);
    close(to_holder[1]);
    close(from_holder[0]);
    execvp(argv[0], argv);
    _exit(127);
  }
  ASSERT_GT(holder, 0);
  close(to_holder[0]);
  close(from_holder[1]);
  // Wait for the holder to say that it has the file.
  std::string said;
  char c = 0;
  while (said.find('\n') == std::string::npos && read(from_holder[0], &c, 1) == 1) said += c;
  ASSERT_EQ(said.substr(0, 4), "held") << said;

  EXPECT_EQ(Run({"/0"}), 1);
  EXPECT_EQ(output, kSafeguardFailed);

  close(to_holder[1]);  // the holder lets go at the end of its input
  int status = 0;
  EXPECT_EQ(waitpid(holder, &status, 0), holder);
  close(from_holder[0]);
  EXPECT_EQ(ReadBytes(settings), kSample);
  ExpectOnly({"servicetype.ini"}, {});
}

TEST_F(VindoExe, ReadOnlySettingsFileIsReportedAndKept) {
  WriteBytes(settings, kSample);
  // Without write permission Wine shows the file as read-only.
  fs::permissions(settings, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(Run({"/0"}), 1);
  EXPECT_EQ(output, kCannotWrite);
  fs::permissions(settings, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(ReadBytes(settings), kSample);
  EXPECT_EQ(ReadBytes(backup), Encode(kSample));
  ExpectOnly({"servicetype.ini"}, {"res_ini.sav"});
}

TEST_F(VindoExe, SettingsFileThatCantBeReplacedIsReportedAndKept) {
  WriteBytes(settings, kSample);
  const fs::path log = work.parent_path() / (work.filename().string() + ".chattr");
  if (Spawn({"chattr", "+i", settings.string()}, work, log) != 0) {
    fs::remove(log);
    GTEST_SKIP() << "chattr +i is not available here";
  }
  fs::remove(log);
  const int exit_code = Run({"/0"});
  const std::string written_output = output;
  Spawn({"chattr", "-i", settings.string()}, work, log);
  fs::remove(log);
  EXPECT_EQ(exit_code, 1);
  EXPECT_EQ(written_output, kCannotWrite);
  EXPECT_EQ(ReadBytes(settings), kSample);
  ExpectOnly({"servicetype.ini"}, {"res_ini.sav"});
}

TEST_F(VindoExe, DirectoryWhereTheSettingsFileShouldBeIsReported) {
  fs::create_directory(settings);
  EXPECT_EQ(Run({"/1"}), 1);
  EXPECT_EQ(output, kSafeguardFailed);
  EXPECT_TRUE(fs::is_directory(settings));
  ExpectOnly({"servicetype.ini"}, {});
}

TEST_F(VindoExe, MissingSettingsDirectoryIsReportedAndNotCreated) {
  fs::remove_all(fein);
  WriteBytes(backup, Encode(kSample));
  EXPECT_EQ(Run({"/1"}), 1);
  EXPECT_EQ(output, kSafeguardFailed);
  EXPECT_FALSE(fs::exists(fein));
  EXPECT_EQ(ReadBytes(backup), Encode(kSample));
}

TEST_F(VindoExe, NoSettingsFileAndNoBackupIsReported) {
  EXPECT_EQ(Run({"/0"}), 1);
  EXPECT_EQ(output, kSafeguardFailed);
  ExpectOnly({}, {});
}

TEST_F(VindoExe, LineEndsLongLinesAndTheEndOfFileByte) {
  const std::string long_name(100000, 'n');
  WriteBytes(settings, "[OTHER]\n8 " + long_name +
                           ", DSC\n9 x, DSC\r\n\x1A"
                           "after the end\r\n");
  EXPECT_EQ(Run({"/0"}), 0);
  EXPECT_EQ(ReadBytes(settings), "[OTHER]\r\n8 " + long_name + ", MEDIA\r\n9 x, MEDIA\r\n");
}

}  // namespace
