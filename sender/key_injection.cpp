#include "key_injection.h"

#include <cstdio>
#include <initializer_list>

#include "allocation.h"
#include "my_exception.h"

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

// What one event goes out as: a virtual key, a character that no key types, or a
// character typed as its code point.
struct EventKey {
  enum class Kind { kKey, kCharacter, kUnicode };

  std::uint32_t code;  // the virtual key, the character's byte, or its code point
  Kind kind;
  char character;  // the character that the key types, of a single-character token

  bool operator==(const EventKey& other) const { return code == other.code && kind == other.kind; }
};

// A character's virtual key carries its shift state in the high byte, as the key code
// has it; no modifier event is added for it.
EventKey EventKeyOf(const KeyStroke& key) {
  if (key.codePoint != 0) return {key.codePoint, EventKey::Kind::kUnicode, '\0'};
  if (key.TypedAsCharacter()) {
    return {static_cast<unsigned char>(key.character), EventKey::Kind::kCharacter, key.character};
  }
  return {static_cast<std::uint16_t>(key.keyCode & 0xFFFF), EventKey::Kind::kKey, key.character};
}

KeyDirection DirectionOf(const KeyStroke& key) {
  return key.action == KeyStroke::kPressOnly ? KeyDirection::kDown : KeyDirection::kUp;
}

bool SendEvent(SenderSystem& system, EventKey key, KeyDirection direction) {
  switch (key.kind) {
    case EventKey::Kind::kCharacter:
      return system.SendCharacterEvent(static_cast<char>(key.code), direction);
    case EventKey::Kind::kUnicode: {
      // One character, one event: both units of a surrogate pair, in order.
      std::uint16_t units[2] = {static_cast<std::uint16_t>(key.code), 0};
      int count = 1;
      if (key.code >= 0x10000) {
        const std::uint32_t above = key.code - 0x10000;
        units[0] = static_cast<std::uint16_t>(0xD800 + (above >> 10));
        units[1] = static_cast<std::uint16_t>(0xDC00 + (above & 0x3FF));
        count = 2;
      }
      return system.SendUnicodeEvent(units, count, direction);
    }
    case EventKey::Kind::kKey:
      break;
  }
  const auto virtualKey = static_cast<std::uint16_t>(key.code);
  return system.SendKeyEvent(virtualKey, IsExtendedKey(static_cast<std::uint8_t>(virtualKey)),
                             direction);
}

// An Alt or a Windows key let go of with no other key since it went down opens the
// target's menu bar or the Start menu. An unassigned virtual key between them, down
// and up, counts as another key and does nothing else.
constexpr std::uint16_t kNeutralKey = 0xE8;

bool IsAltOrWindowsKey(const EventKey& key) {
  if (key.kind != EventKey::Kind::kKey) return false;
  switch (key.code) {
    case 0x12:  // Menu
    case 0xA4:  // LMenu
    case 0xA5:  // RMenu
    case 0x5B:  // LWin
    case 0x5C:  // RWin
      return true;
    default:
      return false;
  }
}

// How a key is named in a report: as the script names it.
void AppendName(CMyString& names, const EventKey& key) {
  if (names.Length() > 0) names += " ";
  char text[16] = {key.character, '\0'};
  if (key.kind == EventKey::Kind::kUnicode) {
    std::snprintf(text, sizeof text, "U+%04lX", static_cast<unsigned long>(key.code));
  } else if (key.character == '\0') {
    const char* name = SpecialKeyName(static_cast<std::int32_t>(key.code));
    if (name != nullptr) {
      names += name;
      return;
    }
    std::snprintf(text, sizeof text, "0x%04lX", static_cast<unsigned long>(key.code));
  }
  names += text;
}

// The keys that the script pressed and has not released, in the order pressed. Its
// room is taken before the first event, so that keeping track can't fail later.
class HeldKeys {
 public:
  // Each key of the script holds at most one key down at a time.
  explicit HeldKeys(std::int32_t room) {
    const std::size_t bytes = sizeof(EventKey) * static_cast<std::size_t>(room > 0 ? room : 1);
    keys_ = static_cast<EventKey*>(support::AllocateBlock(bytes));
    if (keys_ == nullptr) {
      throw CMyExceptionMemory("HeldKeys", "constructor", static_cast<std::int32_t>(bytes));
    }
  }
  HeldKeys(const HeldKeys&) = delete;
  HeldKeys& operator=(const HeldKeys&) = delete;
  ~HeldKeys() { support::ReleaseBlock(keys_); }

  // A key that is down already keeps its place.
  void Pressed(EventKey key) {
    lastPressed_ = key;
    loneAltOrWindowsKey_ = IsAltOrWindowsKey(key);
    for (std::int32_t i = 0; i < count_; ++i) {
      if (keys_[i] == key) return;
    }
    keys_[count_++] = key;
  }

  void Released(EventKey key) {
    std::int32_t kept = 0;
    for (std::int32_t i = 0; i < count_; ++i) {
      if (!(keys_[i] == key)) keys_[kept++] = keys_[i];
    }
    count_ = kept;
    // Only the key pressed last can be lone; released, it is no more to be let go of.
    if (key == lastPressed_) loneAltOrWindowsKey_ = false;
  }

  // Sends a key up for each, the last pressed first, whether or not the target is in
  // front: wherever they go, no key stays down. What the platform refuses, or a
  // failure of it, can't be helped here; the keys refused stay listed for NameRefused.
  void ReleaseAll(SenderSystem& system) {
    if (loneAltOrWindowsKey_) {
      for (const KeyDirection direction : {KeyDirection::kDown, KeyDirection::kUp}) {
        try {
          system.SendKeyEvent(kNeutralKey, false, direction);
        } catch (...) {
        }
      }
      loneAltOrWindowsKey_ = false;
    }
    // The refused keys gather at the top, above those still to be released.
    refused_ = 0;
    const std::int32_t top = count_;
    while (count_ > 0) {
      const EventKey key = keys_[--count_];
      bool taken = false;
      try {
        taken = SendEvent(system, key, KeyDirection::kUp);
      } catch (...) {
      }
      if (!taken) keys_[top - ++refused_] = key;
    }
    top_ = top;
  }

  // Names the keys whose release ReleaseAll could not send, in the order tried.
  void NameRefused(CMyString& names) const {
    names = "";
    for (std::int32_t i = 1; i <= refused_; ++i) AppendName(names, keys_[top_ - i]);
  }

 private:
  EventKey* keys_ = nullptr;
  std::int32_t count_ = 0;
  EventKey lastPressed_{0, EventKey::Kind::kKey, '\0'};
  bool loneAltOrWindowsKey_ = false;  // the key pressed last is an Alt or Windows key, held
  std::int32_t refused_ = 0;
  std::int32_t top_ = 0;
};

// Sends the event and keeps track of what it holds down.
SendOutcome InjectTracked(SenderSystem& system, const KeyStroke& key, std::int32_t delay,
                          TargetFront& front, HeldKeys& held) {
  const SendOutcome outcome = InjectKeyEvent(system, key, delay, front);
  if (outcome == SendOutcome::kSent) {
    if (DirectionOf(key) == KeyDirection::kDown) {
      held.Pressed(EventKeyOf(key));
    } else {
      held.Released(EventKeyOf(key));
    }
  }
  return outcome;
}

// The modifiers that would combine with the script's keys, by the table's names.
constexpr std::uint16_t kModifiers[] = {0x10, 0x11, 0x12, 0x5B, 0x5C};

// How long the user may take to let go of them: this many looks, this far apart.
constexpr int kModifierPauses = 200;
constexpr std::uint32_t kModifierPause = 10;

// The modifier of kModifiers that |key| is, either hand's; 0 for any other key.
std::uint16_t ModifierOf(const EventKey& key) {
  if (key.kind != EventKey::Kind::kKey) return 0;
  switch (key.code) {
    case 0x10:
    case 0xA0:
    case 0xA1:
      return 0x10;
    case 0x11:
    case 0xA2:
    case 0xA3:
      return 0x11;
    case 0x12:
    case 0xA4:
    case 0xA5:
      return 0x12;
    case 0x5B:
    case 0x5C:
      return static_cast<std::uint16_t>(key.code);
    default:
      return 0;
  }
}

// Whether the script lets go of |modifier| before it presses it: it counts on an earlier
// run having left it down on purpose, so that one being down is no user's finger.
bool ReleasedFirst(CMyList<KeyStroke>& keys, std::uint16_t modifier) {
  for (keys.SetPosition(0); keys.HasCurrent(); keys.MoveNext()) {
    const KeyStroke& key = keys.GetCurrent();
    if (ModifierOf(EventKeyOf(key)) == modifier) return key.action == KeyStroke::kReleaseOnly;
  }
  return false;
}

// Started by a hotkey, with no start delay, the program may find the user's fingers
// still on its modifiers. Before the first event the run holds no key of its own, so
// every modifier down is the user's, but for one that the script lets go of first.
// False when one stays down; |held| then names them.
bool AwaitModifiersReleased(SenderSystem& system, CMyList<KeyStroke>& keys, CMyString* held) {
  bool awaited[sizeof kModifiers / sizeof kModifiers[0]];
  for (std::size_t i = 0; i < sizeof kModifiers / sizeof kModifiers[0]; ++i) {
    awaited[i] = !ReleasedFirst(keys, kModifiers[i]);
  }
  for (int pause = 0;; ++pause) {
    bool any = false;
    for (std::size_t i = 0; i < sizeof kModifiers / sizeof kModifiers[0]; ++i) {
      if (!awaited[i] || !system.IsKeyDown(kModifiers[i])) continue;
      if (pause == kModifierPauses && held != nullptr) {
        if (held->Length() > 0) *held += " ";
        *held += SpecialKeyName(kModifiers[i]);
      }
      any = true;
    }
    if (!any) return true;
    if (pause == kModifierPauses) return false;
    system.Sleep(kModifierPause);
  }
}

}  // namespace

SendOutcome InjectKeyEvent(SenderSystem& system, const KeyStroke& key, std::int32_t delay,
                           TargetFront& front) {
  if (delay != 0) system.Sleep(static_cast<std::uint32_t>(delay));
  switch (front.StillInFront()) {
    case FrontState::kInFront:
      break;
    case FrontState::kLost:
      return SendOutcome::kFrontLost;
    case FrontState::kHung:
      return SendOutcome::kTargetHung;
  }
  return SendEvent(system, EventKeyOf(key), DirectionOf(key)) ? SendOutcome::kSent
                                                              : SendOutcome::kRefused;
}

SendOutcome InjectKeyList(SenderSystem& system, CMyList<KeyStroke>& keys, std::int32_t delay,
                          TargetFront& front, CMyString* stillDown) {
  HeldKeys held(keys.Count());
  SendOutcome outcome = SendOutcome::kSent;
  try {
    for (keys.SetPosition(0); keys.HasCurrent() && outcome == SendOutcome::kSent; keys.MoveNext()) {
      KeyStroke key = keys.GetCurrent();
      if (key.action == KeyStroke::kPressAndRelease) {
        key.action = KeyStroke::kPressOnly;
        outcome = InjectTracked(system, key, delay, front, held);
        if (outcome != SendOutcome::kSent) break;
        key.action = KeyStroke::kReleaseOnly;
      }
      outcome = InjectTracked(system, key, delay, front, held);
    }
  } catch (...) {
    held.ReleaseAll(system);
    throw;
  }
  if (outcome != SendOutcome::kSent) {
    held.ReleaseAll(system);
    if (stillDown != nullptr) held.NameRefused(*stillDown);
  }
  return outcome;
}

SendOutcome SendKeyScript(SenderSystem& system, std::int32_t startDelay, CMyList<KeyStroke>& keys,
                          std::int32_t keyDelay, TargetFront& front, CMyString* namedKeys) {
  const bool paced = startDelay > 0 || (keyDelay > 0 && keys.Count() > 0);
  try {
    FineTimerPeriod period(system, paced);
    system.Sleep(static_cast<std::uint32_t>(startDelay));
    if (keys.Count() > 0 && !AwaitModifiersReleased(system, keys, namedKeys)) {
      return SendOutcome::kModifierHeld;
    }
    return InjectKeyList(system, keys, keyDelay, front, namedKeys);
  } catch (...) {
    // Not handled, only let through: an exception that nothing catches ends the
    // program without unwinding, and the period would not be given back.
    throw;
  }
}

}  // namespace tapwise
