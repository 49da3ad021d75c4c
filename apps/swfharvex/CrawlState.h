#pragma once

#include <filesystem>
#include <memory>
#include <ostream>
#include <vector>

#include <nlohmann/json.hpp>

#include "crawl/Frontier.h"
#include "swfharvex/CrawlCommand.h"
#include "warc/WarcRecorder.h"
#include "webkit/DownloadActivity.h"

// What a crawl keeps between runs, and what it reports at the end of one.
namespace crawl_state {

// The product token robots.txt is read for, and the software the archive names.
inline constexpr const char* kProduct = "SWFHarvex";
// Why a page robots.txt keeps out is not crawled; it is not lost.
inline constexpr const char* kForbidden = "robots.txt forbids it";
// The options a crawl was started with, as its frontier remembers them.
inline constexpr const char* kOptionsKey = "options";
// Set in a shared crawl's frontier to stop every worker.
inline constexpr const char* kStopKey = "stop";

// The manifest's movies kept in `folder` so far.
nlohmann::json KeptMovies(const std::filesystem::path& folder);

// The crawl's frontier: in `state`, or shared in Redis. A new crawl remembers the options and
// queues the seeds; a resumed one, or a worker that joins a shared one, gets back the options it
// was started with (a worker's id is filled in).
Outcome<std::unique_ptr<Frontier>> OpenFrontier(CrawlCommand::Options& options,
                                                const std::filesystem::path& state);

// The crawl's archive, installed as the process's recorder; null without --warc. Its index journal
// is kept with the state.
Outcome<std::shared_ptr<WarcRecorder>> OpenArchive(const CrawlCommand::Options& options,
                                                   const std::filesystem::path& state);
// Uninstalls the archive and writes its index; false (named on `err`) when either failed.
bool CloseArchive(const std::shared_ptr<WarcRecorder>& archive, std::ostream& err);

// What a crawl's run leaves to report.
struct Outcomes {
    Frontier& pages;
    const std::filesystem::path& state;
    const WarcRecorder* archive;
    const std::vector<DownloadActivity::Loss>& lostMovies;
};
// Names each page and movie lost and prints the summary; the exit status.
int Report(const Outcomes& run, bool json, std::ostream& out, std::ostream& err);

} // namespace crawl_state
