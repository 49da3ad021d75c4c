#include "webkit/RateWindow.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

struct Step {
    enum Kind { Report, Pause, Resume } kind;
    int ms;                // from the first step
    uint64_t received = 0; // reports only
    bool within = true;    // what a report answers
};

struct Case {
    const char* name;
    uint64_t minBytesPerSecond;
    std::vector<Step> steps;
};

// Windows of one second, at the rate each case names; times in milliseconds from the start.
TEST(RateWindowTest, AWindowIsJudgedOnTheServersTimeOnly) {
    using S = Step;
    const std::vector<Case> cases = {
        {"a server at the rate is never given up",
         100,
         {{S::Report, 0, 0}, {S::Report, 500, 60}, {S::Report, 1000, 120}, {S::Report, 2000, 230}}},
        {"under the rate: given up at the first report that finds the window whole",
         100,
         {{S::Report, 0, 0},
          {S::Report, 600, 50},
          {S::Report, 999, 90},
          {S::Report, 1000, 90, false}}},
        {"a pause late in a window does not start a new one",
         100,
         {{S::Report, 0, 0},
          {S::Pause, 900},
          {S::Report, 2950, 1},
          {S::Resume, 3000},
          {S::Report, 3100, 1, false}}},
        {"the time paused does not count against the server",
         100,
         {{S::Report, 0, 0},
          {S::Pause, 100},
          {S::Report, 900, 0},
          {S::Report, 5000, 0},
          {S::Resume, 5000},
          {S::Report, 5500, 0},
          {S::Report, 5900, 0, false}}},
        {"paused before the first report: the window starts at the first report after",
         100,
         {{S::Pause, 0},
          {S::Report, 500, 1},
          {S::Resume, 800},
          {S::Report, 900, 1},
          {S::Report, 1899, 1},
          {S::Report, 1900, 1, false}}},
        {"no rate asked for", 0, {{S::Report, 0, 0}, {S::Report, 100'000, 0}}},
    };
    const RateWindow::Clock::time_point start{};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RateWindow window(c.minBytesPerSecond, 1s);
        for (const Step& step : c.steps) {
            const auto now = start + std::chrono::milliseconds(step.ms);
            switch (step.kind) {
            case Step::Report:
                EXPECT_EQ(window.Within(now, step.received), step.within) << "at " << step.ms;
                break;
            case Step::Pause:
                window.Pause(now);
                break;
            case Step::Resume:
                window.Resume(now);
                break;
            }
        }
    }
}

} // namespace
