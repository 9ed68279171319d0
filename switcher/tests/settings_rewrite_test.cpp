#include "settings_rewrite.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vindo {
namespace {

using Args = std::vector<std::string>;

TEST(ModeArguments, LastMatchingPrefixWins) {
  EXPECT_EQ(ReadModeArguments({}), CorrectionMode::kNone);
  EXPECT_EQ(ReadModeArguments(Args{"/0"}), CorrectionMode::kOff);
  EXPECT_EQ(ReadModeArguments(Args{"/1"}), CorrectionMode::kOn);
  EXPECT_EQ(ReadModeArguments(Args{"/2"}), CorrectionMode::kFactory);
  EXPECT_EQ(ReadModeArguments(Args{"/1", "/0"}), CorrectionMode::kOff);
  EXPECT_EQ(ReadModeArguments(Args{"/0abc"}), CorrectionMode::kOff);
  EXPECT_EQ(ReadModeArguments(Args{"/2", "x", "/3"}), CorrectionMode::kFactory);
}

TEST(ModeArguments, IgnoresEverythingElseWhateverItsLength) {
  EXPECT_EQ(ReadModeArguments(Args{"", "/", "0", "-0", "/3", "\\1"}), CorrectionMode::kNone);
  EXPECT_EQ(ReadModeArguments(Args{std::string(100000, 'x')}), CorrectionMode::kNone);
  EXPECT_EQ(ReadModeArguments(Args{"/1" + std::string(100000, 'x')}), CorrectionMode::kOn);
}

TEST(FactoryDefaultTable, MarksTheListedItemsOnly) {
  const FactoryDefaultTable& table = FactoryDefaults();
  auto count = [&](int value) {
    int n = 0;
    for (const auto& section : table.entry)
      for (unsigned char entry : section) n += entry == value;
    return n;
  };
  // DSC: 4+0+4+4+5+5+5, MEDIA: 3+1+1+11+10+10+12 items.
  EXPECT_EQ(count(2), 27);
  EXPECT_EQ(count(1), 48);
  EXPECT_EQ(table.entry[4][12], 1);  // [C5_FPX] item 12
  EXPECT_EQ(table.entry[5][12], 0);  // [C5_BMP] item 12
  EXPECT_EQ(table.entry[4][13], 0);
  EXPECT_EQ(table.entry[5][13], 1);
  EXPECT_EQ(table.entry[0][5], 0);
  EXPECT_EQ(table.entry[0][6], 0);
  EXPECT_EQ(table.entry[6][19], 1);
  EXPECT_EQ(table.entry[6][20], 0);
  EXPECT_EQ(table.entry[3][8], 2);
  EXPECT_EQ(table.entry[3][9], 1);
  for (int section = 7; section < kReservedSections; ++section)
    for (unsigned char entry : table.entry[section]) EXPECT_EQ(entry, 0);
}

TEST(ReadSettingsLine, SplitsAtLfAndCrLfAndKeepsLoneCr) {
  const std::string content = "a\r\nb\nc\rd\r\r\n\nlast";
  std::vector<std::string> lines;
  std::size_t position = 0;
  std::string_view line;
  while (ReadSettingsLine(content, &position, &line)) lines.emplace_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c\rd\r", "", "last"}));
}

TEST(ReadSettingsLine, KeepsVeryLongLinesWhole) {
  const std::string long_line(100000, 'x');
  const std::string content = long_line + "\r\ny";
  std::size_t position = 0;
  std::string_view line;
  ASSERT_TRUE(ReadSettingsLine(content, &position, &line));
  EXPECT_EQ(line, long_line);
  ASSERT_TRUE(ReadSettingsLine(content, &position, &line));
  EXPECT_EQ(line, "y");
  EXPECT_FALSE(ReadSettingsLine(content, &position, &line));
}

TEST(RewriteSettings, FollowsTheFiveLineExampleInModeOff) {
  EXPECT_EQ(RewriteSettings("[DPOF]\r\n3 Name, DSC\r\n5 Name, DSC\r\n; remark\r\n8 Name\r\n",
                            CorrectionMode::kOff),
            "[DPOF]\r\n3 Name, MEDIA\r\n5 Name, DSC\r\n; remark\r\n8 Name, MEDIA\r\n");
}

TEST(RewriteSettings, ModeOnGivesDscToEveryMarkedItem) {
  EXPECT_EQ(RewriteSettings("[DPOF]\n7 a, MEDIA\n3 b, MEDIA\n6 c, MEDIA\n", CorrectionMode::kOn),
            "[DPOF]\r\n7 a, DSC\r\n3 b, DSC\r\n6 c, MEDIA\r\n");
}

TEST(RewriteSettings, FactoryModeChoosesEachItemsOwnEnding) {
  EXPECT_EQ(RewriteSettings("[C5_FPX]\n12 x, DSC\n1 y, MEDIA\n[C5_BMP]\n12 x, DSC\n13 z, DSC\n",
                            CorrectionMode::kFactory),
            "[C5_FPX]\r\n12 x, MEDIA\r\n1 y, DSC\r\n[C5_BMP]\r\n12 x, DSC\r\n13 z, MEDIA\r\n");
}

TEST(RewriteSettings, SectionsFollowTheKnownHeadersOnly) {
  // Before any known header nothing is an item; an unknown header keeps the last
  // known section; a header is recognised by its leading characters.
  EXPECT_EQ(RewriteSettings("1 a, DSC\n[N64]\n[XYZ]\n1 b, DSC\n[DPOF]extra\n1 c, MEDIA\n",
                            CorrectionMode::kOff),
            "1 a, DSC\r\n[N64]\r\n[XYZ]\r\n1 b, MEDIA\r\n[DPOF]extra\r\n1 c, MEDIA\r\n");
  EXPECT_EQ(RewriteSettings("[DPO]\n1 a, DSC\n[dpof]\n1 b, DSC\n", CorrectionMode::kOff),
            "[DPO]\r\n1 a, DSC\r\n[dpof]\r\n1 b, DSC\r\n");
}

TEST(RewriteSettings, ReadsTheItemNumberLikeAtoi) {
  EXPECT_EQ(RewriteSettings("[DPOF]\n7,Name, DSC\n", CorrectionMode::kOff),
            "[DPOF]\r\n7, MEDIA\r\n");
  EXPECT_EQ(RewriteSettings("[N64]\n7,Name, DSC\n", CorrectionMode::kOff),
            "[N64]\r\n7,Name, DSC\r\n");
  EXPECT_EQ(RewriteSettings("[DPOF]\n03 a, DSC\n103 b, DSC\n99999999999999999999 c, DSC\n",
                            CorrectionMode::kOff),
            "[DPOF]\r\n03 a, MEDIA\r\n103 b, DSC\r\n99999999999999999999 c, DSC\r\n");
}

TEST(RewriteSettings, ReplacesEverythingFromTheFirstComma) {
  EXPECT_EQ(RewriteSettings("[DPOF]\n4 A, B, DSC\n 4 lead, DSC\n", CorrectionMode::kOff),
            "[DPOF]\r\n4 A, MEDIA\r\n 4 lead, DSC\r\n");
}

TEST(RewriteSettings, KeepsLongLinesWholeAndCutsOnlyAtTheComma) {
  const std::string name(5000, 'n');
  EXPECT_EQ(RewriteSettings("[OTHER]\n8 " + name + ", DSC\n9 " + name + "\n" + name + "\n",
                            CorrectionMode::kOff),
            "[OTHER]\r\n8 " + name + ", MEDIA\r\n9 " + name + ", MEDIA\r\n" + name + "\r\n");
}

TEST(RewriteSettings, HandlesLineEndsAsTextModeDoes) {
  EXPECT_EQ(RewriteSettings("", CorrectionMode::kOff), "");
  EXPECT_EQ(RewriteSettings("\n", CorrectionMode::kOff), "\r\n");
  EXPECT_EQ(RewriteSettings("[DPOF]\r\n1 a, MEDIA", CorrectionMode::kOn), "[DPOF]\r\n1 a, DSC\r\n");
  // 0x1A ends the file.
  EXPECT_EQ(RewriteSettings("a\r\nb\x1A\r\nlost\r\n", CorrectionMode::kOff), "a\r\nb\r\n");
  EXPECT_EQ(RewriteSettings("\x1A"
                            "a\r\n",
                            CorrectionMode::kOff),
            "");
}

TEST(RewriteSettings, KeepsNulBytesAndOtherBytesAsTheyAre) {
  const std::string input("[DPOF]\n1 a\0b, DSC\n; \0\xfe\x80\n", 24);
  const std::string expected("[DPOF]\r\n1 a\0b, MEDIA\r\n; \0\xfe\x80\r\n", 29);
  EXPECT_EQ(RewriteSettings(input, CorrectionMode::kOff), expected);
}

TEST(RewriteSettings, HandlesAMillionLines) {
  std::string input = "[OTHER]\n";
  for (int i = 0; i < 1000000; ++i) input += "8 item, DSC\n";
  const std::string output = RewriteSettings(input, CorrectionMode::kOff);
  EXPECT_EQ(output.size(), 9 + 1000000 * std::string("8 item, MEDIA\r\n").size());
  EXPECT_EQ(output.substr(output.size() - 15), "8 item, MEDIA\r\n");
}

}  // namespace
}  // namespace vindo
