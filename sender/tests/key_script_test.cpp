#include "key_script.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "fake_sender_system.h"
#include "tapwise.h"

namespace tapwise {
namespace {

using testing::FakeSenderSystem;

struct ParseCase {
  const char* token;
  bool parses;
  std::int32_t keyCode;
  std::int32_t action;
  std::uint32_t codePoint = 0;
  bool utf8 = false;
};

TEST(KeyStrokeTest, ParsesTheWholeGrammar) {
  const ParseCase cases[] = {
      {"Return", true, 0x0D, -1},
      {"/Shift", true, 0x10, 0},
      {"\\Shift", true, 0x10, 1},
      {"/F24", true, 0x87, 0},
      {"LMenu", true, 0xA4, -1},  // whole names, never prefixes
      {"Menu", true, 0x12, -1},
      {"Num/", true, 0x6C, -1},
      {"Divide", true, 0x6F, -1},
      {"a", true, 0x41, -1},
      {"A", true, 0x141, -1},  // the shift state stays in the code
      {"/a", true, 0x41, 0},
      {"\\a", true, 0x41, 1},
      {"/", true, 0xBF, -1},  // a lone prefix is the character itself
      {"\\", true, 0xDC, -1},
      {"//", true, 0xBF, 0},
      {"\\\\", true, 0xDC, 1},
      {"1", true, 0x31, -1},
      {"!", true, 0x131, -1},
      {"\xE9", true, -1, -1},  // no key gives it: accepted all the same
      {"", true, -1, -1},      // the NUL character
      {"shift", false, -1, -1},
      {"RETURN", false, -1, -1},
      {"Returns", false, -1, -1},
      {"/Ab", false, -1, 0},  // the action of the prefix stays
      {"\\Zorro", false, -1, 1},
      {"ab", false, -1, -1},
      // One character that the code page can't hold (zhe, an emoji), or holds in several
      // bytes (l with stroke, in the double's code page): typed by its code point.
      {"\xD0\xB6", true, -1, -1, 0x436, true},
      {"/\xF0\x9F\x98\x80", true, -1, 0, 0x1F600, true},
      {"\xC5\x82", true, -1, -1, 0x142},
      {"\xD0\xB6\xD0\xB6", false, -1, -1, 0, true},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.token);
    FakeSenderSystem system;
    KeyStroke key;
    EXPECT_EQ(key.Parse(c.token, system, c.utf8), c.parses);
    EXPECT_EQ(key.keyCode, c.keyCode);
    EXPECT_EQ(key.action, c.action);
    EXPECT_EQ(key.codePoint, c.codePoint);
  }
}

TEST(KeyStrokeTest, EachTokenSetsItsOwnAction) {
  FakeSenderSystem system;
  KeyStroke key;
  ASSERT_TRUE(key.Parse("/Shift", system));
  ASSERT_TRUE(key.Parse("Return", system));
  EXPECT_EQ(key.action, KeyStroke::kPressAndRelease);
  ASSERT_TRUE(key.Parse("\\Shift", system));
  ASSERT_TRUE(key.Parse("x", system));
  EXPECT_EQ(key.action, KeyStroke::kPressAndRelease);
}

TEST(SpecialKeyTableTest, HoldsEveryNameWithItsCodeInItsOrder) {
  // Transcribed from the documented table, row by row: name and hexadecimal code.
  std::istringstream expected(
      "Back 08 Tab 09 Clear 0C Return 0D Shift 10 Control 11 Menu 12 Pause 13 Capital 14 "
      "Kana 15 Junja 17 Final 18 Kanji 19 Esc 1B Convert 1C NonConvert 1D Accept 1E "
      "ModeChange 1F Space 20 Prior 21 Next 22 End 23 Home 24 Left 25 Up 26 Right 27 Down 28 "
      "Select 29 Print 2A Execute 2B Snapshot 2C Insert 2D Delete 2E Help 2F LWin 5B RWin 5C "
      "Apps 5D Num* 6A Num+ 6B Num/ 6C Num- 6D Decimal 6E Divide 6F NumLock 90 Scroll 91 "
      "LShift A0 RShift A1 LControl A2 RControl A3 LMenu A4 RMenu A5 BrowserBack A6 "
      "BrowserForward A7 BrowserRefresh A8 BrowserStop A9 BrowserSearch AA BrowserFavorites AB "
      "BrowserHome AC VolMute AD VolDown AE VolUp AF MediaNext B0 MediaPrev B1 MediaStop B2 "
      "MediaPlay B3 LaunchMail B4 LaunchMediaSelect B5 LaunchApp1 B6 LaunchApp2 B7 "
      "NumPad0 60 NumPad1 61 NumPad2 62 NumPad3 63 NumPad4 64 NumPad5 65 NumPad6 66 NumPad7 67 "
      "NumPad8 68 NumPad9 69 F1 70 F2 71 F3 72 F4 73 F5 74 F6 75 F7 76 F8 77 F9 78 F10 79 "
      "F11 7A F12 7B F13 7C F14 7D F15 7E F16 7F F17 80 F18 81 F19 82 F20 83 F21 84 F22 85 "
      "F23 86 F24 87");
  // The keys with the prefix E0 in the keyboard's scan-code tables.
  const std::string extended =
      " Prior Next End Home Left Up Right Down Snapshot Insert Delete LWin RWin Apps Divide "
      "NumLock RControl RMenu BrowserBack BrowserForward BrowserRefresh BrowserStop "
      "BrowserSearch BrowserFavorites BrowserHome VolMute VolDown VolUp MediaNext MediaPrev "
      "MediaStop MediaPlay LaunchMail LaunchMediaSelect LaunchApp1 LaunchApp2 ";
  std::size_t row = 0;
  std::string name;
  std::int32_t code = 0;
  while (expected >> name >> std::hex >> code) {
    ASSERT_LT(row, kSpecialKeyCount) << name;
    const SpecialKey& key = SpecialKeyTable[row++];
    EXPECT_STREQ(key.name, name.c_str());
    EXPECT_EQ(key.keyCode, code) << name;
    EXPECT_EQ(IsExtendedKey(static_cast<std::uint8_t>(code)),
              extended.find(" " + name + " ") != std::string::npos)
        << name;
    // NUL-filled to the end.
    for (std::size_t i = name.size(); i < sizeof(key.name); ++i) {
      EXPECT_EQ(key.name[i], '\0') << name;
    }
  }
  EXPECT_EQ(row, 103u);
}

TEST(SpecialKeyTableTest, ListsEveryNameFollowedByATab) {
  CMyString names("left over");
  JoinSpecialKeyNames(names);
  const std::string joined = names.Text();
  EXPECT_EQ(joined.rfind("Back\tTab\tClear\tReturn\t", 0), 0u);
  EXPECT_EQ(joined.substr(joined.size() - 8), "F23\tF24\t");
  EXPECT_EQ(std::count(joined.begin(), joined.end(), '\t'), 103);

  FakeSenderSystem system;
  ListSpecialKeys(system, "Key not match: ", "Zorro");
  EXPECT_EQ(system.output, std::string(kBanner) + "! Error: Key not match: Zorro\n\n" +
                               "SpecialKeys are:\n" + joined + "\n");
}

TEST(ReportsTest, BannerIsFiveLinesOf45Characters) {
  const std::string banner = kBanner;
  ASSERT_EQ(banner.size(), 5 * 46 + 1u);
  EXPECT_EQ(banner.substr(5 * 46), "\n");
  for (int line = 0; line < 5; ++line) {
    const std::string text = banner.substr(line * 46, 46);
    SCOPED_TRACE(text);
    EXPECT_EQ(text.back(), '\n');
    if (line == 0 || line == 4) {
      EXPECT_EQ(text, std::string(45, '*') + "\n");
    } else {
      EXPECT_EQ(text.substr(0, 3), "** ");
      EXPECT_EQ(text.substr(42), " **\n");
    }
  }
  EXPECT_EQ(banner.substr(46, 18), "** Tapwise V1.0 **");
}

TEST(ReportsTest, ShowUsagePrintsTheErrorLineOnlyForAMessage) {
  FakeSenderSystem system;
  ShowUsage(system, nullptr, "ignored");
  EXPECT_EQ(system.output, std::string(kBanner) + kUsageText);
  system.output.clear();
  ShowUsage(system, "All key can't be send", "");
  EXPECT_EQ(system.output,
            std::string(kBanner) + "! Error: All key can't be send\n\n" + kUsageText);
  const std::string usage = kUsageText;
  EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 11);
  EXPECT_NE(usage.find("\nEx.2: \"write <Hello>\": /Shift h \\Shift e l l o\n"), std::string::npos);
}

}  // namespace
}  // namespace tapwise
