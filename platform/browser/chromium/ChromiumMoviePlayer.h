#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "browser/MoviePlayback.h"
#include "browser/chromium/DevToolsConnection.h"
#include "foundation/RunLoop.h"

// Plays caught movies in the engine's browser, a tab each and a few at a time, to learn what they
// ask for. Every request of such a tab is paused: the player's files, its page and the movie's
// own bytes are answered by the host; anything else the movie asks for is told to the playback's
// `requested` and refused, so that a movie reaches nothing from here (the host fetches what it
// names itself, within its bounds). Main thread only.
class ChromiumMoviePlayer {
public:
    // Most of a playing movie's time is waiting for what it asks for: eight at a time took 35 s
    // for twenty movies on two cores, four 41 s. Each holds a renderer (about 100 MiB).
    static constexpr size_t kMostPlayingAtOnce = 8;
    // The page the movie plays in. Not https: from there the player could not ask for an http
    // address at all (mixed content is refused before any request is made).
    static constexpr const char* kPage = "http://swfharvex-player.invalid/";
    // Bytes handed to the player through the browser's pipe, base64-encoded, at most.
    static constexpr size_t kMostMovieBytes = size_t{64} << 20;

    explicit ChromiumMoviePlayer(DevToolsConnection& connection) : m_connection(connection) {}
    // Ends nothing it has told: the browser goes with the engine.
    ~ChromiumMoviePlayer();
    ChromiumMoviePlayer(const ChromiumMoviePlayer&) = delete;
    ChromiumMoviePlayer& operator=(const ChromiumMoviePlayer&) = delete;
    ChromiumMoviePlayer(ChromiumMoviePlayer&&) = delete;
    ChromiumMoviePlayer& operator=(ChromiumMoviePlayer&&) = delete;

    void Play(MoviePlayback playback);
    // A renderer has ended: true when it played one of ours (that playback ends, naming why).
    bool Crashed(const std::string& targetId, const std::string& why);
    // The browser has gone: every playback ends, naming why.
    void Lost(const std::string& why);

private:
    using Json = DevToolsConnection::Json;
    struct Playing {
        uint64_t id = 0;
        MoviePlayback playback;
        std::string targetId;
        std::string sessionId;
        RunLoop::TimerId timer = 0;
        bool started = false; // the player has its movie
    };

    void StartWaiting();
    void Open(Playing& playing);
    // Every request of the playing page comes to OnPaused.
    void Listen(Playing& playing);
    Playing* Find(uint64_t id) const;
    void OnPaused(Playing& playing, const Json& params);
    // The page's own document: the player's options and the movie's, inline.
    static std::string PageHTML(const MoviePlayback& playback);
    void End(Playing& playing, Outcome<> result);

    DevToolsConnection& m_connection;
    std::deque<MoviePlayback> m_waiting;
    std::vector<std::unique_ptr<Playing>> m_playing;
    uint64_t m_lastId = 0;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
