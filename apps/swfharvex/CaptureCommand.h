#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "mirror/DependencyCatch.h"
#include "swfharvex/PageEngineChoice.h"

class HostSession;
class MirrorKeeper;

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
    // Runs the session until every page, transfer and movie's dependencies are done or a stop
    // signal comes (answered).
    static int RunUntilCaught(HostSession& session, MirrorKeeper* mirror, std::ostream& err,
                              bool progressIsTerminal);
    // The manifest, and its copy where --mirror asked; whether both were written.
    bool WriteMirror(const MirrorKeeper& mirror, std::ostream& err) const;
    // Prints the captured list (and with --json what each movie loads) and names each movie
    // found but not caught since loss `firstLoss`; whether none was not.
    bool PrintCaught(std::ostream& out, std::ostream& err, size_t firstLoss,
                     const MirrorKeeper* mirror) const;

    Options m_options;
};
