#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "mirror/DependencyCatch.h"
#include "swfharvex/PageEngineChoice.h"

class HostSession;

// `swfharvex capture`: starts the host browser with the plug-in bundle in place, loads each page
// (so the plug-in catches the movies they embed), waits for every transfer, then prints the
// captured-SWF list.
class CaptureCommand {
public:
    enum ExitStatus { kAllLoaded = 0, kSomeFailed = 1 };
    // The page engine asked for by name cannot run.
    static constexpr int kNoEngine = 3;
    // Another run holds the capture folder; nothing was loaded or emptied.
    static constexpr int kFolderInUse = 4;
    // Every page loaded, but a movie they embed was not caught.
    static constexpr int kSomeNotCaught = 5;
    // The mirror could not be written or copied where --mirror asked.
    static constexpr int kMirrorNotWritten = 6;

    struct Options {
        bool json = false;
        std::vector<std::string> urls;
        std::string bundlePath; // empty: the bundle installed beside the command
        PageEngineChoice engine;
        // What each caught movie loads, caught into the mirror; depth 0 catches nothing.
        DependencyBounds dependencies;
        // Where the mirror is copied once complete; empty: nowhere.
        std::string mirrorCopy;
    };

    explicit CaptureCommand(Options options) : m_options(std::move(options)) {}

    // `progress` gets a live display when it is a terminal (`progressIsTerminal`). Interrupted by
    // SIGINT, SIGTERM or SIGHUP, it cancels the transfers, prints what was caught so far and
    // answers 128 + the signal (InterruptSignals::LastCaught() tells which).
    int Run(std::ostream& out, std::ostream& err, bool progressIsTerminal) const;

private:
    // Runs the session until every page and transfer is done or a stop signal comes (answered).
    static int RunUntilCaught(HostSession& session, std::ostream& err, bool progressIsTerminal);
    // Catches what the listed movies load into the capture folder's mirror and writes its
    // manifest; answers the stop signal that cut it short, or 0.
    int CatchDependencies(HostSession& session, const nlohmann::json& list, std::ostream& err,
                          nlohmann::json& found, bool& written) const;
    // Prints the captured list and names each movie found but not caught; whether none was not.
    // `losses` is the range of DownloadActivity's losses that were this run's movies.
    bool PrintCaught(std::ostream& out, std::ostream& err, std::pair<size_t, size_t> losses,
                     const nlohmann::json& list, nlohmann::json dependencies) const;

    Options m_options;
};
