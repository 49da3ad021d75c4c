#include "swfharvex/ProgressDisplay.h"

#include <cstdio>

#include "foundation/PathString.h"
#include "webkit/DownloadActivity.h"

namespace {

// Enough lines to follow a page's movies without scrolling the terminal away.
constexpr size_t kMostLines = 20;

std::string Bytes(double bytes) {
    const char* units[] = {"B", "kB", "MB", "GB"};
    int unit = 0;
    while (bytes >= 1000 && unit < 3) {
        bytes /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

std::string Line(const DownloadActivity::Progress& progress) {
    std::string name =
        lastPathComponent(progress.destination.empty() ? progress.url : progress.destination);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - progress.started).count();
    std::string percent = "   ?%";
    if (progress.expectedLength > 0) {
        char text[16];
        std::snprintf(text, sizeof text, "%4.0f%%",
                      100.0 * static_cast<double>(progress.received) /
                          static_cast<double>(progress.expectedLength));
        percent = text;
    }
    double rate = seconds > 0 ? static_cast<double>(progress.received) / seconds : 0;
    return name + "  " + Bytes(static_cast<double>(progress.received)) + "  " + percent + "  " +
           Bytes(rate) + "/s";
}

} // namespace

void ProgressDisplay::Redraw() {
    Clear();
    std::vector<DownloadActivity::Progress> running = DownloadActivity::Shared().Running();
    for (size_t i = 0; i < running.size() && i < kMostLines; ++i) {
        m_terminal << Line(running[i]) << '\n';
        ++m_linesShown;
    }
    if (running.size() > kMostLines) {
        m_terminal << "… and " << running.size() - kMostLines << " more\n";
        ++m_linesShown;
    }
    m_terminal.flush();
}

void ProgressDisplay::Clear() {
    for (; m_linesShown > 0; --m_linesShown) {
        m_terminal << "\033[A\033[2K"; // up one line, erase it
    }
    m_terminal.flush();
}
