// Sending the key script as real keyboard events, one event at a time, each only while
// the target is in front.
#pragma once

#include <cstdint>

#include "key_script.h"
#include "my_list.h"
#include "sender_system.h"
#include "targets.h"

namespace tapwise {

// How sending ended.
enum class SendOutcome {
  kSent,        // every event was taken
  kRefused,     // the platform did not take an event
  kFrontLost,   // the target was no longer in front: the event was not sent
  kTargetHung,  // the target stopped responding for too long: the event was not sent
};

// Sleeps |delay| ms unless it is 0; then, while the target is in front, sends one
// event for |key|: a key down for the press-only action, a key up for any other. A
// character that no key types goes out as that character.
SendOutcome InjectKeyEvent(SenderSystem& system, const KeyStroke& key, std::int32_t delay,
                           TargetFront& front);

// Sends every key of |keys| in order (down then up for press-and-release), the delay
// before each event. Stops at the first event that is not taken or that finds the
// target out of front; then, and when an exception ends it, releases every key that it
// pressed and had not released, the last pressed first, so that no key stays down. At
// the end of the script a key pressed on purpose stays down. Moves the list's cursor
// only.
SendOutcome InjectKeyList(SenderSystem& system, CMyList<KeyStroke>& keys, std::int32_t delay,
                          TargetFront& front);

// Sleeps the start delay (what is left of it), then sends the keys as InjectKeyList does. While
// anything is to be waited for, the system's timer ticks every millisecond, so that the delays last
// what they say.
SendOutcome SendKeyScript(SenderSystem& system, std::int32_t startDelay, CMyList<KeyStroke>& keys,
                          std::int32_t keyDelay, TargetFront& front);

}  // namespace tapwise
