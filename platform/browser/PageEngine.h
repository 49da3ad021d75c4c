#pragma once

#include <memory>
#include <string>

#include "browser/HostPage.h"
#include "browser/MoviePlayback.h"

// What reads the host's pages: it makes pages, each loads one address and reports the plug-in
// objects it finds. The host knows engines only through this; PageEngines.h makes them.
class PageEngine {
public:
    PageEngine() = default;
    virtual ~PageEngine() = default;
    PageEngine(const PageEngine&) = delete;
    PageEngine& operator=(const PageEngine&) = delete;
    PageEngine(PageEngine&&) = delete;
    PageEngine& operator=(PageEngine&&) = delete;

    // A page of this engine; it must go before the engine does.
    virtual std::unique_ptr<HostPage> NewPage() = 0;
    // The engine as a person is told about it: "static (the pages' scripts do not run)".
    virtual std::string description() const = 0;
    // Whether a done page goes on watching for objects its scripts insert (and holds what that
    // costs until it is stopped).
    virtual bool watchesDonePages() const { return false; }

    // Whether PlayMovie plays: an engine with a browser to run the player in.
    virtual bool playsMovies() const { return false; }
    // Plays a caught movie and tells what it asks for; one that does not play ends at once.
    virtual void PlayMovie(MoviePlayback playback) {
        playback.ended(Failure{playback.address, "this page engine runs no player"});
    }
};
