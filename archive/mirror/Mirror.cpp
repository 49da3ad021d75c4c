#include "mirror/Mirror.h"

#include <algorithm>

#include "foundation/FileManager.h"
#include "foundation/defaults/AtomicFile.h"

DependencyCatch& Mirror::Add(CaughtMovie movie, std::function<void(const DependencyCatch&)> done) {
    m_movies.push_back(std::make_unique<DependencyCatch>(m_root, std::move(movie), m_bounds));
    DependencyCatch& added = *m_movies.back();
    added.Start([&added, done = std::move(done)] {
        if (done) {
            done(added);
        }
    });
    return added;
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

Outcome<> Mirror::ExportMovie(const DependencyCatch& movie,
                              const std::filesystem::path& folder) const {
    std::vector<std::string> files;
    if (!movie.movieMirrorPath().empty()) {
        files.push_back(movie.movieMirrorPath());
    }
    for (const Dependency& dependency : movie.dependencies()) {
        if (!dependency.mirrorPath.empty()) {
            files.push_back(dependency.mirrorPath);
        }
    }
    return CopyFiles(files, folder);
}

Outcome<> Mirror::ExportTo(const std::filesystem::path& folder) const {
    for (const auto& movie : m_movies) {
        if (Outcome<> copied = ExportMovie(*movie, folder); !copied) {
            return copied;
        }
    }
    return CopyFiles({kManifestName}, folder);
}

Outcome<> Mirror::CopyFiles(const std::vector<std::string>& files,
                            const std::filesystem::path& folder) const {
    for (const std::string& file : files) {
        const std::filesystem::path target = folder / file;
        std::error_code error;
        std::filesystem::create_directories(target.parent_path(), error);
        if (error) {
            return Failure{target.parent_path().string(), error.message()};
        }
        if (Outcome<> copied = FileManager::defaultManager().replaceItemByCopying(
                (m_root / file).string(), target.string());
            !copied) {
            return copied.failure();
        }
    }
    return {};
}
