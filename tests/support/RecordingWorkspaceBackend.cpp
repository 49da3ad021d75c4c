#include "RecordingWorkspaceBackend.h"

bool RecordingWorkspaceBackend::OpenURL(const std::string& url) {
    m_calls.push_back({"openURL", {url}, false});
    return m_result;
}

bool RecordingWorkspaceBackend::OpenFile(const std::string& path, const std::string& appPath,
                                         bool andDeactivate) {
    m_calls.push_back({"openFile", {path, appPath}, andDeactivate});
    return m_result;
}

bool RecordingWorkspaceBackend::SelectFile(const std::string& path,
                                           const std::string& rootedAtPath) {
    m_calls.push_back({"selectFile", {path, rootedAtPath}, false});
    return m_result;
}
