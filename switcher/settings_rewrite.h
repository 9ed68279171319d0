// The rewrite of the item endings in servicetype.ini: pure text processing, no I/O.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vindo {

// Mode 0 switches the correction off (", MEDIA"), mode 1 on (", DSC"), mode 2 back to
// the factory defaults; kNone when no argument named a mode.
enum class CorrectionMode { kOff = 0, kOn = 1, kFactory = 2, kNone = 3 };

// Each argument is tested for the prefixes "/0", "/1" and "/2"; the last match wins.
CorrectionMode ReadModeArguments(const std::vector<std::string>& arguments);

constexpr int kReservedSections = 20;
constexpr int kItemsPerSection = 100;

// 0 leaves an item line alone; 1 marks it for ", MEDIA" and 2 for ", DSC" when
// the factory defaults are restored (modes 0 and 1 rewrite every marked line).
struct FactoryDefaultTable {
  unsigned char entry[kReservedSections][kItemsPerSection];
};

const FactoryDefaultTable& FactoryDefaults();

struct SectionHeader {
  const char* text;
  std::size_t compared;  // leading characters of a line compared with the text
};

constexpr int kKnownSections = 7;
extern const SectionHeader kSectionHeaders[kKnownSections];

// The part of a file that text mode reads: everything before the first 0x1A byte.
std::string_view TextModeContent(std::string_view file);

// Takes the next line from |content| starting at |*position|; the line end (LF, or
// CR LF) is not part of the line. Lines are kept whole, whatever their length.
// Returns false at the end of the content.
bool ReadSettingsLine(std::string_view content, std::size_t* position, std::string_view* line);

// Takes the rewritten file a part at a time, in order; false stops the rewrite.
using PartSink = std::function<bool(std::string_view part)>;

// Rewrites the file for the given mode (not kNone): every line of the text-mode
// content, item endings replaced as the mode says, each line ended by CR LF. The
// result goes to |sink| in parts of up to kRewritePartSize bytes (a longer run of
// unchanged text may come in one part), so that it never needs a copy of the whole
// file. False when the sink refused a part.
constexpr std::size_t kRewritePartSize = 256 * 1024;
bool RewriteSettings(std::string_view file, CorrectionMode mode, const PartSink& sink);

// The same, as one string.
std::string RewriteSettings(std::string_view file, CorrectionMode mode);

}  // namespace vindo
