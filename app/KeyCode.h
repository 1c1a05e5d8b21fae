#pragma once

#include <cstdint>

class QKeyEvent;

namespace app {

// The classic virtual-key code of the key an event came from, by its physical
// position: Shift, Caps Lock and the keyboard layout do not change it. Events
// without a native scan code (the offscreen platform) fall back to the key
// value. -1 for keys the keyboard map does not know, the numeric keypad among them.
std::int16_t KeyCodeOf(const QKeyEvent& event);

}  // namespace app
