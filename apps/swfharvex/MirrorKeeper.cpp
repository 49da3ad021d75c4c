#include "swfharvex/MirrorKeeper.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "browser/EmbeddedMovies.h"
#include "foundation/RunLoop.h"
#include "runtime/MessageSend.h"
#include "webkit/DownloadActivity.h"

MirrorKeeper::MirrorKeeper(const std::filesystem::path& captureFolder, DependencyBounds bounds,
                           std::function<void(const DependencyCatch&)> finished)
    : m_captureFolder(captureFolder), m_mirror(captureFolder / kMirrorFolder, bounds),
      m_finished(std::move(finished)) {
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
    for (const nlohmann::json& entry : list) {
        CaughtMovie movie;
        movie.address = entry.value("SWFAddress", "");
        if (!m_seen.insert(movie.address).second) {
            continue;
        }
        movie.file = m_captureFolder / entry.value("SWFName", "");
        movie.origin = embedded_movies::Find(movie.address).value_or(embedded_movies::Origin{});
        m_mirror.Add(std::move(movie), [this](const DependencyCatch& done) {
            m_written = m_mirror.WriteManifest();
            if (m_finished) {
                m_finished(done);
            }
        });
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
    if (movie.leftOut() > 0) {
        err << "swfharvex: " << movie.movie().address << ": " << movie.leftOut()
            << " more references past the bounds were not followed\n";
    }
}
