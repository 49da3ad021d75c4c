#pragma once

#include <cstdint>

// The kinds of user event presenters deliver.
enum class NSEventType {
    LeftMouseUp, // a click on a menu item or a control
    KeyDown,
};

// A user event as the application records it while the event is handled: what kind, which
// event of the session (counting from 1) and when (seconds on a monotonic clock).
struct NSEvent {
    NSEventType type = NSEventType::LeftMouseUp;
    uint64_t eventNumber = 0;
    double timestamp = 0;
    int clickCount = 1;
};
