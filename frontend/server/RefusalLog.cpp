#include "RefusalLog.h"

#include "foundation/Log.h"

namespace {

// Paths arrive percent-decoded: a line end in one must not forge a line of its own.
std::string Printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return text;
}

} // namespace

void RefusalLog::Refused(int status, const std::string& reason, const std::string& path) {
    std::string line;
    {
        std::lock_guard lock(m_mutex);
        if (m_full || !m_logged.emplace(reason, path).second) {
            return;
        }
        line = "SWFHarvex desktop: refused " + Printable(path) + " (" + std::to_string(status) +
               ", " + Printable(reason) + ")";
        if (m_logged.size() >= kMostRemembered) {
            m_full = true;
            line += "; further refusals are not logged";
        }
    }
    NSLog(line);
}
