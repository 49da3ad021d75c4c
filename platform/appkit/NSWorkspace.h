#pragma once

#include <memory>
#include <string>

#include "appkit/WorkspaceBackend.h"

// Opens URLs and files and reveals files, through a replaceable backend (the Linux desktop by
// default; tests install a recording one). Arguments are checked here, so a backend never
// sees an empty path or text that is not an absolute URL. Each request answers what was
// refused and why: a file or application that is missing, an application with no program to
// start, no opener on PATH, a program that could not start.
class NSWorkspace {
public:
    static NSWorkspace& sharedWorkspace();

    NSWorkspace(const NSWorkspace&) = delete;
    NSWorkspace& operator=(const NSWorkspace&) = delete;
    NSWorkspace(NSWorkspace&&) = delete;
    NSWorkspace& operator=(NSWorkspace&&) = delete;

    // `url` must start with a scheme ("https:", "mailto:", "file:") and hold no spaces or
    // control characters.
    Outcome<> openURL(const std::string& url);
    // openFile:withApplication:andDeactivate:. An empty application path means the default
    // application for the file.
    Outcome<> openFile(const std::string& path, const std::string& appPath, bool andDeactivate);
    // selectFile:inFileViewerRootedAtPath:. One of the two must be given.
    Outcome<> selectFile(const std::string& path, const std::string& rootedAtPath);

    // Installs a backend and answers the previous one (null restores the default).
    std::unique_ptr<WorkspaceBackend> setBackend(std::unique_ptr<WorkspaceBackend> backend);

private:
    NSWorkspace();
    ~NSWorkspace() = default;

    std::unique_ptr<WorkspaceBackend> m_backend;
};
