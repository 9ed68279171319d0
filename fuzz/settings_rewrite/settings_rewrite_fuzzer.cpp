// The rewrite of servicetype.ini in each mode, on a file of arbitrary bytes, checked
// line by line against the documented rule: the item endings of the factory-default
// table are replaced, every other line is copied, every line ends with CR LF, and
// rewriting is idempotent.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "settings_rewrite.h"

namespace {

using vindo::CorrectionMode;

constexpr const char* kHeaders[] = {"[DPOF]",   "[N64]",    "[DPC]",  "[FCOS]",
                                    "[C5_FPX]", "[C5_BMP]", "[OTHER]"};

// The factory defaults as documented: per section, the items that get ", DSC" (2)
// and those that get ", MEDIA" (1); every other item is left alone.
struct Span {
  int first, last;
};
struct SectionDefaults {
  std::vector<Span> dsc, media;
};
const SectionDefaults kDefaults[] = {
    {{{1, 4}}, {{7, 9}}},                     // [DPOF]
    {{}, {{1, 1}}},                           // [N64]
    {{{1, 4}}, {{5, 5}}},                     // [DPC]
    {{{5, 8}}, {{1, 4}, {9, 15}}},            // [FCOS]
    {{{1, 4}, {7, 7}}, {{8, 12}, {14, 18}}},  // [C5_FPX]
    {{{1, 4}, {7, 7}}, {{8, 11}, {13, 18}}},  // [C5_BMP]
    {{{1, 4}, {7, 7}}, {{8, 19}}},            // [OTHER]
};

bool In(const std::vector<Span>& spans, int item) {
  for (const Span& span : spans) {
    if (item >= span.first && item <= span.last) return true;
  }
  return false;
}

// 0: not listed; 1: ", MEDIA" by default; 2: ", DSC" by default.
int DefaultFor(int section, int item) {
  if (In(kDefaults[section].dsc, item)) return 2;
  if (In(kDefaults[section].media, item)) return 1;
  return 0;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The lines that text mode reads: up to a 0x1A byte, split at LF, with a CR right
// before an LF belonging to the line end; a last line without LF counts too.
std::vector<std::string_view> InputLines(std::string_view file) {
  const std::string_view content = file.substr(0, file.find('\x1A'));
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t end = content.find('\n', start);
    if (end == std::string_view::npos) {
      lines.push_back(content.substr(start));
      break;
    }
    std::string_view line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

struct ModelLine {
  bool item = false;  // a listed item, whose ending is replaced
  std::string text;
};

std::vector<ModelLine> Model(const std::vector<std::string_view>& lines, CorrectionMode mode) {
  std::vector<ModelLine> model;
  int section = -1;
  for (std::string_view line : lines) {
    for (int s = 0; s < 7; ++s) {
      if (line.substr(0, std::string_view(kHeaders[s]).size()) == kHeaders[s]) {
        section = s;
        break;
      }
    }
    ModelLine out{false, std::string(line)};
    if (section >= 0 && !line.empty() && IsDigit(line[0])) {
      int item = 0;  // the leading digits, as atoi reads them; 100 stands for any larger
      for (std::size_t i = 0; i < line.size() && IsDigit(line[i]) && item < 100; ++i) {
        item = item * 10 + (line[i] - '0');
      }
      const int entry = item < 100 ? DefaultFor(section, item) : 0;
      if (entry != 0) {
        const bool media =
            mode == CorrectionMode::kOff || (mode == CorrectionMode::kFactory && entry == 1);
        out.item = true;
        out.text = std::string(line.substr(0, line.find(','))) + (media ? ", MEDIA" : ", DSC");
      }
    }
    model.push_back(out);
  }
  return model;
}

void CheckMode(std::string_view file, const std::vector<std::string_view>& lines,
               CorrectionMode mode) {
  const std::string output = vindo::RewriteSettings(file, mode);

  // Every output line ends with CR LF, and there are as many as the input has.
  FUZZ_CHECK(output.empty() || output.compare(output.size() - 2, 2, "\r\n") == 0);
  std::vector<std::string_view> written;
  for (std::size_t start = 0; start < output.size();) {
    const std::size_t end = output.find('\n', start);
    FUZZ_CHECK(end != std::string::npos && end > start && output[end - 1] == '\r');
    written.push_back(std::string_view(output).substr(start, end - 1 - start));
    start = end + 1;
  }
  FUZZ_CHECK(written.size() == lines.size());

  const std::vector<ModelLine> model = Model(lines, mode);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!model[i].item) {
      // Not a listed item: byte-identical but for the line end.
      FUZZ_CHECK(written[i] == lines[i]);
      continue;
    }
    // An item keeps everything before its first comma, and gets the mode's ending.
    const std::string_view kept = lines[i].substr(0, lines[i].find(','));
    FUZZ_CHECK(written[i].substr(0, kept.size()) == kept);
    FUZZ_CHECK(written[i] == model[i].text);
  }

  FUZZ_CHECK(vindo::RewriteSettings(output, mode) == output);  // idempotent
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> lines = InputLines(file);
  for (CorrectionMode mode :
       {CorrectionMode::kOff, CorrectionMode::kOn, CorrectionMode::kFactory}) {
    CheckMode(file, lines, mode);
  }
  return 0;
}
