#include "foundation/RunLoop.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

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

RunLoop::RunLoop()
    : m_mainThread(std::this_thread::get_id()), m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_wakeFd < 0) {
        std::perror("swfharvex: the run loop's eventfd");
        std::abort();
    }
}

RunLoop& RunLoop::Main() {
    // Never destroyed, for the same reason as the notification centre: timers held by statics of
    // loaded modules are cancelled from their destructors at exit.
    static auto* const loop = new RunLoop(); // NOLINT(cppcoreguidelines-owning-memory)
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
    const uint64_t one = 1;
    while (write(m_wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
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
    if (ReadSignals() || FireDueTimer()) {
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
    {
        const std::lock_guard lock(m_mutex);
        if (!m_tasks.empty()) {
            return;
        }
    }
    std::vector<pollfd> sources{{m_wakeFd, POLLIN, 0}};
    for (const auto& [fd, handler] : m_signalHandlers) {
        sources.push_back({fd, POLLIN, 0});
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now);
    if (poll(sources.data(), sources.size(),
             static_cast<int>(std::max<long long>(wait.count(), 0))) > 0 &&
        (sources[0].revents & POLLIN) != 0) {
        uint64_t posted = 0;
        while (read(m_wakeFd, &posted, sizeof posted) < 0 && errno == EINTR) {
        }
    }
}

bool RunLoop::ReadSignals() {
    bool any = false;
    for (auto it = m_signalHandlers.begin(); it != m_signalHandlers.end();) {
        const int fd = it->first;
        signalfd_siginfo info{};
        if (read(fd, &info, sizeof info) != sizeof info) {
            ++it;
            continue;
        }
        any = true;
        const auto handler = it->second; // the handler may end its own watch
        (*handler)(static_cast<int>(info.ssi_signo));
        it = m_signalHandlers.upper_bound(fd);
    }
    return any;
}

RunLoop::SignalWatch RunLoop::WatchSignals(const std::vector<int>& signals,
                                           std::function<void(int)> handler) {
    HVX_ASSERT_MAIN_THREAD();
    SignalWatch watch;
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : signals) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            sigaddset(&set, signal);
        }
    }
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &set, &before);
    sigemptyset(&watch.m_unblock);
    for (const int signal : signals) {
        if (sigismember(&set, signal) == 1 && sigismember(&before, signal) == 0) {
            sigaddset(&watch.m_unblock, signal);
        }
    }
    watch.m_fd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (watch.m_fd < 0) {
        std::perror("swfharvex: signalfd");
        std::abort();
    }
    m_signalHandlers.emplace(watch.m_fd,
                             std::make_shared<std::function<void(int)>>(std::move(handler)));
    return watch;
}

RunLoop::SignalWatch::SignalWatch(SignalWatch&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_unblock(other.m_unblock) {
}

RunLoop::SignalWatch& RunLoop::SignalWatch::operator=(SignalWatch&& other) noexcept {
    if (this != &other) {
        End();
        m_fd = std::exchange(other.m_fd, -1);
        m_unblock = other.m_unblock;
    }
    return *this;
}

RunLoop::SignalWatch::~SignalWatch() {
    End();
}

void RunLoop::SignalWatch::End() {
    if (m_fd < 0) {
        return;
    }
    RunLoop& loop = Main();
    HVX_ASSERT_MAIN_THREAD();
    auto found = loop.m_signalHandlers.find(m_fd);
    if (found != loop.m_signalHandlers.end()) {
        const auto handler = found->second;
        loop.m_signalHandlers.erase(found);
        signalfd_siginfo info{};
        while (read(m_fd, &info, sizeof info) == sizeof info) {
            (*handler)(static_cast<int>(info.ssi_signo));
        }
    }
    close(m_fd);
    m_fd = -1;
    pthread_sigmask(SIG_UNBLOCK, &m_unblock, nullptr);
}
