#pragma once

#include <cstdint>

// The kinds of user event presenters deliver, with the original toolkit's values, which
// delegates compare against.
enum class NSEventType {
    LeftMouseDown = 1, // a press on a split view's divider
    LeftMouseUp = 2,   // a click on a menu item or a control
    KeyDown = 10,
};

// A user event as the application records it while the event is handled: what kind, which
// event of the session (counting from 1) and when (seconds on a monotonic clock).
struct NSEvent {
    NSEventType type = NSEventType::LeftMouseUp;
    uint64_t eventNumber = 0;
    double timestamp = 0;
    int clickCount = 1;
};
