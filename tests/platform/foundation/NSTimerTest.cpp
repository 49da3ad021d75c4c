#include "foundation/objects/NSTimer.h"

#include <gtest/gtest.h>

#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

namespace {

// A target that counts ticks and can stop its own timer from inside one.
class Ticker : public NSObject {
public:
    Ticker() : NSObject(ClassObject()) {}
    static Class ClassObject() {
        static Class cls = [] {
            Class made = RegisterRuntimeClass<Ticker>("NSTimerTestTicker", NSObject::RootClass());
            class_defineMethod(made, "tick:", &Tick);
            return made;
        }();
        return cls;
    }
    int ticks = 0;
    int stopAfter = 0;
    id lastTimer = nullptr;
    Ref<NSTimer> timer;

private:
    static void Tick(id self, SEL /*cmd*/, id timer) {
        auto& ticker = *static_cast<Ticker*>(self);
        ++ticker.ticks;
        ticker.lastTimer = timer;
        if (ticker.ticks == ticker.stopAfter) {
            ticker.timer->invalidate();
            ticker.timer = nullptr; // possibly the last reference but the run loop's
        }
    }
};

TEST(NSTimerTest, ARepeatingTimerTicksUntilItsTargetStopsItFromInsideATick) {
    RunLoop::Main();
    Ref<Ticker> ticker = MakeRef<Ticker>();
    ticker->stopAfter = 3;
    ticker->timer = NSTimer::scheduledTimerWithTimeInterval(
        0.01, ticker.get(), sel_registerName("tick:"), nullptr, true);
    NSTimer* timer = ticker->timer.get();
    EXPECT_TRUE(timer->isValid());
    EXPECT_DOUBLE_EQ(timer->timeInterval(), 0.01);
    RunLoop::Main().RunFor(std::chrono::milliseconds(150));
    EXPECT_EQ(ticker->ticks, 3);
    EXPECT_EQ(ticker->lastTimer, timer);
    EXPECT_FALSE(ticker->timer);
}

TEST(NSTimerTest, AOneShotTimerFiresOnceAndAnInvalidatedOneNever) {
    RunLoop::Main();
    Ref<Ticker> once = MakeRef<Ticker>();
    Ref<NSTimer> single = NSTimer::scheduledTimerWithTimeInterval(
        0.005, once.get(), sel_registerName("tick:"), nullptr, false);
    Ref<Ticker> never = MakeRef<Ticker>();
    NSTimer::scheduledTimerWithTimeInterval(0.005, never.get(), sel_registerName("tick:"), nullptr,
                                            true)
        ->invalidate();
    RunLoop::Main().RunFor(std::chrono::milliseconds(60));
    EXPECT_EQ(once->ticks, 1);
    EXPECT_FALSE(single->isValid());
    EXPECT_EQ(never->ticks, 0);
}

} // namespace
