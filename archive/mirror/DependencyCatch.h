#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "browser/EmbeddedMovies.h"
#include "foundation/URL.h"
#include "webkit/WebDownload.h"
#include "webkit/WebDownloadDelegate.h"

// How far one movie's dependencies are followed.
struct DependencyBounds {
    int depth = 3; // loads deep: 1 takes what the movie names, 2 what those name too; 0 nothing
    size_t mostFiles = 500;
    uint64_t mostBytes = uint64_t{512} << 20;
    // How long each movie is watched playing for what it asks for (where the page engine plays
    // movies); 0: it is only read.
    double playSeconds = 5;
};

// One file a movie needs, or a reference that could not become one.
struct Dependency {
    std::string address;     // as fetched; the first address tried when none could be
    std::string requestedAs; // the address the player asks for, when it is not `address`
    std::string mirrorPath;  // relative to the mirror's root; "" when not caught
    uint64_t size = 0;
    std::string foundBy = "read";
    std::string status; // "caught", "failed" or "refused"
    std::string reason; // why not; "" when caught
};

// A caught movie and where it was found.
struct CaughtMovie {
    std::string address;
    std::filesystem::path file; // its copy in the capture folder
    embedded_movies::Origin origin;
};

// Catches what one caught movie loads, by reading it: the addresses its bytecode and imports name,
// resolved as the player resolves them (against the object's base, else the page; where that
// fetch fails, against the folder of the file that names it, then the movie's own folder), fetched
// through the transfer service into the mirror laid out by address (MirrorPath), and read in turn
// when they are movies or text (XML, variables) down to `depth`. A failed or refused reference is
// recorded, never fatal. An address on this machine or a private network is fetched only from
// where the movie, its page or its base is: a movie cannot make the host reach the services
// beside it. Main thread; the downloads' callbacks arrive on the main run loop.
class DependencyCatch : public WebDownloadDelegate {
public:
    DependencyCatch(std::filesystem::path mirror, CaughtMovie movie, DependencyBounds bounds);
    ~DependencyCatch() override;
    DependencyCatch(const DependencyCatch&) = delete;
    DependencyCatch& operator=(const DependencyCatch&) = delete;
    DependencyCatch(DependencyCatch&&) = delete;
    DependencyCatch& operator=(DependencyCatch&&) = delete;

    // Copies the movie into the mirror and starts on what it names; `done` runs once, from the
    // run loop, when nothing is left to fetch and the movie no longer plays.
    void Start(std::function<void()> done);
    bool finished() const { return m_finished; }

    // Watching the movie play (in the same turn as Start, or before it): each address the player
    // asks for (Played) is a dependency too, found by "played", fetched as those read are.
    // PlayEnded says how the playing went ("" when it played its time).
    void StartPlaying();
    void Played(const std::string& address);
    void PlayEnded(std::string failure);
    // Why the movie could not be played; "" when it was, or was not asked to.
    const std::string& playFailure() const { return m_playFailure; }

    const CaughtMovie& movie() const { return m_movie; }
    // The movie's own place in the mirror; "" when it could not be put there (m_movieFailure).
    const std::string& movieMirrorPath() const { return m_movieMirrorPath; }
    const std::vector<Dependency>& dependencies() const { return m_dependencies; }
    // Whether a transfer of `address` was started for this movie (caught or not).
    bool Tried(const std::string& address) const { return m_tried.contains(address); }
    // References past mostFiles, counted only.
    size_t leftOut() const { return m_leftOut; }
    // The manifest's entry for this movie.
    nlohmann::json ManifestEntry() const;

    void downloadDecideDestinationWithSuggestedFilename(WebDownload& download,
                                                        const std::string& filename) override;
    void downloadDidReceiveDataOfLength(WebDownload& download, uint64_t length) override;
    void downloadDidFinish(WebDownload& download) override;
    void downloadDidFailWithError(WebDownload& download, const NSError& error) override;

private:
    // A reference on its way: the addresses it may mean, in the order they are tried.
    struct Wanted {
        std::vector<URL> candidates;
        size_t tried = 0;
        int depth = 1;
        std::string lastReason;
        bool transferred = false; // a transfer was started for one of its addresses
        std::string foundBy = "read";
    };
    struct Running {
        Wanted wanted;
        std::unique_ptr<WebDownload> download;
        std::string mirrorPath;
        uint64_t bytes = 0;
    };

    void Read(const std::filesystem::path& file, const URL& address, int depth);
    void Want(const std::string& text, const URL& namedBy, int depth);
    // Takes on a reference unless one of its addresses is already had, or the file bound is met.
    void Queue(Wanted wanted);
    bool busy() const { return m_playing || !m_running.empty() || !m_queue.empty(); }
    void Pump();
    void StartNext(Wanted wanted);
    void Ended(WebDownload& download, std::optional<std::string> failure);
    void Record(Dependency dependency);
    void FinishWhenIdle();

    std::filesystem::path m_mirror;
    CaughtMovie m_movie;
    DependencyBounds m_bounds;
    std::function<void()> m_done;
    std::string m_movieMirrorPath;
    std::string m_movieFailure;
    std::set<std::string> m_seen;
    std::set<std::string> m_tried;
    std::set<std::string> m_localOrigins;
    std::deque<Wanted> m_queue;
    std::map<const WebDownload*, Running> m_running;
    std::vector<std::unique_ptr<WebDownload>> m_ended; // dropped outside their callbacks
    std::vector<Dependency> m_dependencies;
    size_t m_files = 0;
    uint64_t m_bytes = 0;
    size_t m_leftOut = 0;
    bool m_playing = false;
    std::string m_playFailure;
    bool m_finished = false;
    bool m_finishPosted = false;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
