#include "browser/chromium/ChromiumMoviePlayer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "browser/chromium/PlayerFiles.h"
#include "foundation/URL.h"

extern const char* const kChromiumPlaybackScript; // playback.js, built in

namespace {

// Time for the player to start and ask for its movie (its core is compiled first).
constexpr auto kMostStartTime = std::chrono::seconds(20);

// The address as a request carries it: no fragment, in the parser's one spelling.
std::string RequestForm(const std::string& text) {
    const std::optional<URL> url = URL::URLWithString(text);
    std::string form = url ? url->absoluteString() : text;
    return form.substr(0, form.find('#'));
}

// The page's origin, as the player's requests name it in CORS terms.
std::string PageOrigin() {
    std::string page = ChromiumMoviePlayer::kPage;
    page.pop_back(); // the trailing "/"
    return page;
}

// The caught movie, whole, when it is small enough to hand over.
Outcome<std::string> MovieBytes(const std::filesystem::path& file) {
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(file, error);
    if (error) {
        return Failure{file.string(), error.message()};
    }
    if (size > ChromiumMoviePlayer::kMostMovieBytes) {
        return Failure{file.string(),
                       "too big to play here (over " +
                           std::to_string(ChromiumMoviePlayer::kMostMovieBytes >> 20) + " MiB)"};
    }
    std::ifstream in(file, std::ios::binary);
    std::string bytes(static_cast<size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!in) {
        return Failure{file.string(), "cannot be read"};
    }
    return bytes;
}

} // namespace

ChromiumMoviePlayer::~ChromiumMoviePlayer() {
    *m_alive = false;
    for (const auto& playing : m_playing) {
        if (playing->timer != 0) {
            RunLoop::Main().CancelTimer(playing->timer);
        }
    }
}

void ChromiumMoviePlayer::Play(MoviePlayback playback) {
    m_waiting.push_back(std::move(playback));
    StartWaiting();
}

void ChromiumMoviePlayer::StartWaiting() {
    while (m_playing.size() < kMostPlayingAtOnce && !m_waiting.empty()) {
        m_playing.push_back(std::make_unique<Playing>());
        Playing& playing = *m_playing.back();
        playing.id = ++m_lastId;
        playing.playback = std::move(m_waiting.front());
        m_waiting.pop_front();
        Open(playing);
    }
}

void ChromiumMoviePlayer::Open(Playing& playing) {
    if (!m_connection.connected()) {
        End(playing, Failure{playing.playback.address, "the browser has gone"});
        return;
    }
    // The player gets its whole time to start; a page that never asks for the movie ends here.
    playing.timer = RunLoop::Main().AddTimer(
        std::chrono::duration_cast<std::chrono::milliseconds>(kMostStartTime), false,
        [this, &playing] {
            playing.timer = 0;
            End(playing, Failure{playing.playback.address,
                                 "the player did not start within " +
                                     std::to_string(kMostStartTime.count()) + " s"});
        });
    // The replies may come after the playback has ended: they find it by its id, or close what
    // was made for it.
    const uint64_t id = playing.id;
    const auto reply = [this, id, alive = std::weak_ptr<bool>(m_alive)](
                           const Outcome<Json>& answer,
                           const std::function<void(Playing&, const Json&)>& next) {
        if (alive.expired()) {
            return;
        }
        Playing* const found = Find(id);
        if (found == nullptr) {
            if (answer && answer.value().contains("targetId")) {
                m_connection.Send("Target.closeTarget",
                                  {{"targetId", answer.value().value("targetId", "")}});
            }
            return;
        }
        if (!answer) {
            End(*found, answer.failure());
            return;
        }
        next(*found, answer.value());
    };
    m_connection.Send(
        "Target.createTarget", {{"url", "about:blank"}}, {},
        [this, reply](const Outcome<Json>& created) {
            reply(created, [this, reply](Playing& made, const Json& target) {
                made.targetId = target.value("targetId", "");
                m_connection.Send(
                    "Target.attachToTarget", {{"targetId", made.targetId}, {"flatten", true}}, {},
                    [this, reply](const Outcome<Json>& attached) {
                        reply(attached, [this, reply](Playing& ready, const Json& session) {
                            ready.sessionId = session.value("sessionId", "");
                            Listen(ready);
                            m_connection.Send("Page.navigate", {{"url", kPage}}, ready.sessionId,
                                              [reply](const Outcome<Json>& navigated) {
                                                  reply(navigated, [](Playing&, const Json&) {});
                                              });
                        });
                    });
            });
        });
}

void ChromiumMoviePlayer::Listen(Playing& playing) {
    const uint64_t id = playing.id;
    m_connection.On(playing.sessionId, "Fetch.requestPaused", [this, id](const Json& params) {
        if (Playing* const found = Find(id)) {
            OnPaused(*found, params);
        }
    });
    m_connection.Send("Fetch.enable", {{"patterns", {{{"urlPattern", "*"}}}}}, playing.sessionId);
}

ChromiumMoviePlayer::Playing* ChromiumMoviePlayer::Find(uint64_t id) const {
    const auto found = std::find_if(m_playing.begin(), m_playing.end(),
                                    [id](const auto& playing) { return playing->id == id; });
    return found == m_playing.end() ? nullptr : found->get();
}

void ChromiumMoviePlayer::OnPaused(Playing& playing, const Json& params) {
    const std::string url = params.value("request", Json::object()).value("url", "");
    const std::string requestId = params.value("requestId", "");
    const MoviePlayback& playback = playing.playback;
    const auto answer = [this, &requestId, &playing](Json fulfilment) {
        fulfilment["requestId"] = requestId;
        m_connection.Send("Fetch.fulfillRequest", std::move(fulfilment), playing.sessionId);
    };
    if (url.starts_with(std::string(player_files::kOrigin) + "/")) {
        answer(player_files::Answer(playback.player, url));
        return;
    }
    if (url == kPage) {
        answer(player_files::Fulfilment(200, "text/html; charset=utf-8", PageHTML(playback)));
        return;
    }
    // The page's own origin holds nothing else (the browser asks it for an icon).
    if (url.starts_with(kPage)) {
        answer(player_files::Fulfilment(404, "text/plain", "not found"));
        return;
    }
    if (!playing.started && RequestForm(url) == RequestForm(playback.address)) {
        Outcome<std::string> bytes = MovieBytes(playback.file);
        if (!bytes) {
            m_connection.Send("Fetch.failRequest",
                              {{"requestId", requestId}, {"errorReason", "Aborted"}},
                              playing.sessionId);
            End(playing, bytes.failure());
            return;
        }
        answer(player_files::Fulfilment(200, "application/x-shockwave-flash", bytes.value(),
                                        PageOrigin()));
        // From now on the movie plays its time.
        playing.started = true;
        RunLoop::Main().CancelTimer(playing.timer);
        playing.timer = RunLoop::Main().AddTimer(playback.duration, false, [this, &playing] {
            playing.timer = 0;
            End(playing, {});
        });
        return;
    }
    // What the movie asks for: told, never fetched from here.
    m_connection.Send("Fetch.failRequest",
                      {{"requestId", requestId}, {"errorReason", "BlockedByClient"}},
                      playing.sessionId);
    if (playback.requested) {
        playback.requested(url);
    }
}

std::string ChromiumMoviePlayer::PageHTML(const MoviePlayback& playback) {
    const Json config{{"autoplay", "on"},
                      {"unmuteOverlay", "hidden"},
                      {"splashScreen", false},
                      {"contextMenu", "off"},
                      {"warnOnUnsupportedContent", false},
                      {"letterbox", "off"},
                      // A movie's getURL into a window would take the page away; it is no load.
                      {"openUrlMode", "deny"},
                      {"allowScriptAccess", false},
                      {"upgradeToHttps", false},
                      {"publicPath", std::string(player_files::kOrigin) + "/"}};
    Json movie{{"url", playback.address}};
    if (!playback.base.empty()) {
        movie["base"] = playback.base;
    }
    if (!playback.flashvars.empty()) {
        movie["parameters"] = playback.flashvars;
    }
    // Inline in a script element: no "<" may end it early ("\u003c" is the same string).
    std::string arguments = config.dump(-1, ' ', true, Json::error_handler_t::replace) + ", " +
                            movie.dump(-1, ' ', true, Json::error_handler_t::replace);
    std::string escaped;
    for (const char c : arguments) {
        escaped += c == '<' ? std::string("\\u003c") : std::string(1, c);
    }
    return "<!doctype html><html><head><meta charset=\"utf-8\"><title>SWFHarvex</title></head>"
           "<body style=\"margin:0\"><script>" +
           std::string(kChromiumPlaybackScript) + "(" + escaped + ");</script></body></html>";
}

bool ChromiumMoviePlayer::Crashed(const std::string& targetId, const std::string& why) {
    const auto found =
        std::find_if(m_playing.begin(), m_playing.end(), [&targetId](const auto& playing) {
            return !targetId.empty() && playing->targetId == targetId;
        });
    if (found == m_playing.end()) {
        return false;
    }
    End(**found, Failure{(*found)->playback.address, "the player's renderer ended (" + why + ")"});
    return true;
}

void ChromiumMoviePlayer::Lost(const std::string& why) {
    while (!m_playing.empty()) {
        End(*m_playing.front(), Failure{m_playing.front()->playback.address, why});
    }
    while (!m_waiting.empty()) {
        MoviePlayback playback = std::move(m_waiting.front());
        m_waiting.pop_front();
        playback.ended(Failure{playback.address, why});
    }
}

void ChromiumMoviePlayer::End(Playing& playing, Outcome<> result) {
    if (playing.timer != 0) {
        RunLoop::Main().CancelTimer(playing.timer);
    }
    if (!playing.sessionId.empty()) {
        m_connection.Forget(playing.sessionId);
    }
    if (!playing.targetId.empty() && m_connection.connected()) {
        m_connection.Send("Target.closeTarget", {{"targetId", playing.targetId}});
    }
    MoviePlayback playback = std::move(playing.playback);
    std::erase_if(m_playing, [&playing](const auto& made) { return made.get() == &playing; });
    if (playback.ended) {
        playback.ended(std::move(result));
    }
    StartWaiting();
}
