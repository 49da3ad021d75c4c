#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "crawl/CrawlScope.h"
#include "mirror/DependencyCatch.h"
#include "swfharvex/PageEngineChoice.h"
#include "webkit/DownloadActivity.h"

class Frontier;
class WarcRecorder;

// `swfharvex crawl`: the host browser with the plug-in in place, as `capture` runs it, walking a
// site from its seeds: each page's links (and frames) in scope are followed, within a depth and a
// number of pages, as robots.txt allows and one page of a host at a time with a delay between. The
// crawl's state (its frontier and the options it was started with) lives in a folder of its own,
// so that `crawl --resume DIR` goes on after any stop, a kill included, without fetching a page
// again once it was done; the movies caught are kept there too, since every run of the host
// empties its capture folder.
class CrawlCommand {
public:
    enum ExitStatus { kAllDone = 0, kSomeFailed = 1 };
    static constexpr int kNoEngine = 3;
    static constexpr int kFolderInUse = 4;
    static constexpr int kMovieLost = 5;
    // The state folder cannot be used (or a resume finds no crawl there).
    static constexpr int kNoState = 7;
    // What the crawl keeps (its archive, its movies) cannot be written: a full disk, say. The
    // state is whole and --resume goes on once there is room.
    static constexpr int kCannotWrite = 8;

    struct Options {
        std::vector<std::string> seeds;
        std::string stateFolder; // empty: ~/Documents/SWFHarvexCrawl
        bool resume = false;     // the seeds and options come from the state
        std::string scope = "host";
        int depth = 3;
        uint64_t maxPages = 1000;
        std::vector<std::string> include;
        std::vector<std::string> exclude;
        bool ignoreRobots = false;
        int delayMs = 500;
        std::string warc;            // "" writes no archive
        std::string warcSize = "1G"; // the next WARC file is started at this size
        bool json = false;
        std::string bundlePath;
        PageEngineChoice engine;
        DependencyBounds dependencies;

        // A crawl shared by workers: its frontier in Redis, named by its id.
        std::string frontier; // "" the SQLite file in the state folder; else redis://HOST:PORT/DB
        std::string crawlId;
        std::string workerId; // "" the host's name and the process id
        std::string merge;    // makes one of the workers' archives and mirrors (see MergeCrawls)
        int leaseSeconds = 60;
        bool worker = false;    // joins: the seeds and options come from the frontier
        bool stay = false;      // waits for more pages when the crawl has none
        bool status = false;    // prints the shared crawl's counts and leaves
        bool stopCrawl = false; // asks every worker of the shared crawl to stop
    };

    explicit CrawlCommand(Options options) : m_options(std::move(options)) {}

    int Run(std::ostream& out, std::ostream& err, bool progressIsTerminal) const;

private:
    // --status or --stop of a shared crawl.
    static int SharedCrawlAsked(const Options& options, Frontier& pages, std::ostream& out,
                                std::ostream& err);
    // Runs the host over the frontier until the crawl is done (-1) or stops (its exit status).
    static int Walk(const Options& options, const std::filesystem::path& state, Frontier& pages,
                    CrawlScope scope, uint64_t budget, const WarcRecorder* archive,
                    std::vector<DownloadActivity::Loss>& lostMovies, std::ostream& err,
                    bool progressIsTerminal);

    Options m_options;
};
