#include "foundation/RunLoop.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

class RunLoopTest : public ::testing::Test {
protected:
    void SetUp() override { RunLoop::Main(); }
    RunLoop& loop = RunLoop::Main();
};

TEST_F(RunLoopTest, TasksFromManyThreadsRunOnTheMainThreadInPostingOrder) {
    constexpr size_t kThreads = 4;
    constexpr size_t kTasks = 2000;
    std::vector<std::vector<size_t>> seen(kThreads);
    int offMain = 0;
    std::vector<std::thread> posters;
    posters.reserve(kThreads);
    for (size_t t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (size_t i = 0; i < kTasks; ++i) {
                loop.Post([&, t, i] {
                    offMain += RunLoop::IsMainThread() ? 0 : 1;
                    seen[t].push_back(i);
                });
            }
        });
    }
    const auto total = [&] {
        size_t n = 0;
        for (const auto& s : seen) {
            n += s.size();
        }
        return n;
    };
    EXPECT_TRUE(loop.RunUntil([&] { return total() == kThreads * kTasks; }, 30s));
    for (auto& poster : posters) {
        poster.join();
    }
    EXPECT_EQ(offMain, 0);
    for (const auto& s : seen) {
        ASSERT_EQ(s.size(), kTasks);
        EXPECT_TRUE(std::is_sorted(s.begin(), s.end()));
    }
}

TEST_F(RunLoopTest, TimersFireOnceRepeatOrStayCancelled) {
    int once = 0;
    int repeated = 0;
    int cancelled = 0;
    loop.AddTimer(5ms, false, [&] { ++once; });
    RunLoop::TimerId repeating = 0;
    repeating = loop.AddTimer(2ms, true, [&] {
        if (++repeated == 3) {
            loop.CancelTimer(repeating); // from inside its own callback
        }
    });
    loop.CancelTimer(loop.AddTimer(1ms, false, [&] { ++cancelled; }));

    loop.RunFor(100ms);
    EXPECT_EQ(once, 1);
    EXPECT_EQ(repeated, 3);
    EXPECT_EQ(cancelled, 0);
}

TEST_F(RunLoopTest, RunUntilSleepsUntilWorkOrTimeout) {
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    EXPECT_FALSE(loop.RunUntil([] { return false; }, 300ms));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 300ms);
    EXPECT_LT(waited, 1s);
    // Waiting must not spin.
    EXPECT_LT(static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC, 0.1);

    // A task posted from elsewhere wakes the loop at once.
    bool ran = false;
    std::thread poster([&] {
        std::this_thread::sleep_for(50ms);
        loop.Post([&] { ran = true; });
    });
    const auto posted = std::chrono::steady_clock::now();
    EXPECT_TRUE(loop.RunUntil([&] { return ran; }, 10s));
    EXPECT_LT(std::chrono::steady_clock::now() - posted, 2s);
    poster.join();

    // Already done: nothing runs.
    bool extra = false;
    loop.Post([&] { extra = true; });
    EXPECT_TRUE(loop.RunUntil([] { return true; }, 1s));
    EXPECT_FALSE(extra);
    loop.RunFor(10ms);
    EXPECT_TRUE(extra);
}

TEST_F(RunLoopTest, ATaskMayRunTheLoopAgain) {
    std::vector<std::string> steps;
    bool innerDone = false;
    bool timerFired = false;
    loop.Post([&] {
        steps.emplace_back("outer begins");
        loop.Post([&] {
            steps.emplace_back("inner task");
            innerDone = true;
        });
        loop.AddTimer(1ms, false, [&] { timerFired = true; });
        EXPECT_TRUE(loop.RunUntil([&] { return innerDone && timerFired; }, 5s));
        steps.emplace_back("outer ends");
    });
    loop.Post([&] { steps.emplace_back("after outer"); });
    EXPECT_TRUE(loop.RunUntil([&] { return steps.size() == 4; }, 5s));
    // The nested run went on with the queue in order, then handed back to the outer task.
    EXPECT_EQ(steps, (std::vector<std::string>{"outer begins", "after outer", "inner task",
                                               "outer ends"}));
}

// A watched signal wakes the waiting loop and reaches its handler, not a signal handler; one that
// comes after the loop last ran still reaches it when the watch ends. An ignored signal stays
// ignored, and the mask is as before once the watch has gone.
TEST_F(RunLoopTest, WatchedSignalsComeToTheLoop) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous {};
    sigaction(SIGUSR2, &ignore, &previous);
    std::vector<int> caught;
    {
        RunLoop::SignalWatch watch =
            loop.WatchSignals({SIGUSR1, SIGUSR2}, [&](int signal) { caught.push_back(signal); });
        std::thread sender([] {
            std::this_thread::sleep_for(50ms);
            kill(getpid(), SIGUSR2); // ignored: dropped
            kill(getpid(), SIGUSR1); // default action would end the test
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(loop.RunUntil([&] { return !caught.empty(); }, 10s));
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        sender.join();
        EXPECT_EQ(caught, std::vector<int>{SIGUSR1});
        kill(getpid(), SIGUSR1);
    }
    EXPECT_EQ(caught, (std::vector<int>{SIGUSR1, SIGUSR1}));
    sigset_t now;
    pthread_sigmask(SIG_BLOCK, nullptr, &now);
    EXPECT_EQ(sigismember(&now, SIGUSR1), 0);
    sigaction(SIGUSR2, &previous, nullptr);
}

TEST_F(RunLoopTest, MainThreadCheck) {
    EXPECT_TRUE(RunLoop::IsMainThread());
    bool elsewhere = true;
    std::thread([&] { elsewhere = RunLoop::IsMainThread(); }).join();
    EXPECT_FALSE(elsewhere);
#ifndef NDEBUG
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto offMain = [] { HVX_ASSERT_MAIN_THREAD(); };
    EXPECT_DEATH(std::thread(offMain).join(), "must run on the main thread");
#endif
}

} // namespace
