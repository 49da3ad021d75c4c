#pragma once

#include <string>

#include "foundation/Outcome.h"

// What the workspace asks of the desktop it runs on. NSWorkspace checks the arguments first;
// a backend answers whether it could hand the request on (and if not, what it refused and
// why), not whether the user saw anything.
class WorkspaceBackend {
public:
    virtual ~WorkspaceBackend() = default;

    virtual Outcome<> OpenURL(const std::string& url) = 0;
    // An empty application path means the desktop's default application for the file.
    virtual Outcome<> OpenFile(const std::string& path, const std::string& appPath,
                               bool andDeactivate) = 0;
    // Shows the file in a file viewer; with an empty path, the root folder itself.
    virtual Outcome<> SelectFile(const std::string& path, const std::string& rootedAtPath) = 0;

protected:
    WorkspaceBackend() = default;
    WorkspaceBackend(const WorkspaceBackend&) = default;
    WorkspaceBackend& operator=(const WorkspaceBackend&) = default;
};
