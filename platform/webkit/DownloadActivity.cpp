#include "webkit/DownloadActivity.h"

#include "foundation/RunLoop.h"

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
    if (auto found = m_running.find(id); found != m_running.end()) {
        found->second.received += length;
    }
}

void DownloadActivity::Ended(uint64_t id, bool finished) {
    HVX_ASSERT_MAIN_THREAD();
    if (m_running.erase(id) == 1) {
        ++(finished ? m_finished : m_failed);
    }
}
