#pragma once

#include <chrono>

#include "foundation/RunLoop.h"
#include "runtime/NSObject.h"
#include "runtime/Selector.h"

// A timer on the main run loop that sends `selector` ("v@:@", with the timer) to its target.
// The run loop holds the timer until it is invalidated (a one-shot timer invalidates itself after
// firing). Unlike the original toolkit's timer it does not retain its target: the target is the
// object that owns the timer and invalidates it before it goes away, so no cycle keeps both alive.
class NSTimer : public NSObject {
public:
    NSTimer();
    static Class ClassObject();

    // Main thread only. Intervals below a millisecond count as one millisecond.
    static Ref<NSTimer> scheduledTimerWithTimeInterval(double seconds, id target, SEL selector,
                                                       id userInfo, bool repeats);

    void invalidate();
    bool isValid() const { return m_valid; }
    double timeInterval() const { return m_interval; }
    id userInfo() const { return m_userInfo.get(); }

protected:
    ~NSTimer() override;

private:
    void Fire();

    double m_interval = 0;
    id m_target = nullptr;
    SEL m_selector = nullptr;
    Ref<NSObject> m_userInfo;
    bool m_repeats = false;
    bool m_valid = false;
    RunLoop::TimerId m_timerId = 0;
};
