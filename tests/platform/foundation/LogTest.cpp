#include "foundation/Log.h"

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(LogTest, CapturesSeeExactLinesWhileAlive) {
    NSLog("before any capture");
    LogCapture outer;
    NSLog("Save User Preference data error!");
    {
        LogCapture inner;
        NSLog("JavaScript Log: hello");
        EXPECT_EQ(inner.Lines(), std::vector<std::string>{"JavaScript Log: hello"});
    }
    NSLog("");
    EXPECT_EQ(outer.Lines(), (std::vector<std::string>{"Save User Preference data error!",
                                                       "JavaScript Log: hello", ""}));
}

TEST(LogTest, LinesFromManyThreadsArriveWhole) {
    LogCapture capture;
    std::vector<std::thread> threads;
    threads.reserve(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                NSLog(std::string("thread ") + std::to_string(t) + " line " + std::to_string(i));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 800U);
    for (const auto& line : lines) {
        EXPECT_EQ(line.rfind("thread ", 0), 0U) << line;
    }
}

} // namespace
