#include "mirror/Mirror.h"

#include <algorithm>

#include "foundation/defaults/AtomicFile.h"

void Mirror::Add(CaughtMovie movie) {
    m_movies.push_back(std::make_unique<DependencyCatch>(m_root, std::move(movie), m_bounds));
    m_movies.back()->Start({});
}

bool Mirror::finished() const {
    return std::all_of(m_movies.begin(), m_movies.end(),
                       [](const auto& movie) { return movie->finished(); });
}

Outcome<> Mirror::WriteManifest() const {
    nlohmann::json movies = nlohmann::json::array();
    for (const auto& movie : m_movies) {
        movies.push_back(movie->ManifestEntry());
    }
    // Addresses and flashvars are bytes from pages and movies: one that is not UTF-8 must not
    // stop the manifest.
    return AtomicFile::Write((m_root / kManifestName).string(),
                             nlohmann::json{{"movies", std::move(movies)}}.dump(
                                 2, ' ', false, nlohmann::json::error_handler_t::replace) +
                                 "\n");
}
