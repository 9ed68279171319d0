#include "settings_rewrite.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "byte_scan.h"

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

TEST(FactoryDefaultTable, HoldsExactlyTheListedEntries) {
  // Items 0 to 19 of each known section, transcribed from the list of defaults:
  // 2 for ", DSC", 1 for ", MEDIA", 0 for a line left alone. Every other entry is 0.
  const char* const kItems0To19[kKnownSections] = {
      "02222001110000000000",  // [DPOF]   DSC 1-4; MEDIA 7-9
      "01000000000000000000",  // [N64]    MEDIA 1
      "02222100000000000000",  // [DPC]    DSC 1-4; MEDIA 5
      "01111222211111110000",  // [FCOS]   DSC 5-8; MEDIA 1-4, 9-15
      "02222002111110111110",  // [C5_FPX] DSC 1-4, 7; MEDIA 8-12, 14-18
      "02222002111101111110",  // [C5_BMP] DSC 1-4, 7; MEDIA 8-11, 13-18
      "02222002111111111111",  // [OTHER]  DSC 1-4, 7; MEDIA 8-19
  };
  const FactoryDefaultTable& table = FactoryDefaults();
  for (int section = 0; section < kReservedSections; ++section) {
    for (int item = 0; item < kItemsPerSection; ++item) {
      const int expected =
          section < kKnownSections && item < 20 ? kItems0To19[section][item] - '0' : 0;
      EXPECT_EQ(table.entry[section][item], expected) << "section " << section << ", item " << item;
    }
  }
}

TEST(ReadSettingsLine, SplitsAtLfAndCrLfAndKeepsLoneCr) {
  const std::string content = "a\r\nb\nc\rd\r\r\n\nlast";
  std::vector<std::string> lines;
  std::size_t position = 0;
  std::string_view line;
  while (ReadSettingsLine(content, &position, &line)) lines.emplace_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c\rd\r", "", "last"}));
}

// The search for line ends as Windows does it without SSE2, a word at a time: the
// first match at every offset, and none at all.
TEST(ReadSettingsLine, FindsTheFirstLineEndAWordAtATimeToo) {
  std::string bytes(41, '\x8a');  // '\n' with its top bit set
  const char* end = bytes.data() + bytes.size();
  EXPECT_EQ(FindByteWordwise(bytes.data(), end, '\n'), end);
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    bytes[at] = '\n';
    bytes[bytes.size() - 1] = '\n';
    EXPECT_EQ(FindByteWordwise(bytes.data(), end, '\n'), bytes.data() + at) << at;
    bytes.assign(bytes.size(), '\x8a');
  }
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
