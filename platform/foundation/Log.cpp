#include "foundation/Log.h"

#include <algorithm>
#include <cerrno>
#include <mutex>

#include <unistd.h>

namespace {

std::mutex& RegistryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<LogCapture*>& Captures() {
    static std::vector<LogCapture*> captures;
    return captures;
}

void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return; // nowhere left to complain to
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

} // namespace

void NSLog(std::string_view line) {
    std::string text(line);
    text.push_back('\n');
    WriteAll(STDERR_FILENO, text);

    const std::lock_guard lock(RegistryMutex());
    for (LogCapture* capture : Captures()) {
        capture->m_lines.emplace_back(line);
    }
}

LogCapture::LogCapture() {
    const std::lock_guard lock(RegistryMutex());
    Captures().push_back(this);
}

LogCapture::~LogCapture() {
    const std::lock_guard lock(RegistryMutex());
    auto& captures = Captures();
    captures.erase(std::remove(captures.begin(), captures.end(), this), captures.end());
}

std::vector<std::string> LogCapture::Lines() const {
    const std::lock_guard lock(RegistryMutex());
    return m_lines;
}
