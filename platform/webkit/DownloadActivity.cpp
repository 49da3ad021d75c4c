#include "webkit/DownloadActivity.h"

#include <cstdio>

#include "foundation/PathString.h"
#include "foundation/RunLoop.h"

std::string DownloadActivity::BytesText(double bytes) {
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

std::string DownloadActivity::ProgressLine(const Progress& progress,
                                           std::chrono::steady_clock::time_point now) {
    std::string name =
        lastPathComponent(progress.destination.empty() ? progress.url : progress.destination);
    const double seconds = std::chrono::duration<double>(now - progress.started).count();
    std::string percent = "   ?%";
    if (progress.expectedLength > 0) {
        char text[16];
        std::snprintf(text, sizeof text, "%4.0f%%",
                      100.0 * static_cast<double>(progress.received) /
                          static_cast<double>(progress.expectedLength));
        percent = text;
    }
    const double rate = seconds > 0 ? static_cast<double>(progress.received) / seconds : 0;
    return name + "  " + BytesText(static_cast<double>(progress.received)) + "  " + percent + "  " +
           BytesText(rate) + "/s";
}

DownloadActivity& DownloadActivity::Shared() {
    static DownloadActivity activity;
    return activity;
}

std::vector<DownloadActivity::Progress> DownloadActivity::Running() const {
    HVX_ASSERT_MAIN_THREAD();
    std::vector<Progress> running;
    for (const auto& [id, progress] : m_running) {
        running.push_back(progress);
    }
    return running;
}

void DownloadActivity::Began(uint64_t id, std::string url) {
    HVX_ASSERT_MAIN_THREAD();
    Progress progress;
    m_stateByURL[url] = TransferState::Running;
    progress.url = std::move(url);
    progress.started = std::chrono::steady_clock::now();
    m_running.emplace(id, std::move(progress));
}

void DownloadActivity::Responded(uint64_t id, int64_t expectedLength) {
    if (auto found = m_running.find(id); found != m_running.end()) {
        found->second.expectedLength = expectedLength;
    }
}

void DownloadActivity::Destined(uint64_t id, std::string destination) {
    if (auto found = m_running.find(id); found != m_running.end()) {
        found->second.destination = std::move(destination);
    }
}

void DownloadActivity::Received(uint64_t id, uint64_t length) {
    m_bytesReceived += length;
    if (auto found = m_running.find(id); found != m_running.end()) {
        found->second.received += length;
    }
}

void DownloadActivity::Ended(uint64_t id, bool finished, std::string reason, bool local) {
    HVX_ASSERT_MAIN_THREAD();
    auto found = m_running.find(id);
    if (found == m_running.end()) {
        return;
    }
    m_stateByURL[found->second.url] = finished ? TransferState::Finished : TransferState::Failed;
    if (!finished) {
        m_losses.push_back(
            {found->second.url, reason.empty() ? "cancelled" : std::move(reason), local});
    }
    m_running.erase(found);
    ++(finished ? m_finished : m_failed);
    // A listener may remove itself (or another) while it runs.
    for (auto listeners = m_endListeners; const auto& [listenerId, listener] : listeners) {
        if (m_endListeners.contains(listenerId)) {
            listener();
        }
    }
}

void DownloadActivity::Refused(std::string url, std::string reason) {
    HVX_ASSERT_MAIN_THREAD();
    m_stateByURL[url] = TransferState::Failed;
    m_losses.push_back({std::move(url), std::move(reason)});
}

uint64_t DownloadActivity::AddEndListener(std::function<void()> listener) {
    HVX_ASSERT_MAIN_THREAD();
    const uint64_t listenerId = m_nextListener++;
    m_endListeners.emplace(listenerId, std::move(listener));
    return listenerId;
}

void DownloadActivity::RemoveEndListener(uint64_t listenerId) {
    HVX_ASSERT_MAIN_THREAD();
    m_endListeners.erase(listenerId);
}

std::optional<DownloadActivity::TransferState>
DownloadActivity::StateOf(const std::string& url) const {
    auto found = m_stateByURL.find(url);
    return found == m_stateByURL.end() ? std::nullopt : std::optional(found->second);
}
