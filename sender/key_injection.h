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
  kSent,          // every event was taken
  kRefused,       // the platform did not take an event
  kFrontLost,     // the target was no longer in front: the event was not sent
  kTargetHung,    // the target stopped responding for too long: the event was not sent
  kModifierHeld,  // the user held a modifier down all the while: nothing was sent
};

// Sleeps |delay| ms unless it is 0; then, while the target is in front, sends one
// event for |key|: a key down for the press-only action, a key up for any other. A
// character that no key types goes out as that character.
SendOutcome InjectKeyEvent(SenderSystem& system, const KeyStroke& key, std::int32_t delay,
                           TargetFront& front);

// Sends every key of |keys| in order (down then up for press-and-release), the delay
// before each event. Stops at the first event that is not taken or that finds the
// target out of front; then, and when an exception ends it, releases every key that it
// pressed and had not released, the last pressed first, so that no key stays down (an
// Alt or Windows key pressed last gets a neutral key first, so that its release opens
// no menu). At the end of the script a key pressed on purpose stays down. Moves the
// list's cursor only. After a stop, |stillDown| (when given) names the keys whose
// release the platform refused, separated by blanks.
SendOutcome InjectKeyList(SenderSystem& system, CMyList<KeyStroke>& keys, std::int32_t delay,
                          TargetFront& front, CMyString* stillDown = nullptr);

// Sleeps the start delay (what is left of it); then, when there is a key to send, waits
// up to two seconds until the user holds no modifier (Shift, Control, Alt, a Windows
// key) down, which would combine with the script's keys; then sends the keys as
// InjectKeyList does. While anything is to be waited for, the system's timer ticks
// every millisecond, so that the delays last what they say. |namedKeys| (when given)
// gets the keys still down after a stop, or the modifiers that stayed held.
SendOutcome SendKeyScript(SenderSystem& system, std::int32_t startDelay, CMyList<KeyStroke>& keys,
                          std::int32_t keyDelay, TargetFront& front,
                          CMyString* namedKeys = nullptr);

}  // namespace tapwise
