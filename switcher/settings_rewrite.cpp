#include "settings_rewrite.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "byte_scan.h"

namespace vindo {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
// The endings, with the line end that always follows them.
constexpr std::string_view kMediaLineEnd = ", MEDIA\r\n";
constexpr std::string_view kDscLineEnd = ", DSC\r\n";

struct ItemRange {
  int first;
  int last;
};

void Mark(FactoryDefaultTable& table, int section, unsigned char value,
          std::initializer_list<ItemRange> ranges) {
  for (const ItemRange& range : ranges) {
    for (int item = range.first; item <= range.last; ++item) table.entry[section][item] = value;
  }
}

FactoryDefaultTable BuildFactoryDefaults() {
  FactoryDefaultTable table{};
  constexpr unsigned char kMedia = 1;
  constexpr unsigned char kDsc = 2;
  Mark(table, 0, kDsc, {{1, 4}});
  Mark(table, 0, kMedia, {{7, 9}});
  Mark(table, 1, kMedia, {{1, 1}});
  Mark(table, 2, kDsc, {{1, 4}});
  Mark(table, 2, kMedia, {{5, 5}});
  Mark(table, 3, kDsc, {{5, 8}});
  Mark(table, 3, kMedia, {{1, 4}, {9, 15}});
  Mark(table, 4, kDsc, {{1, 4}, {7, 7}});
  Mark(table, 4, kMedia, {{8, 12}, {14, 18}});
  Mark(table, 5, kDsc, {{1, 4}, {7, 7}});
  Mark(table, 5, kMedia, {{8, 11}, {13, 18}});
  Mark(table, 6, kDsc, {{1, 4}, {7, 7}});
  Mark(table, 6, kMedia, {{8, 19}});
  return table;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal item number at the start of an item line, or -1 when it is beyond the
// table (the digits stop at the first blank, comma or other non-digit, as atoi would).
int ReadItemNumber(std::string_view line) {
  int number = 0;
  for (char c : line) {
    if (!IsDigit(c)) break;
    number = number * 10 + (c - '0');
    if (number >= kItemsPerSection) return -1;
  }
  return number;
}

// Gathers the pieces of the output and hands them to the sink in parts of about
// kRewritePartSize bytes; once the sink has refused a part, it takes no more. The
// room for a part is taken once and filled by plain copies: most pieces are a few
// bytes, and a string's append costs more than their copy.
class PartCollector {
 public:
  explicit PartCollector(const PartSink& sink) : sink_(sink), part_(new char[kRewritePartSize]) {}

  void Add(std::string_view piece) {
    if (filled_ + piece.size() > kRewritePartSize) {
      if (filled_ != 0) Pass({part_.get(), filled_});
      filled_ = 0;
      if (piece.size() >= kRewritePartSize) return Pass(piece);
    }
    if (piece.empty()) return;
    std::memcpy(part_.get() + filled_, piece.data(), piece.size());
    filled_ += piece.size();
  }

  bool Finish() {
    if (filled_ != 0) Pass({part_.get(), filled_});
    return taken_;
  }

 private:
  void Pass(std::string_view part) { taken_ = taken_ && sink_(part); }

  const PartSink& sink_;
  const std::unique_ptr<char[]> part_;  // not zero-filled: only the filled bytes are read
  std::size_t filled_ = 0;
  bool taken_ = true;
};

int MatchSectionHeader(std::string_view line) {
  for (int section = 0; section < kKnownSections; ++section) {
    const SectionHeader& header = kSectionHeaders[section];
    if (line.size() >= header.compared &&
        line.compare(0, header.compared, header.text, header.compared) == 0) {
      return section;
    }
  }
  return -1;
}

}  // namespace

const SectionHeader kSectionHeaders[kKnownSections] = {
    {"[DPOF]", 6},   {"[N64]", 5},    {"[DPC]", 5},   {"[FCOS]", 6},
    {"[C5_FPX]", 8}, {"[C5_BMP]", 8}, {"[OTHER]", 7},
};

CorrectionMode ReadModeArguments(const std::vector<std::string>& arguments) {
  CorrectionMode mode = CorrectionMode::kNone;
  for (const std::string& argument : arguments) {
    if (argument.compare(0, 2, "/0") == 0) mode = CorrectionMode::kOff;
    if (argument.compare(0, 2, "/1") == 0) mode = CorrectionMode::kOn;
    if (argument.compare(0, 2, "/2") == 0) mode = CorrectionMode::kFactory;
  }
  return mode;
}

const FactoryDefaultTable& FactoryDefaults() {
  static const FactoryDefaultTable table = BuildFactoryDefaults();
  return table;
}

std::string_view TextModeContent(std::string_view file) {
  const char* end = file.data() + file.size();
  return file.substr(0, static_cast<std::size_t>(FindByte(file.data(), end, 0x1A) - file.data()));
}

bool ReadSettingsLine(std::string_view content, std::size_t* position, std::string_view* line) {
  if (*position >= content.size()) return false;
  const char* start = content.data() + *position;
  const std::size_t rest = content.size() - *position;
  std::size_t length = static_cast<std::size_t>(FindByte(start, start + rest, '\n') - start);
  const bool ended = length != rest;
  *position += ended ? length + 1 : length;
  // Text mode turns CR LF into LF; a CR elsewhere is an ordinary character.
  if (ended && length > 0 && start[length - 1] == '\r') --length;
  *line = std::string_view(start, length);
  return true;
}

bool RewriteSettings(std::string_view file, CorrectionMode mode, const PartSink& sink) {
  const std::string_view content = TextModeContent(file);
  const FactoryDefaultTable& table = FactoryDefaults();
  PartCollector output(sink);

  // Lines that come out as they went in (unchanged lines that end in CR LF, and
  // rewritten ones that already had their new ending) are passed on a run at a time:
  // each piece takes all of them up to the line that changes, and that line's kept
  // part.
  std::size_t unchanged_from = 0;
  std::string_view ending = mode == CorrectionMode::kOn ? kDscLineEnd : kMediaLineEnd;
  int section = -1;
  std::size_t position = 0;
  std::string_view line;
  while (ReadSettingsLine(content, &position, &line)) {
    if (!line.empty() && line[0] == '[') {
      const int header = MatchSectionHeader(line);
      if (header >= 0) section = header;
    }
    unsigned char entry = 0;
    if (section >= 0 && !line.empty() && IsDigit(line[0])) {
      const int item = ReadItemNumber(line);
      if (item >= 0) entry = table.entry[section][item];
    }
    const auto line_start = static_cast<std::size_t>(line.data() - content.data());
    if (entry == 0 && position - line_start == line.size() + kLineEnd.size()) continue;

    std::size_t kept = line.size();
    if (entry != 0) {
      kept = static_cast<std::size_t>(FindByte(line.data(), line.data() + line.size(), ',') -
                                      line.data());
      if (mode == CorrectionMode::kFactory) ending = entry == 1 ? kMediaLineEnd : kDscLineEnd;
      if (content.substr(line_start + kept, position - line_start - kept) == ending) continue;
    }
    output.Add(content.substr(unchanged_from, line_start + kept - unchanged_from));
    output.Add(entry != 0 ? ending : kLineEnd);
    unchanged_from = position;
  }
  output.Add(content.substr(unchanged_from));
  return output.Finish();
}

std::string RewriteSettings(std::string_view file, CorrectionMode mode) {
  std::string whole;
  RewriteSettings(file, mode, [&whole](std::string_view part) {
    whole.append(part);
    return true;
  });
  return whole;
}

}  // namespace vindo
