// The 32-bit programs, the deliverable, in a prefix of their own that has its 32-bit
// part, on every machine: where the kernel can't run 32-bit code, an emulator runs
// them at about a minute a run, so the cases are few:
//  - the 32-bit vindo.exe switches the sample settings file byte for byte as the
//    64-bit one does, backup included;
//  - the 32-bit Tapwise.exe finds the 64-bit key logger by its process name and types a
//    short script into its window, every event in order.
//
// VINDO32_EXE and TAPWISE32_EXE name the 32-bit programs, VINDO_EXE and KEYLOGGER_EXE
// the 64-bit ones, all run with $WINE: the 64-bit ones with its $WINELOADER, the 32-bit
// ones without, so that the 32-bit loader takes them; SAMPLE_SETTINGS names the sample
// settings file. The prefix is $WIN32_TIER_PREFIX (made with `$WINE wineboot -i` when
// it has no C: drive yet; else a throwaway one), the windows go to $WIN32_TIER_DISPLAY
// (else $DISPLAY), and nothing else may use either meanwhile.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "wine_harness.h"

namespace {

using namespace blackbox;

constexpr milliseconds kEmulatedRunLimit{300000};
constexpr milliseconds kEmulatedBootLimit{600000};

class Win32TierPrefix : public WinePrefix {
 public:
  Win32TierPrefix() : WinePrefix(kEmulatedBootLimit) {}
  void SetUp() override {
    // Never the prefix of the other tiers, which may lack the 32-bit part or belong to
    // another Wine. This one is made by $WINE, which sets up the 32-bit part too.
    const std::string prefix = Env("WIN32_TIER_PREFIX");
    const std::string display = Env("WIN32_TIER_DISPLAY");
    if (prefix.empty()) {
      unsetenv("WINEPREFIX");
    } else {
      setenv("WINEPREFIX", prefix.c_str(), 1);
    }
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    WinePrefix::SetUp();
    ASSERT_TRUE(fs::exists(drive_c / "windows" / "syswow64" / "kernel32.dll"))
        << "the prefix has no 32-bit part";
  }
};

[[maybe_unused]] ::testing::Environment* const kWinePrefix =
    ::testing::AddGlobalTestEnvironment(new Win32TierPrefix);

// A 32-bit program: the 32-bit loader, which must not be told to start itself as the
// 64-bit one.
std::vector<std::string> Run32(const std::string& exe, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"env", "-u", "WINELOADER", Wine(), exe});
  return arguments;
}

std::vector<std::string> Run64(const std::string& exe, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {Wine(), exe});
  return arguments;
}

class Win32Programs : public ::testing::Test {
 protected:
  fs::path scratch;

  void SetUp() override {
    for (const char* name :
         {"VINDO32_EXE", "TAPWISE32_EXE", "VINDO_EXE", "KEYLOGGER_EXE", "SAMPLE_SETTINGS"}) {
      ASSERT_FALSE(Env(name).empty()) << name << " must name the file";
    }
    scratch = MakeScratchFolder("win32-tier");
    ASSERT_FALSE(scratch.empty());
  }

  void TearDown() override {
    std::error_code ignored;
    if (!scratch.empty()) fs::remove_all(scratch, ignored);
    fs::remove_all(WinePrefix::drive_c / "fe", ignored);
  }
};

TEST_F(Win32Programs, VindoSwitchesTheSampleAsThe64BitOneDoes) {
  const std::string sample = ReadBytes(Env("SAMPLE_SETTINGS"));
  const fs::path fein = WinePrefix::drive_c / "fe" / "fein";
  struct Result {
    std::string settings;
    std::string backup;
  };
  // Each program switches a fresh copy of the sample off, from a working folder of its own.
  const auto switch_off = [&](const std::vector<std::string>& command, const char* name) {
    fs::remove_all(fein.parent_path());
    fs::create_directories(fein);
    fs::copy_file(Env("SAMPLE_SETTINGS"), fein / "servicetype.ini");
    const fs::path work = scratch / name;
    fs::create_directory(work);
    const Outcome run = RunToEnd(command, work, scratch, kEmulatedRunLimit);
    EXPECT_EQ(run.exit_code, 0) << name << ": " << run.output << run.errors;
    EXPECT_EQ(run.output, "") << name;
    return Result{ReadBytes(fein / "servicetype.ini"), ReadBytes(work / "res_ini.sav")};
  };
  const Result by64 = switch_off(Run64(Env("VINDO_EXE"), {"/0"}), "by64");
  const Result by32 = switch_off(Run32(Env("VINDO32_EXE"), {"/0"}), "by32");
  EXPECT_NE(by64.settings, sample) << "the 64-bit vindo switched nothing";
  EXPECT_EQ(by64.backup.size(), by64.settings.size());
  EXPECT_TRUE(by32.settings == by64.settings) << "the settings files differ";
  EXPECT_TRUE(by32.backup == by64.backup) << "the backups differ";
}

TEST_F(Win32Programs, TapwiseTypesIntoAWindowOfA64BitProcessFoundByItsName) {
  const std::string title = "Tapwise key logger " + std::to_string(getpid());
  HelperProcess logger;
  ASSERT_TRUE(logger.Start({Env("KEYLOGGER_EXE"), title}, scratch / "keylogger.err", "ready "));
  const Outcome run =
      RunToEnd(Run32(Env("TAPWISE32_EXE"), {"-wait", "0", "-process", "keylogger.exe", "-waitKey",
                                            "0", "/Shift", "h", "\\Shift", "i", "F24"}),
               scratch, scratch, kEmulatedRunLimit);
  ExpectEnded(run, 0, "");

  // The logger's lines: "key <code> <down|up> <milliseconds> fg=<0|1> scan=<..> ext=<..>".
  std::vector<std::string> events;
  std::string line;
  while (events.size() < 8 && logger.ReadLine(&line, Clock::now() + kLineLimit)) {
    EXPECT_NE(line.find(" fg=1 "), std::string::npos)
        << "the logger's window was not in front: " << line;
    events.push_back(line.substr(0, line.find(' ', line.find(' ', 4) + 1)));
  }
  EXPECT_EQ(events, (std::vector<std::string>{"key 0010 down", "key 0048 down", "key 0048 up",
                                              "key 0010 up", "key 0049 down", "key 0049 up",
                                              "key 0087 down", "key 0087 up"}));
  EXPECT_EQ(logger.Stop(), 0);
}

}  // namespace
