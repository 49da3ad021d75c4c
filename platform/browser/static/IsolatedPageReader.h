#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browser/static/PluginObject.h"
#include "foundation/Outcome.h"

// What the page loader needs of one document: what HTMLDocument finds in it.
struct PageOutline {
    std::optional<std::string> baseHref;
    std::vector<PluginObject> pluginObjects;
    std::vector<std::string> frameSources;
    std::vector<std::string> links; // <a> and <area> targets
};

// Reads a page with HTMLDocument in a process of its own, with bounded memory and time, so that
// a page the parser chokes on (nesting deep enough to take minutes, or to overflow the stack)
// costs that page and not the run. The reader is a program of its own (`swfharvex-page-reader`,
// beside the command), started fresh rather than forked: a fork of a process with other threads
// may inherit a lock another thread held (an allocator's, under a sanitizer) and hang.
class IsolatedPageReader {
public:
    struct Limits {
        // The page's time limit, for the message; the reader stops at `deadline`.
        std::chrono::milliseconds timeLimit{30'000};
        std::chrono::steady_clock::time_point deadline =
            std::chrono::steady_clock::now() + timeLimit;
        // Memory the reader may map beyond what it shares with this process; with what it shares
        // (the pages it touches count in its resident size), a reader stays under 200 MB.
        size_t extraMemoryBytes = size_t{128} << 20;
    };

    // Each document keeps at most this many plug-in objects and frame sources; more would only be
    // ignored by the page.
    static constexpr size_t kMostPluginObjects = 5000;
    static constexpr size_t kMostFrameSources = 5000;

    // `html` in UTF-8. A failure's `why` says what went wrong (too slow, too big, a crash); the
    // caller names the page.
    static Outcome<PageOutline> Read(std::string_view html, const Limits& limits);

    // The reader program's body: reads the page from `input`, parses it within the limits and
    // writes its outline as JSON to `output`, and ends the process: its parse is never torn down.
    [[noreturn]] static void Serve(int input, int output, size_t memoryBytes,
                                   unsigned long cpuSeconds);

    // Where the reader program is: beside this program, else where the build put it.
    static std::string ProgramPath();
};
