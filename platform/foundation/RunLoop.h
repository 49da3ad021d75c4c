#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

// The main run loop: tasks posted from any thread and timers, run on the main thread, which is
// the thread that first asks for RunLoop::Main().
class RunLoop {
public:
    using Clock = std::chrono::steady_clock;
    using TimerId = uint64_t;

    static RunLoop& Main();
    static bool IsMainThread();

    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;
    RunLoop(RunLoop&&) = delete;
    RunLoop& operator=(RunLoop&&) = delete;

    // Any thread. Tasks run on the main thread in the order they were posted.
    void Post(std::function<void()> task);

    // Main thread only. A repeating timer fires every `interval` (at least 1 ms) until cancelled;
    // cancelling from inside its own callback is allowed.
    TimerId AddTimer(std::chrono::milliseconds interval, bool repeats, std::function<void()> fire);
    void CancelTimer(TimerId id);

    // Main thread only, re-entrant. Runs tasks and timers until done() holds (checked first and
    // after every task or timer) or the timeout passes; answers whether done() held. A condition
    // that changes without a task or timer is only seen at the next one.
    bool RunUntil(const std::function<bool()>& done, Clock::duration timeout);
    void RunFor(Clock::duration duration);

private:
    struct Timer {
        Clock::time_point due;
        Clock::duration interval;
        bool repeats = false;
        std::shared_ptr<std::function<void()>> fire; // shared: the callback may cancel itself
    };

    RunLoop();
    ~RunLoop() = default;

    // Runs one due timer or one task; false when there was nothing to run.
    bool RunOne();
    bool FireDueTimer();
    void WaitForWork(Clock::time_point deadline);

    const std::thread::id m_mainThread;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks; // guarded by m_mutex

    std::map<TimerId, Timer> m_timers; // main thread only
    TimerId m_nextTimerId = 1;
};

namespace runloop_detail {
[[noreturn]] void MainThreadAssertionFailed(const char* file, int line, const char* function);
}

// Aborts with a clear message when called off the main thread; nothing in release builds.
#ifdef NDEBUG
#define HVX_ASSERT_MAIN_THREAD() static_cast<void>(0)
#else
#define HVX_ASSERT_MAIN_THREAD()                                                                   \
    (RunLoop::IsMainThread()                                                                       \
         ? static_cast<void>(0)                                                                    \
         : runloop_detail::MainThreadAssertionFailed(__FILE__, __LINE__, __func__))
#endif
