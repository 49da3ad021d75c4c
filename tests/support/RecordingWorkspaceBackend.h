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

// A backend for tests: starts nothing, records every request in order and answers done, or
// when told to fail, a Failure naming the request's first argument.
class RecordingWorkspaceBackend : public WorkspaceBackend {
public:
    static constexpr const char* kRefusal = "refused by the test";

    explicit RecordingWorkspaceBackend(bool result = true) : m_result(result) {}

    Outcome<> OpenURL(const std::string& url) override;
    Outcome<> OpenFile(const std::string& path, const std::string& appPath,
                       bool andDeactivate) override;
    Outcome<> SelectFile(const std::string& path, const std::string& rootedAtPath) override;

    const std::vector<WorkspaceCall>& calls() const { return m_calls; }
    void setResult(bool result) { m_result = result; }

private:
    Outcome<> Record(WorkspaceCall call);

    std::vector<WorkspaceCall> m_calls;
    bool m_result;
};
