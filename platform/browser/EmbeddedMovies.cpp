#include "browser/EmbeddedMovies.h"

#include <map>

#include "foundation/RunLoop.h"

namespace embedded_movies {
namespace {

// Bounded as the objects are: a page holds at most HostPage::kMostPluginObjects.
std::map<std::string, Origin>& Origins() {
    static std::map<std::string, Origin> origins;
    return origins;
}

} // namespace

void Record(const std::string& movieAddress, const Origin& origin) {
    HVX_ASSERT_MAIN_THREAD();
    Origins().try_emplace(movieAddress, origin);
}

std::optional<Origin> Find(const std::string& movieAddress) {
    HVX_ASSERT_MAIN_THREAD();
    const auto found = Origins().find(movieAddress);
    if (found == Origins().end()) {
        return std::nullopt;
    }
    return found->second;
}

void Clear() {
    Origins().clear();
}

} // namespace embedded_movies
