#include "RecordingWorkspaceBackend.h"

#include <utility>

Outcome<> RecordingWorkspaceBackend::Record(WorkspaceCall call) {
    Failure refusal{call.arguments.front(), kRefusal};
    m_calls.push_back(std::move(call));
    if (!m_result) {
        return refusal;
    }
    return {};
}

Outcome<> RecordingWorkspaceBackend::OpenURL(const std::string& url) {
    return Record({"openURL", {url}, false});
}

Outcome<> RecordingWorkspaceBackend::OpenFile(const std::string& path, const std::string& appPath,
                                              bool andDeactivate) {
    return Record({"openFile", {path, appPath}, andDeactivate});
}

Outcome<> RecordingWorkspaceBackend::SelectFile(const std::string& path,
                                                const std::string& rootedAtPath) {
    return Record({"selectFile", {path, rootedAtPath}, false});
}
