#include "swfharvex/ProgressDisplay.h"

#include "webkit/DownloadActivity.h"

namespace {

// Enough lines to follow a page's movies without scrolling the terminal away.
constexpr size_t kMostLines = 20;

} // namespace

void ProgressDisplay::Redraw() {
    Clear();
    std::vector<DownloadActivity::Progress> running = DownloadActivity::Shared().Running();
    const auto now = std::chrono::steady_clock::now();
    for (size_t i = 0; i < running.size() && i < kMostLines; ++i) {
        m_terminal << DownloadActivity::ProgressLine(running[i], now) << '\n';
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
