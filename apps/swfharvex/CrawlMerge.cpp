#include "swfharvex/CrawlMerge.h"

#include <algorithm>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "foundation/defaults/AtomicFile.h"
#include "mirror/Mirror.h"
#include "swfharvex/CrawlCommand.h"
#include "swfharvex/CrawlState.h"
#include "warc/Cdxj.h"
#include "warc/WarcRecorder.h"

namespace fs = std::filesystem;

namespace {

// "SURT DIGEST" of an index line: the same address with the same bytes.
std::string SameRecord(const std::string& line) {
    const size_t key = line.find(' ');
    const size_t json = key == std::string::npos ? key : line.find(' ', key + 1);
    if (json == std::string::npos) {
        return line;
    }
    const nlohmann::json entry = nlohmann::json::parse(line.substr(json + 1), nullptr, false);
    const std::string digest = entry.is_object() ? entry.value("digest", "") : "";
    return line.substr(0, key) + " " + digest;
}

// Every worker's movies into one mirror: the same address is the same file, kept once.
Outcome<> CopyMirror(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::create_directories(to, error);
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::skip_existing, error);
    if (error) {
        return Failure{from.string(),
                       "cannot be copied to " + to.string() + ": " + error.message()};
    }
    return {};
}

} // namespace

int MergeCrawls(const fs::path& folder, const std::vector<fs::path>& states, bool json,
                std::ostream& out, std::ostream& err) {
    std::vector<std::string> lines;
    nlohmann::json movies = nlohmann::json::array();
    std::set<std::string> moviesSeen;
    for (const fs::path& state : states) {
        Outcome<std::vector<std::string>> indexed =
            WarcRecorder::IndexLines(state / "warc-index.journal", folder);
        if (!indexed) {
            err << "swfharvex: " << indexed.failure().message() << '\n';
            return CrawlCommand::kNoState;
        }
        lines.insert(lines.end(), indexed.value().begin(), indexed.value().end());
        for (const nlohmann::json& movie : crawl_state::KeptMovies(state / "mirror")) {
            if (moviesSeen.insert(movie.value("movie", "")).second) {
                movies.push_back(movie);
            }
        }
        if (fs::exists(state / "mirror")) {
            if (Outcome<> copied = CopyMirror(state / "mirror", folder / "mirror"); !copied) {
                err << "swfharvex: " << copied.failure().message() << '\n';
                return CrawlCommand::kCannotWrite;
            }
        }
    }
    // Sorted, a record's earliest copy comes first; the later ones of the same bytes go.
    std::sort(lines.begin(), lines.end());
    std::set<std::string> recordsSeen;
    std::erase_if(lines, [&recordsSeen](const std::string& line) {
        return !recordsSeen.insert(SameRecord(line)).second;
    });
    const size_t records = lines.size();
    const nlohmann::json manifest{{"movies", movies}};
    Outcome<> written = cdxj::Write(folder / "index.cdxj", std::move(lines));
    if (written) {
        written = AtomicFile::Write(
            (folder / "mirror" / Mirror::kManifestName).string(),
            manifest.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
    }
    if (!written) {
        err << "swfharvex: " << written.failure().message() << '\n';
        return CrawlCommand::kCannotWrite;
    }
    if (json) {
        out << nlohmann::json{{"index", (folder / "index.cdxj").string()},
                              {"records", records},
                              {"movies", movies.size()}}
                   .dump(2)
            << '\n';
    } else {
        out << records << " records indexed in " << (folder / "index.cdxj").string() << ", "
            << movies.size() << " movies in " << (folder / "mirror").string() << '\n';
    }
    return CrawlCommand::kAllDone;
}
