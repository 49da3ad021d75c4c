#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>

#include "foundation/Outcome.h"
#include "mirror/Mirror.h"

class HostSession;
class PageEngine;

// What plays the caught movies, to watch what they ask for; without an engine they are only read.
struct MoviePlayer {
    PageEngine* engine = nullptr;
    std::filesystem::path root; // the player's folder (Ruffle)
};

// The session's engine, when it plays movies, the player is installed and `bounds` asks for
// playing; says on `err` why movies are only read when playing was asked for and cannot be.
MoviePlayer ChooseMoviePlayer(HostSession& session, const DependencyBounds& bounds,
                              std::ostream& err);

// Keeps the capture folder's mirror while the host runs: each movie that appears in the
// captured list has what it loads caught as soon as it is caught itself, and the manifest is
// rewritten when movies are taken on and each time one's dependencies are done. With a player,
// each movie is also played for a while, and what it asks for is caught too. `capture` waits
// for it to be idle; the desktop keeps it for as long as it runs, so that a movie caught there
// plays from the mirror.
class MirrorKeeper {
public:
    static constexpr const char* kMirrorFolder = ".mirror";

    // `finished` hears of each movie whose dependencies are done (after the manifest is written).
    MirrorKeeper(const std::filesystem::path& captureFolder, DependencyBounds bounds,
                 std::function<void(const DependencyCatch&)> finished = {},
                 MoviePlayer player = {});
    ~MirrorKeeper();
    MirrorKeeper(const MirrorKeeper&) = delete;
    MirrorKeeper& operator=(const MirrorKeeper&) = delete;
    MirrorKeeper(MirrorKeeper&&) = delete;
    MirrorKeeper& operator=(MirrorKeeper&&) = delete;

    // Takes on the movies of the captured list it has not seen. It looks by itself after each
    // transfer's end; a caller about to judge idle() looks first.
    void Look();
    // Every movie seen has its dependencies done.
    bool idle() const { return m_mirror.finished(); }
    // Whether `address` is a movie of the captured list taken on.
    bool Knows(const std::string& address) const { return m_seen.contains(address); }
    // Whether the mirror fetched (or tried) `address` as a movie's dependency.
    bool Fetched(const std::string& address) const;
    // How the last manifest write went (ok before the first).
    const Outcome<>& written() const { return m_written; }
    const Mirror& mirror() const { return m_mirror; }

private:
    std::filesystem::path m_captureFolder;
    Mirror m_mirror;
    std::function<void(const DependencyCatch&)> m_finished;
    MoviePlayer m_player;
    std::chrono::milliseconds m_playTime;
    std::set<std::string> m_seen;
    Outcome<> m_written;
    uint64_t m_listener = 0;
    bool m_lookPosted = false;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

// Names each dependency of `movie` that was not caught, and what lay past the bounds, as
// "swfharvex: ADDRESS: needed by MOVIE, not caught: REASON".
void ReportDependencies(const DependencyCatch& movie, std::ostream& err);
