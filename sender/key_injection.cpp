#include "key_injection.h"

namespace tapwise {

bool InjectKeyEvent(SenderSystem& system, const KeyStroke& key, std::int32_t delay) {
  if (delay != 0) system.Sleep(static_cast<std::uint32_t>(delay));
  // The shift state of a character's code stays in the high byte, as the key code
  // has it; no modifier event is added for it.
  return system.SendKeyEvent(
      static_cast<std::uint16_t>(key.keyCode & 0xFFFF),
      key.action == KeyStroke::kPressOnly ? KeyDirection::kDown : KeyDirection::kUp);
}

bool InjectKeyList(SenderSystem& system, CMyList<KeyStroke>& keys, std::int32_t delay) {
  keys.SetPosition(0);
  while (keys.HasCurrent()) {
    KeyStroke key = keys.GetCurrent();
    if (key.action == KeyStroke::kPressAndRelease) {
      key.action = KeyStroke::kPressOnly;
      if (!InjectKeyEvent(system, key, delay)) return false;
      key.action = KeyStroke::kReleaseOnly;
      if (!InjectKeyEvent(system, key, delay)) return false;
    } else if (!InjectKeyEvent(system, key, delay)) {
      return false;
    }
    keys.MoveNext();
  }
  return true;
}

}  // namespace tapwise
