#include "swfharvex/MirrorKeeper.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "browser/EmbeddedMovies.h"
#include "browser/HostApplication.h"
#include "foundation/RunLoop.h"
#include "runtime/MessageSend.h"
#include "swfharvex/HostSession.h"
#include "webkit/DownloadActivity.h"

namespace {

// The folder the player resolves the movie's relative addresses against, as on its page: the
// object's base, else the page's folder, else the movie's own.
std::string PlayerBase(const CaughtMovie& movie) {
    if (!movie.origin.base.empty()) {
        return movie.origin.base;
    }
    std::string page = movie.origin.page.empty() ? movie.address : movie.origin.page;
    page = page.substr(0, page.find_first_of("?#"));
    return page.substr(0, page.rfind('/') + 1);
}

} // namespace

MoviePlayer ChooseMoviePlayer(HostSession& session, const DependencyBounds& bounds,
                              std::ostream& err) {
    if (bounds.playSeconds <= 0 || bounds.depth <= 0 ||
        !session.host().pageEngine().playsMovies()) {
        return {};
    }
    const std::filesystem::path root = session.playerRoot();
    std::error_code error;
    if (!std::filesystem::is_regular_file(root / "ruffle.js", error)) {
        err << "swfharvex: the movie player is not in " << root.string()
            << " (scripts/run installs it): caught movies are read, not played\n";
        return {};
    }
    return {&session.host().pageEngine(), root};
}

MirrorKeeper::MirrorKeeper(const std::filesystem::path& captureFolder, DependencyBounds bounds,
                           std::function<void(const DependencyCatch&)> finished, MoviePlayer player)
    : m_captureFolder(captureFolder), m_mirror(captureFolder / kMirrorFolder, bounds),
      m_finished(std::move(finished)), m_player(std::move(player)),
      m_playTime(static_cast<int64_t>(bounds.playSeconds * 1000)) {
    // A movie is recorded by its download's last callback: look once those have run.
    m_listener = DownloadActivity::Shared().AddEndListener([this, alive = m_alive] {
        if (m_lookPosted) {
            return;
        }
        m_lookPosted = true;
        RunLoop::Main().Post([this, alive] {
            if (*alive) {
                m_lookPosted = false;
                Look();
            }
        });
    });
}

MirrorKeeper::~MirrorKeeper() {
    *m_alive = false;
    DownloadActivity::Shared().RemoveEndListener(m_listener);
}

void MirrorKeeper::Look() {
    // The plug-in's list, as any host learns it.
    const nlohmann::json list = nlohmann::json::parse(
        objc_msgSend<std::string>(NSClassFromString("HVXPlugIn"), "capturedSWFListJSON"), nullptr,
        false);
    if (!list.is_array()) {
        return;
    }
    const size_t known = m_seen.size();
    for (const nlohmann::json& entry : list) {
        CaughtMovie movie;
        movie.address = entry.value("SWFAddress", "");
        if (!m_seen.insert(movie.address).second) {
            continue;
        }
        movie.file = m_captureFolder / entry.value("SWFName", "");
        movie.origin = embedded_movies::Find(movie.address).value_or(embedded_movies::Origin{});
        MoviePlayback playback;
        playback.address = movie.address;
        playback.file = movie.file;
        playback.base = PlayerBase(movie);
        playback.flashvars = movie.origin.flashvars;
        playback.duration = m_playTime;
        playback.player = m_player.root;
        DependencyCatch& added =
            m_mirror.Add(std::move(movie), [this](const DependencyCatch& done) {
                m_written = m_mirror.WriteManifest();
                if (m_finished) {
                    m_finished(done);
                }
            });
        if (m_player.engine == nullptr) {
            continue;
        }
        // In the same turn as its start: the catch is not done before the playing is.
        added.StartPlaying();
        playback.requested = [&added, alive = m_alive](const std::string& address) {
            if (*alive) {
                added.Played(address);
            }
        };
        playback.ended = [&added, alive = m_alive](const Outcome<>& played) {
            if (*alive) {
                added.PlayEnded(played ? std::string() : played.failure().message());
            }
        };
        m_player.engine->PlayMovie(std::move(playback));
    }
    // A new movie is in the manifest at once, with its page, base and flashvars: a player can
    // start it as on its page while its dependencies come.
    if (m_seen.size() > known) {
        m_written = m_mirror.WriteManifest();
    }
}

bool MirrorKeeper::Fetched(const std::string& address) const {
    return std::any_of(m_mirror.movies().begin(), m_mirror.movies().end(),
                       [&address](const auto& movie) { return movie->Tried(address); });
}

void ReportDependencies(const DependencyCatch& movie, std::ostream& err) {
    for (const Dependency& dependency : movie.dependencies()) {
        if (dependency.status != "caught") {
            err << "swfharvex: " << dependency.address << ": needed by " << movie.movie().address
                << ", not caught: " << dependency.reason << '\n';
        }
    }
    if (!movie.playFailure().empty()) {
        err << "swfharvex: " << movie.movie().address
            << ": not played, only read: " << movie.playFailure() << '\n';
    }
    if (movie.leftOut() > 0) {
        err << "swfharvex: " << movie.movie().address << ": " << movie.leftOut()
            << " more references past the bounds were not followed\n";
    }
}
