#include "foundation/RunLoop.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// Long waits are cut into slices so that huge deadlines never overflow the clock arithmetic.
constexpr auto kLongestWait = std::chrono::hours(1);

RunLoop::Clock::time_point DeadlineAfter(RunLoop::Clock::duration timeout) {
    const auto now = RunLoop::Clock::now();
    if (timeout <= RunLoop::Clock::duration::zero()) {
        return now;
    }
    if (timeout > RunLoop::Clock::time_point::max() - now) {
        return RunLoop::Clock::time_point::max();
    }
    return now + timeout;
}

} // namespace

namespace runloop_detail {
void MainThreadAssertionFailed(const char* file, int line, const char* function) {
    std::fprintf(stderr, "%s:%d: %s: must run on the main thread\n", file, line, function);
    std::abort();
}
} // namespace runloop_detail

RunLoop::RunLoop() : m_mainThread(std::this_thread::get_id()) {
}

RunLoop& RunLoop::Main() {
    // Never destroyed, for the same reason as the notification centre: timers held by statics of
    // loaded modules are cancelled from their destructors at exit.
    static RunLoop* const loop = new RunLoop(); // NOLINT(cppcoreguidelines-owning-memory)
    return *loop;
}

bool RunLoop::IsMainThread() {
    return std::this_thread::get_id() == Main().m_mainThread;
}

void RunLoop::Post(std::function<void()> task) {
    {
        const std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

RunLoop::TimerId RunLoop::AddTimer(std::chrono::milliseconds interval, bool repeats,
                                   std::function<void()> fire) {
    HVX_ASSERT_MAIN_THREAD();
    // A repeating timer of zero would starve everything else.
    const auto period = repeats ? std::max(interval, std::chrono::milliseconds(1))
                                : std::max(interval, std::chrono::milliseconds(0));
    const TimerId id = m_nextTimerId++;
    m_timers.emplace(id, Timer{Clock::now() + period, period, repeats,
                               std::make_shared<std::function<void()>>(std::move(fire))});
    return id;
}

void RunLoop::CancelTimer(TimerId id) {
    HVX_ASSERT_MAIN_THREAD();
    m_timers.erase(id);
}

bool RunLoop::RunUntil(const std::function<bool()>& done, Clock::duration timeout) {
    HVX_ASSERT_MAIN_THREAD();
    const auto deadline = DeadlineAfter(timeout);
    for (;;) {
        if (done()) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        if (!RunOne()) {
            WaitForWork(deadline);
        }
    }
}

void RunLoop::RunFor(Clock::duration duration) {
    RunUntil([] { return false; }, duration);
}

bool RunLoop::RunOne() {
    if (FireDueTimer()) {
        return true;
    }
    std::function<void()> task;
    {
        const std::lock_guard lock(m_mutex);
        if (m_tasks.empty()) {
            return false;
        }
        task = std::move(m_tasks.front());
        m_tasks.pop_front();
    }
    task();
    return true;
}

bool RunLoop::FireDueTimer() {
    const auto now = Clock::now();
    auto due = std::min_element(m_timers.begin(), m_timers.end(), [](const auto& a, const auto& b) {
        return a.second.due < b.second.due;
    });
    if (due == m_timers.end() || due->second.due > now) {
        return false;
    }
    const auto fire = due->second.fire;
    if (due->second.repeats) {
        // A late timer fires once, not once for every period it missed.
        auto next = due->second.due + due->second.interval;
        due->second.due = next > now ? next : now + due->second.interval;
    } else {
        m_timers.erase(due);
    }
    (*fire)();
    return true;
}

void RunLoop::WaitForWork(Clock::time_point deadline) {
    auto wakeAt = deadline;
    for (const auto& [id, timer] : m_timers) {
        wakeAt = std::min(wakeAt, timer.due);
    }
    const auto now = Clock::now();
    if (wakeAt - now > kLongestWait) {
        wakeAt = now + kLongestWait;
    }
    std::unique_lock lock(m_mutex);
    m_wake.wait_until(lock, wakeAt, [this] { return !m_tasks.empty(); });
}
