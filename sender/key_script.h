// The key script: every argument after the options is one token that names a key and
// says whether to press it, release it, or both.
#pragma once

#include <cstddef>
#include <cstdint>

#include "my_string.h"
#include "sender_system.h"

namespace tapwise {

struct KeyStroke {
  // What to do with the key.
  enum : std::int32_t { kPressAndRelease = -1, kPressOnly = 0, kReleaseOnly = 1 };

  // A virtual-key code. For a single character, the whole VkKeyScanA result with the
  // shift state in its high byte; -1 when no key gives the character or the token
  // names no key.
  std::int32_t keyCode = 0;
  std::int32_t action = kPressAndRelease;
  // The character of a single-character token; NUL for a named key.
  char character = '\0';
  // The code point of a character that the code page can't hold, or holds only in
  // several bytes: typed as itself through Unicode events. 0 for any other key.
  std::uint32_t codePoint = 0;

  // True for a character that no key types: it is sent as that character instead.
  bool TypedAsCharacter() const { return keyCode == -1 && character != '\0'; }

  // Fills this record from one token: "/" before a key presses it only, a backslash
  // releases it only; a key is a single character or an exact, case-sensitive name
  // of the special-key table. False when the token names no key. |utf8|: the token
  // is in UTF-8, as the code page can't hold it.
  bool Parse(const char* token, SenderSystem& system, bool utf8 = false);
};

struct SpecialKey {
  std::int32_t keyCode;
  char name[28];
};

constexpr std::size_t kSpecialKeyCount = 103;
// In search order (the first equal name wins) and listing order.
extern const SpecialKey SpecialKeyTable[kSpecialKeyCount];

// Sets |text| to every name of the table, each followed by a tab.
void JoinSpecialKeyNames(CMyString& text);

// The name of the table's key with this code; null when it has none.
const char* SpecialKeyName(std::int32_t keyCode);

// Whether the key is one of those that the keyboard tells from a key of the same
// meaning by a prefix of its scan code (E0): the arrows and the keys above them beside
// the keypad, the right-hand Control and Alt, the keypad's divide, NumLock, Print
// Screen, Break, the Windows and the application keys, and the browser, media and
// launch keys.
bool IsExtendedKey(std::uint8_t virtualKey);

}  // namespace tapwise
