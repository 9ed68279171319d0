#include "key_injection.h"

namespace tapwise {

namespace {

// Sleep lasts whole periods of the system's timer, 15.6 ms unless a program asks for
// less: a wait of 20 ms would last about 31.
constexpr std::uint32_t kFineTimerPeriod = 1;

// Holds the fine timer period for its lifetime, when asked to and granted.
class FineTimerPeriod {
 public:
  FineTimerPeriod(SenderSystem& system, bool wanted)
      : system_(system), granted_(wanted && system.BeginTimerPeriod(kFineTimerPeriod)) {}
  FineTimerPeriod(const FineTimerPeriod&) = delete;
  FineTimerPeriod& operator=(const FineTimerPeriod&) = delete;
  ~FineTimerPeriod() {
    if (granted_) system_.EndTimerPeriod(kFineTimerPeriod);
  }

 private:
  SenderSystem& system_;
  const bool granted_;
};

}  // namespace

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

bool SendKeyScript(SenderSystem& system, std::int32_t startDelay, CMyList<KeyStroke>& keys,
                   std::int32_t keyDelay) {
  const bool paced = startDelay > 0 || (keyDelay > 0 && keys.Count() > 0);
  try {
    FineTimerPeriod period(system, paced);
    system.Sleep(static_cast<std::uint32_t>(startDelay));
    return InjectKeyList(system, keys, keyDelay);
  } catch (...) {
    // Not handled, only let through: an exception that nothing catches ends the
    // program without unwinding, and the period would not be given back.
    throw;
  }
}

}  // namespace tapwise
