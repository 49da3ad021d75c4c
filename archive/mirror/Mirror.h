#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Outcome.h"
#include "mirror/DependencyCatch.h"

// The mirror of one capture: each caught movie and what it loads, laid out by address under
// `root`, and the manifest (root/manifest.json) that says which file is which.
class Mirror {
public:
    static constexpr const char* kManifestName = "manifest.json";

    Mirror(std::filesystem::path root, DependencyBounds bounds)
        : m_root(std::move(root)), m_bounds(bounds) {}

    // Starts on a movie at once; `done` runs (from the run loop) once its dependencies are.
    DependencyCatch& Add(CaughtMovie movie, std::function<void(const DependencyCatch&)> done = {});
    bool finished() const;
    const std::vector<std::unique_ptr<DependencyCatch>>& movies() const { return m_movies; }

    // {"movies": [entry per movie, in the order added]}, replacing the last one whole.
    Outcome<> WriteManifest() const;
    const std::filesystem::path& root() const { return m_root; }
    // Copies every file the manifest names, and the manifest, into `folder` in the same layout
    // (a rescue to keep or hand over); files already there are replaced. Stops at the first
    // file that cannot be copied, naming it.
    Outcome<> ExportTo(const std::filesystem::path& folder) const;
    // The same for one movie's files (not the manifest).
    Outcome<> ExportMovie(const DependencyCatch& movie, const std::filesystem::path& folder) const;

private:
    Outcome<> CopyFiles(const std::vector<std::string>& files,
                        const std::filesystem::path& folder) const;

    std::filesystem::path m_root;
    DependencyBounds m_bounds;
    std::vector<std::unique_ptr<DependencyCatch>> m_movies;
};
