#include "capture/CaptureRecords.h"

#include <algorithm>

#include "foundation/FileManager.h"
#include "foundation/PathString.h"

std::vector<CapturedSWF> m_arraySWFUrl;
std::string m_downSWFPath;

std::string CaptureFolderInHome(const std::string& home) {
    return stringByAppendingPathComponent(home, "/Documents/SWFHarvexData");
}

void InitialiseCaptureRecords() {
    m_arraySWFUrl.clear();
    m_downSWFPath = CaptureFolderInHome(NSHomeDirectory());
}

bool RecordCapturedSWF(CapturedSWF entry) {
    bool duplicate = std::any_of(
        m_arraySWFUrl.begin(), m_arraySWFUrl.end(), [&entry](const CapturedSWF& existing) {
            return existing.SWFName == entry.SWFName || existing.SWFAddress == entry.SWFAddress;
        });
    if (!duplicate) {
        m_arraySWFUrl.push_back(std::move(entry));
    }
    return !duplicate;
}

std::string CapturedSWFPath(const std::string& name) {
    return m_downSWFPath + "/" + name;
}

std::string CapturedFileName(const std::string& url) {
    if (pathExtension(url) == "swf") {
        return lastPathComponent(url);
    }
    size_t marker = url.find(".swf?");
    if (marker == std::string::npos) {
        return {};
    }
    return lastPathComponent(url.substr(0, marker) + ".swf");
}
