// One command-line token through the key parser. The input is the 16-bit answer that
// VkKeyScanA gives (two bytes, low byte first), then the token, which ends at the
// first NUL as an argument does. The result is either a key with a code (or a
// character's code point) and an action, or a refusal with key code -1; which one,
// and the code, follow from the grammar alone.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "key_scan_stand_in.h"
#include "key_script.h"

namespace {

using tapwise::KeyStroke;

struct Expected {
  bool parses = false;
  std::int32_t keyCode = -1;
  std::int32_t action = KeyStroke::kPressAndRelease;
  bool scans = false;  // a single character: its code comes from VkKeyScanA
  char scanned = '\0';
  std::uint32_t codePoint = 0;
};

// The grammar: "/" or a backslash before at least one more byte presses only or
// releases only; what is left is one byte (a character), the exact name of a table
// entry (the first that is equal), or else one character of several bytes (the
// double's code page is UTF-8 for those), typed by its code point.
Expected Grammar(const std::string& token, std::int16_t scanAnswer) {
  Expected expected;
  std::string key = token;
  if (token.size() >= 2 && (token[0] == '/' || token[0] == '\\')) {
    expected.action = token[0] == '/' ? KeyStroke::kPressOnly : KeyStroke::kReleaseOnly;
    key = token.substr(1);
  }
  if (key.size() <= 1) {
    expected.parses = true;
    expected.scans = true;
    expected.scanned = key.empty() ? '\0' : key[0];
    expected.keyCode = scanAnswer;  // sign-extended, the shift state included
    return expected;
  }
  for (const tapwise::SpecialKey& special : tapwise::SpecialKeyTable) {
    if (key == std::string(special.name, strnlen(special.name, sizeof special.name))) {
      expected.parses = true;
      expected.keyCode = special.keyCode;
      return expected;
    }
  }
  tapwise::testing::FakeSenderSystem codePage;
  expected.codePoint = codePage.CharacterOf(key.c_str(), false);
  expected.parses = expected.codePoint != 0;
  return expected;
}

void Check(KeyStroke& stroke, const char* token, const Expected& expected, std::int16_t answer) {
  fuzz::KeyScanStandIn system;
  system.answer = answer;
  const bool parsed = stroke.Parse(token, system);
  FUZZ_CHECK(parsed == expected.parses);
  FUZZ_CHECK(stroke.keyCode == expected.keyCode);
  FUZZ_CHECK(stroke.action == expected.action);
  FUZZ_CHECK(stroke.codePoint == expected.codePoint);
  FUZZ_CHECK(system.scans == (expected.scans ? 1 : 0));
  FUZZ_CHECK(!expected.scans || system.scanned == expected.scanned);
  // A refusal is clear: no key code that could be sent.
  FUZZ_CHECK(parsed || stroke.keyCode == -1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const auto answer = static_cast<std::int16_t>(data[0] | data[1] << 8);
  const std::string token(reinterpret_cast<const char*>(data + 2),
                          strnlen(reinterpret_cast<const char*>(data + 2), size - 2));
  const Expected expected = Grammar(token, answer);

  // A buffer of exactly the token's size, so that reading past its end is caught.
  const auto buffer = std::make_unique<char[]>(token.size() + 1);
  std::memcpy(buffer.get(), token.c_str(), token.size() + 1);

  KeyStroke fresh;
  Check(fresh, buffer.get(), expected, answer);
  // The run parses every token on the same record: what an earlier token left in it
  // must not change the result.
  for (const char* earlier : {"/Shift", "\\F24", "x", "nokey"}) {
    KeyStroke reused;
    fuzz::KeyScanStandIn system;
    system.answer = -1;
    reused.Parse(earlier, system);
    Check(reused, buffer.get(), expected, answer);
  }
  FUZZ_CHECK(std::string(buffer.get()) == token);  // the token is only read
  return 0;
}
