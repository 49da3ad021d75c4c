#pragma once

#include <string>

#include "appkit/WorkspaceBackend.h"

// The workspace on a Linux desktop. URLs, files without an application, and folders to reveal
// go to the desktop's opener (xdg-open, found on PATH when the request comes); a file with an
// application starts the application's program (see ExecutableForApplication) with the file's
// absolute path as its one argument. Everything starts detached and without a shell.
//
// Revealing a file asks the freedesktop file manager to show it selected (its ShowItems request
// on the session bus, sent with dbus-send) when dbus-send is on PATH and a session bus is
// known; otherwise the opener opens the folder that holds the file. `andDeactivate` has no
// counterpart: raising the new window is the window manager's business, and the flag is ignored.
class XdgWorkspaceBackend : public WorkspaceBackend {
public:
    // Program names looked up on PATH, or paths (tests use programs of their own).
    explicit XdgWorkspaceBackend(std::string opener = "xdg-open",
                                 std::string busSender = "dbus-send");

    Outcome<> OpenURL(const std::string& url) override;
    Outcome<> OpenFile(const std::string& path, const std::string& appPath,
                       bool andDeactivate) override;
    Outcome<> SelectFile(const std::string& path, const std::string& rootedAtPath) override;

private:
    Outcome<> Open(const std::string& argument) const;
    // Fails without starting anything when there is no bus or no sender.
    Outcome<> ShowSelected(const std::string& file) const;

    std::string m_opener;
    std::string m_busSender;
};
