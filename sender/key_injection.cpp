#include "key_injection.h"

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

// What one event goes out as: a virtual key, or a character that no key types.
struct EventKey {
  std::uint16_t code;  // the virtual key, or the character's byte
  bool character;

  bool operator==(const EventKey& other) const {
    return code == other.code && character == other.character;
  }
};

// A character's virtual key carries its shift state in the high byte, as the key code
// has it; no modifier event is added for it.
EventKey EventKeyOf(const KeyStroke& key) {
  if (key.TypedAsCharacter()) return {static_cast<unsigned char>(key.character), true};
  return {static_cast<std::uint16_t>(key.keyCode & 0xFFFF), false};
}

KeyDirection DirectionOf(const KeyStroke& key) {
  return key.action == KeyStroke::kPressOnly ? KeyDirection::kDown : KeyDirection::kUp;
}

bool SendEvent(SenderSystem& system, EventKey key, KeyDirection direction) {
  return key.character ? system.SendCharacterEvent(static_cast<char>(key.code), direction)
                       : system.SendKeyEvent(key.code, direction);
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
  }

  // Sends a key up for each, the last pressed first, whether or not the target is in
  // front: wherever they go, no key stays down. What the platform refuses, or a
  // failure of it, can't be helped here.
  void ReleaseAll(SenderSystem& system) {
    while (count_ > 0) {
      const EventKey key = keys_[--count_];
      try {
        SendEvent(system, key, KeyDirection::kUp);
      } catch (...) {
      }
    }
  }

 private:
  EventKey* keys_ = nullptr;
  std::int32_t count_ = 0;
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
                          TargetFront& front) {
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
  if (outcome != SendOutcome::kSent) held.ReleaseAll(system);
  return outcome;
}

SendOutcome SendKeyScript(SenderSystem& system, std::int32_t startDelay, CMyList<KeyStroke>& keys,
                          std::int32_t keyDelay, TargetFront& front) {
  const bool paced = startDelay > 0 || (keyDelay > 0 && keys.Count() > 0);
  try {
    FineTimerPeriod period(system, paced);
    system.Sleep(static_cast<std::uint32_t>(startDelay));
    return InjectKeyList(system, keys, keyDelay, front);
  } catch (...) {
    // Not handled, only let through: an exception that nothing catches ends the
    // program without unwinding, and the period would not be given back.
    throw;
  }
}

}  // namespace tapwise
