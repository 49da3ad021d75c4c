#pragma once

#include <string>

#include "appkit/WorkspaceBackend.h"

// The workspace on a Linux desktop. URLs, files without an application, and folders to reveal
// go to the desktop's opener (xdg-open, found on PATH when the request comes); a file with an
// application starts the application's program (see ExecutableForApplication) with the file's
// absolute path as its one argument. Everything starts detached and without a shell.
//
// Linux has no portable "select this file" request, so revealing opens the folder that holds
// the file. `andDeactivate` has no counterpart either: raising the new window is the window
// manager's business, and the flag is ignored.
class XdgWorkspaceBackend : public WorkspaceBackend {
public:
    // `opener` is a program name looked up on PATH, or a path (tests use a program of their own).
    explicit XdgWorkspaceBackend(std::string opener = "xdg-open");

    bool OpenURL(const std::string& url) override;
    bool OpenFile(const std::string& path, const std::string& appPath, bool andDeactivate) override;
    bool SelectFile(const std::string& path, const std::string& rootedAtPath) override;

private:
    bool Open(const std::string& argument) const;

    std::string m_opener;
};
