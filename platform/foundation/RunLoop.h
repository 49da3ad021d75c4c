#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The main run loop: tasks posted from any thread, timers and signals, run on the main thread,
// which is the thread that first asks for RunLoop::Main().
class RunLoop {
public:
    using Clock = std::chrono::steady_clock;
    using TimerId = uint64_t;

    // Signals delivered to the loop rather than to a handler; see WatchSignals.
    class SignalWatch {
    public:
        SignalWatch() = default;
        SignalWatch(SignalWatch&& other) noexcept;
        SignalWatch& operator=(SignalWatch&& other) noexcept;
        SignalWatch(const SignalWatch&) = delete;
        SignalWatch& operator=(const SignalWatch&) = delete;
        // Hands signals that came since the loop last ran to the handler, then unblocks them.
        ~SignalWatch();

    private:
        friend class RunLoop;
        void End();

        int m_fd = -1;
        sigset_t m_unblock{};
    };

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

    // Main thread only. While the watch lives, `signals` (those not ignored: a signal that
    // whoever started us ignores stays ignored) are blocked in this thread and read by the loop,
    // which calls `handler` with each as it comes, like a task. Threads started afterwards
    // inherit the block; take the watch before any starts, or a thread may get the signal with
    // its default action. Children get their signals back through ChildProcess.
    [[nodiscard]] SignalWatch WatchSignals(const std::vector<int>& signals,
                                           std::function<void(int)> handler);

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
    // Hands every signal waiting on a watch to its handler; false when there was none.
    bool ReadSignals();
    void WaitForWork(Clock::time_point deadline);

    const std::thread::id m_mainThread;
    const int m_wakeFd; // an eventfd: Post wakes the waiting main thread through it

    std::mutex m_mutex;
    std::deque<std::function<void()>> m_tasks; // guarded by m_mutex

    std::map<int, std::shared_ptr<std::function<void(int)>>> m_signalHandlers; // by signalfd

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
