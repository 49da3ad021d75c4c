#include "foundation/objects/NSTimer.h"

#include <algorithm>
#include <cmath>

#include "foundation/Log.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

[[maybe_unused]] static const Class kRegistered = NSTimer::ClassObject();

NSTimer::NSTimer() : NSObject(ClassObject()) {
}

NSTimer::~NSTimer() {
    invalidate();
}

Class NSTimer::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSTimer>("NSTimer", NSObject::RootClass());
    return cls;
}

Ref<NSTimer> NSTimer::scheduledTimerWithTimeInterval(double seconds, id target, SEL selector,
                                                     id userInfo, bool repeats) {
    HVX_ASSERT_MAIN_THREAD();
    Ref<NSTimer> timer = MakeRef<NSTimer>();
    timer->m_interval = std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0;
    timer->m_target = target;
    timer->m_selector = selector;
    timer->m_userInfo = Ref<NSObject>(userInfo);
    timer->m_repeats = repeats;
    timer->m_valid = true;
    const auto milliseconds = std::chrono::milliseconds(
        std::max<int64_t>(1, std::llround(std::min(timer->m_interval, 1e9) * 1000.0)));
    // The run loop's closure holds the timer, as the original run loop retains its timers.
    timer->m_timerId =
        RunLoop::Main().AddTimer(milliseconds, repeats, [held = timer]() { held->Fire(); });
    return timer;
}

void NSTimer::invalidate() {
    if (!m_valid) {
        return;
    }
    m_valid = false;
    m_target = nullptr;
    // Cancelling drops the run loop's reference, which may be the last one: nothing of this
    // timer is touched after it.
    RunLoop::Main().CancelTimer(m_timerId);
}

void NSTimer::Fire() {
    if (!m_valid) {
        return;
    }
    Ref<NSTimer> keepAlive(this);
    try {
        objc_msgSend<void>(m_target, m_selector, static_cast<id>(this));
    } catch (const MessageSendError& error) {
        NSLog(std::string("NSTimer: ").append(error.what()));
    }
    if (!m_repeats) {
        invalidate();
    }
}
