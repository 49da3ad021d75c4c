#include "RefusalLog.h"

#include "foundation/Log.h"

void RefusalLog::Refused(int status, const std::string& reason, const std::string& path) {
    std::string line;
    {
        std::lock_guard lock(m_mutex);
        if (m_full || !m_logged.emplace(reason, path).second) {
            return;
        }
        line = "SWFHarvex desktop: refused " + path + " (" + std::to_string(status) + ", " +
               reason + ")";
        if (m_logged.size() >= kMostRemembered) {
            m_full = true;
            line += "; further refusals are not logged";
        }
    }
    NSLog(line);
}
