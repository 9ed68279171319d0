#include "key_script.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
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
};

TEST(KeyStrokeTest, ParsesTheWholeGrammar) {
  const ParseCase cases[] = {
      {"Return", true, 0x0D, -1}, {"/Shift", true, 0x10, 0},
      {"\\Shift", true, 0x10, 1}, {"/F24", true, 0x87, 0},
      {"LMenu", true, 0xA4, -1},  // whole names, never prefixes
      {"Menu", true, 0x12, -1},   {"Num/", true, 0x6C, -1},
      {"Divide", true, 0x6F, -1}, {"a", true, 0x41, -1},
      {"A", true, 0x141, -1},  // the shift state stays in the code
      {"/a", true, 0x41, 0},      {"\\a", true, 0x41, 1},
      {"/", true, 0xBF, -1},  // a lone prefix is the character itself
      {"\\", true, 0xDC, -1},     {"//", true, 0xBF, 0},
      {"\\\\", true, 0xDC, 1},    {"1", true, 0x31, -1},
      {"!", true, 0x131, -1},     {"\xE9", true, -1, -1},  // no key gives it: accepted all the same
      {"", true, -1, -1},                                  // the NUL character
      {"shift", false, -1, -1},   {"RETURN", false, -1, -1},
      {"Returns", false, -1, -1}, {"/Ab", false, -1, 0},  // the action of the prefix stays
      {"\\Zorro", false, -1, 1},  {"ab", false, -1, -1},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.token);
    FakeSenderSystem system;
    KeyStroke key;
    EXPECT_EQ(key.Parse(c.token, system), c.parses);
    EXPECT_EQ(key.keyCode, c.keyCode);
    EXPECT_EQ(key.action, c.action);
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

TEST(SpecialKeyTableTest, HoldsUniqueNamesAndCodesInItsOrder) {
  std::set<std::string> names;
  std::set<std::int32_t> codes;
  std::size_t longest = 0;
  for (const SpecialKey& key : SpecialKeyTable) {
    names.insert(key.name);
    codes.insert(key.keyCode);
    longest = std::max(longest, std::strlen(key.name));
    // NUL-filled to the end.
    for (std::size_t i = std::strlen(key.name); i < sizeof(key.name); ++i) {
      EXPECT_EQ(key.name[i], '\0') << key.name;
    }
  }
  EXPECT_EQ(names.size(), 103u);
  EXPECT_EQ(codes.size(), 103u);
  EXPECT_EQ(longest, std::strlen("LaunchMediaSelect"));
  EXPECT_STREQ(SpecialKeyTable[0].name, "Back");
  EXPECT_STREQ(SpecialKeyTable[69].name, "NumPad0");
  EXPECT_EQ(SpecialKeyTable[69].keyCode, 0x60);
  EXPECT_STREQ(SpecialKeyTable[102].name, "F24");
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
