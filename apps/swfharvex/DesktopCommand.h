#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "foundation/Outcome.h"
#include "swfharvex/PageEngineChoice.h"

class DesktopPresenter;
class DesktopServer;
class HostSession;

// `swfharvex` with no command: the host with the plug-in, presented in the user's own browser
// through the desktop server until SIGINT or SIGTERM.
class DesktopCommand {
public:
    // kFolderInUse: another run holds the capture folder (as for capture).
    enum ExitStatus { kStopped = 0, kFailed = 1, kFolderInUse = 4 };
    static constexpr int kDefaultPort = 8765;
    // Ports tried after a taken default one, as notebook servers do.
    static constexpr int kMorePorts = 20;

    struct Options {
        int port = kDefaultPort;
        bool portGiven = false; // an explicit port is that port or nothing
        bool noOpen = false;
        std::string bundlePath; // empty: the bundle installed beside the command
        std::string webRoot;    // empty: the renderer installed beside the command
        std::string playerRoot; // empty: the player installed beside the command
        std::vector<std::string> urls;
        PageEngineChoice engine;
    };

    explicit DesktopCommand(Options options) : m_options(std::move(options)) {}

    // Prints the desktop's address as one line on `out`, then serves until stopped.
    int Run(std::ostream& out, std::ostream& err) const;

private:
    // The desktop server for this session's host, serving until stopped.
    Outcome<std::unique_ptr<DesktopServer>>
    StartServer(const HostSession& session,
                const std::shared_ptr<DesktopPresenter>& presenter) const;

    Options m_options;
};
