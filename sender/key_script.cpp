#include "key_script.h"

#include <cstring>

namespace tapwise {

const SpecialKey SpecialKeyTable[kSpecialKeyCount] = {
    {0x08, "Back"},
    {0x09, "Tab"},
    {0x0C, "Clear"},
    {0x0D, "Return"},
    {0x10, "Shift"},
    {0x11, "Control"},
    {0x12, "Menu"},
    {0x13, "Pause"},
    {0x14, "Capital"},
    {0x15, "Kana"},
    {0x17, "Junja"},
    {0x18, "Final"},
    {0x19, "Kanji"},
    {0x1B, "Esc"},
    {0x1C, "Convert"},
    {0x1D, "NonConvert"},
    {0x1E, "Accept"},
    {0x1F, "ModeChange"},
    {0x20, "Space"},
    {0x21, "Prior"},
    {0x22, "Next"},
    {0x23, "End"},
    {0x24, "Home"},
    {0x25, "Left"},
    {0x26, "Up"},
    {0x27, "Right"},
    {0x28, "Down"},
    {0x29, "Select"},
    {0x2A, "Print"},
    {0x2B, "Execute"},
    {0x2C, "Snapshot"},
    {0x2D, "Insert"},
    {0x2E, "Delete"},
    {0x2F, "Help"},
    {0x5B, "LWin"},
    {0x5C, "RWin"},
    {0x5D, "Apps"},
    {0x6A, "Num*"},
    {0x6B, "Num+"},
    {0x6C, "Num/"},
    {0x6D, "Num-"},
    {0x6E, "Decimal"},
    {0x6F, "Divide"},
    {0x90, "NumLock"},
    {0x91, "Scroll"},
    {0xA0, "LShift"},
    {0xA1, "RShift"},
    {0xA2, "LControl"},
    {0xA3, "RControl"},
    {0xA4, "LMenu"},
    {0xA5, "RMenu"},
    {0xA6, "BrowserBack"},
    {0xA7, "BrowserForward"},
    {0xA8, "BrowserRefresh"},
    {0xA9, "BrowserStop"},
    {0xAA, "BrowserSearch"},
    {0xAB, "BrowserFavorites"},
    {0xAC, "BrowserHome"},
    {0xAD, "VolMute"},
    {0xAE, "VolDown"},
    {0xAF, "VolUp"},
    {0xB0, "MediaNext"},
    {0xB1, "MediaPrev"},
    {0xB2, "MediaStop"},
    {0xB3, "MediaPlay"},
    {0xB4, "LaunchMail"},
    {0xB5, "LaunchMediaSelect"},
    {0xB6, "LaunchApp1"},
    {0xB7, "LaunchApp2"},
    {0x60, "NumPad0"},
    {0x61, "NumPad1"},
    {0x62, "NumPad2"},
    {0x63, "NumPad3"},
    {0x64, "NumPad4"},
    {0x65, "NumPad5"},
    {0x66, "NumPad6"},
    {0x67, "NumPad7"},
    {0x68, "NumPad8"},
    {0x69, "NumPad9"},
    {0x70, "F1"},
    {0x71, "F2"},
    {0x72, "F3"},
    {0x73, "F4"},
    {0x74, "F5"},
    {0x75, "F6"},
    {0x76, "F7"},
    {0x77, "F8"},
    {0x78, "F9"},
    {0x79, "F10"},
    {0x7A, "F11"},
    {0x7B, "F12"},
    {0x7C, "F13"},
    {0x7D, "F14"},
    {0x7E, "F15"},
    {0x7F, "F16"},
    {0x80, "F17"},
    {0x81, "F18"},
    {0x82, "F19"},
    {0x83, "F20"},
    {0x84, "F21"},
    {0x85, "F22"},
    {0x86, "F23"},
    {0x87, "F24"},
};

bool KeyStroke::Parse(const char* token, SenderSystem& system, bool utf8) {
  const std::size_t length = std::strlen(token);
  const char* key = token;
  action = kPressAndRelease;
  // A lone "/" or backslash is that character itself.
  if (length >= 2 && token[0] == '/') {
    action = kPressOnly;
    key = token + 1;
  } else if (length >= 2 && token[0] == '\\') {
    action = kReleaseOnly;
    key = token + 1;
  }
  // An empty token is the NUL character; every single character is accepted.
  character = key[0];
  codePoint = 0;
  if (!utf8 && (key[0] == '\0' || key[1] == '\0')) {
    keyCode = system.KeyScan(key[0]);
    return true;
  }
  character = '\0';
  for (const SpecialKey& special : SpecialKeyTable) {
    if (std::strcmp(key, special.name) == 0) {
      keyCode = special.keyCode;
      return true;
    }
  }
  keyCode = -1;
  // One character all the same: one that the code page can't hold, or holds in several
  // bytes (a double-byte code page, or UTF-8 as the code page).
  codePoint = system.CharacterOf(key, utf8);
  return codePoint != 0;
}

void JoinSpecialKeyNames(CMyString& text) {
  text = "";
  for (const SpecialKey& special : SpecialKeyTable) {
    text += special.name;
    text += "\t";
  }
}

}  // namespace tapwise

namespace tapwise {

const char* SpecialKeyName(std::int32_t keyCode) {
  for (const SpecialKey& special : SpecialKeyTable) {
    if (special.keyCode == keyCode) return special.name;
  }
  return nullptr;
}

bool IsExtendedKey(std::uint8_t virtualKey) {
  switch (virtualKey) {
    case 0x03:  // Cancel, Control+Break
    case 0x21:  // Prior
    case 0x22:  // Next
    case 0x23:  // End
    case 0x24:  // Home
    case 0x25:  // Left
    case 0x26:  // Up
    case 0x27:  // Right
    case 0x28:  // Down
    case 0x2C:  // Snapshot
    case 0x2D:  // Insert
    case 0x2E:  // Delete
    case 0x5B:  // LWin
    case 0x5C:  // RWin
    case 0x5D:  // Apps
    case 0x6F:  // Divide
    case 0x90:  // NumLock
    case 0xA3:  // RControl
    case 0xA5:  // RMenu
      return true;
    default:
      // The browser, volume, media and launch keys.
      return virtualKey >= 0xA6 && virtualKey <= 0xB7;
  }
}

}  // namespace tapwise
