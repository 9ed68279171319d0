// Sending the key script as real keyboard events, one event at a time.
#pragma once

#include <cstdint>

#include "key_script.h"
#include "my_list.h"
#include "sender_system.h"

namespace tapwise {

// Sleeps |delay| ms unless it is 0, then sends one event for |key|: a key down for
// the press-only action, a key up for any other. True when the event was taken.
bool InjectKeyEvent(SenderSystem& system, const KeyStroke& key, std::int32_t delay);

// Sends every key of |keys| in order (down then up for press-and-release), the delay
// before each event. Stops at the first event not taken and returns false; keys
// pressed before stay down. Moves the list's cursor only.
bool InjectKeyList(SenderSystem& system, CMyList<KeyStroke>& keys, std::int32_t delay);

// Sleeps the start delay, then sends the keys as InjectKeyList does. While anything
// is to be waited for, the system's timer ticks every millisecond, so that the delays
// last what they say.
bool SendKeyScript(SenderSystem& system, std::int32_t startDelay, CMyList<KeyStroke>& keys,
                   std::int32_t keyDelay);

}  // namespace tapwise
