#pragma once

#include <string>
#include <vector>

#include "appkit/WorkspaceBackend.h"

// One request that reached the recording backend.
struct WorkspaceCall {
    std::string kind; // "openURL", "openFile" or "selectFile"
    std::vector<std::string> arguments;
    bool andDeactivate = false; // openFile only

    bool operator==(const WorkspaceCall&) const = default;
};

// A backend for tests: starts nothing, records every request in order and answers `result`.
class RecordingWorkspaceBackend : public WorkspaceBackend {
public:
    explicit RecordingWorkspaceBackend(bool result = true) : m_result(result) {}

    bool OpenURL(const std::string& url) override;
    bool OpenFile(const std::string& path, const std::string& appPath, bool andDeactivate) override;
    bool SelectFile(const std::string& path, const std::string& rootedAtPath) override;

    const std::vector<WorkspaceCall>& calls() const { return m_calls; }
    void setResult(bool result) { m_result = result; }

private:
    std::vector<WorkspaceCall> m_calls;
    bool m_result;
};
