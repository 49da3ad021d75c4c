#include "swfharvex/CrawlState.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <iterator>
#include <thread>

#include <unistd.h>

#include "crawl/PageAddress.h"
#include "crawl/RedisFrontier.h"
#include "crawl/SqliteFrontier.h"
#include "mirror/Mirror.h"
#include "swfharvex/TransferLimitChoice.h"

namespace fs = std::filesystem;

namespace {

// How long a worker waits for the crawl it joins to be seeded, asking this often.
constexpr auto kWaitForSeeds = std::chrono::milliseconds(60'000);
constexpr auto kSeedPoll = std::chrono::milliseconds(250);
// A Redis server that does not answer within this is unreachable.
constexpr auto kRedisTimeout = std::chrono::seconds(10);

// The options that make a crawl what it is, as its state remembers them.
nlohmann::json Saved(const CrawlCommand::Options& options) {
    return {{"seeds", options.seeds},
            {"scope", options.scope},
            {"depth", options.depth},
            {"maxPages", options.maxPages},
            {"include", options.include},
            {"exclude", options.exclude},
            {"ignoreRobots", options.ignoreRobots},
            {"delayMs", options.delayMs},
            {"engine", options.engine.engine},
            {"readDepth", options.dependencies.depth},
            {"mostDependencies", options.dependencies.mostFiles},
            {"mostDependencyBytes", options.dependencies.mostBytes},
            {"play", options.dependencies.playSeconds},
            {"warc", options.warc},
            {"warcSize", options.warcSize}};
}

void Restore(const nlohmann::json& saved, CrawlCommand::Options& options) {
    options.seeds = saved.value("seeds", std::vector<std::string>{});
    options.scope = saved.value("scope", options.scope);
    options.depth = saved.value("depth", options.depth);
    options.maxPages = saved.value("maxPages", options.maxPages);
    options.include = saved.value("include", std::vector<std::string>{});
    options.exclude = saved.value("exclude", std::vector<std::string>{});
    options.ignoreRobots = saved.value("ignoreRobots", false);
    options.delayMs = saved.value("delayMs", options.delayMs);
    options.engine.engine = saved.value("engine", options.engine.engine);
    options.dependencies.depth = saved.value("readDepth", options.dependencies.depth);
    options.dependencies.mostFiles =
        saved.value("mostDependencies", options.dependencies.mostFiles);
    options.dependencies.mostBytes =
        saved.value("mostDependencyBytes", options.dependencies.mostBytes);
    options.dependencies.playSeconds = saved.value("play", options.dependencies.playSeconds);
    options.warc = saved.value("warc", std::string());
    options.warcSize = saved.value("warcSize", options.warcSize);
}

// A file's text; "" when it cannot be read.
std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Outcome<std::unique_ptr<Frontier>> OpenLocal(const CrawlCommand::Options& options,
                                             const fs::path& state) {
    const fs::path file = state / "frontier.db";
    if (options.resume && !fs::exists(file)) {
        return Failure{state.string(), "no crawl to resume there"};
    }
    Outcome<std::unique_ptr<SqliteFrontier>> opened = SqliteFrontier::Open(file);
    if (!opened) {
        return opened.failure();
    }
    return std::unique_ptr<Frontier>(std::move(opened).value());
}

// "host-1234": this machine and process, as a worker's id.
std::string DefaultWorkerId() {
    std::array<char, 256> host{};
    if (gethostname(host.data(), host.size() - 1) != 0) {
        host[0] = '\0';
    }
    return std::string(host.data()) + "-" + std::to_string(getpid());
}

Outcome<std::unique_ptr<Frontier>> OpenShared(CrawlCommand::Options& options) {
    if (options.crawlId.empty()) {
        return Failure{options.frontier, "a shared crawl needs its --crawl-id"};
    }
    Outcome<RedisClient::Address> address = RedisClient::ParseAddress(options.frontier);
    if (!address) {
        return address.failure();
    }
    Outcome<std::unique_ptr<RedisClient>> client =
        RedisClient::Connect(address.value(), kRedisTimeout);
    if (!client) {
        return client.failure();
    }
    if (options.workerId.empty()) {
        options.workerId = DefaultWorkerId();
    }
    // It names the worker's files: only what a file name takes.
    for (char& c : options.workerId) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '-' && c != '_' && c != '.') {
            c = '_';
        }
    }
    RedisFrontier::Options shared{options.crawlId, options.workerId,
                                  std::chrono::seconds(std::max(options.leaseSeconds, 1))};
    // A page's load can keep the main thread a while: leases are kept apart from it.
    shared.renewInBackground = true;
    Outcome<std::unique_ptr<RedisFrontier>> opened =
        RedisFrontier::Open(std::move(client).value(), std::move(shared));
    if (!opened) {
        return opened.failure();
    }
    return std::unique_ptr<Frontier>(std::move(opened).value());
}

} // namespace

nlohmann::json crawl_state::KeptMovies(const fs::path& folder) {
    const nlohmann::json kept =
        nlohmann::json::parse(ReadText(folder / Mirror::kManifestName), nullptr, false);
    return kept.is_object() && kept.contains("movies") && kept["movies"].is_array()
               ? kept["movies"]
               : nlohmann::json::array();
}

Outcome<std::unique_ptr<Frontier>> crawl_state::OpenFrontier(CrawlCommand::Options& options,
                                                             const fs::path& state) {
    Outcome<std::unique_ptr<Frontier>> opened =
        options.frontier.empty() ? OpenLocal(options, state) : OpenShared(options);
    if (!opened) {
        return opened.failure();
    }
    Frontier& pages = *opened.value();
    const std::string where = options.frontier.empty()
                                  ? state.string()
                                  : options.frontier + " (crawl " + options.crawlId + ")";
    Outcome<std::optional<std::string>> saved = pages.Recall(crawl_state::kOptionsKey);
    // Workers started with the seeding one (machines started at once) wait for its seeds.
    for (auto waited = std::chrono::milliseconds(0);
         options.worker && saved && !saved.value() && waited < kWaitForSeeds; waited += kSeedPoll) {
        std::this_thread::sleep_for(kSeedPoll);
        saved = pages.Recall(crawl_state::kOptionsKey);
    }
    if (!saved) {
        return saved.failure();
    }
    // Joining: a resumed crawl, a worker, or a second seeding of a shared crawl.
    const bool joins = options.resume || options.worker || options.status || options.stopCrawl ||
                       (!options.frontier.empty() && saved.value());
    bool remember = !joins;
    if (joins) {
        const nlohmann::json json = saved.value()
                                        ? nlohmann::json::parse(*saved.value(), nullptr, false)
                                        : nlohmann::json();
        if (!json.is_object()) {
            return Failure{where, "no crawl's options there"};
        }
        std::vector<std::string> seeds = std::move(options.seeds);
        Restore(json, options);
        // A second seeding adds its seeds to the crawl's (and so to its scope).
        options.seeds.insert(options.seeds.end(), seeds.begin(), seeds.end());
        remember = !seeds.empty();
    }
    // Again on a resume: a first run stopped before its seeds were queued (a full disk) would
    // otherwise resume into a crawl of nothing. A seed seen already is not queued again.
    for (const std::string& seed : options.seeds) {
        const std::optional<std::string> address = page_address::Normalised(seed);
        if (!address) {
            return Failure{seed, "not an http or https address"};
        }
        if (Outcome<bool> added = pages.Add(*address, 0); !added) {
            return added.failure();
        }
    }
    // After the seeds: a worker that finds the options finds pages to take.
    if (remember) {
        if (Outcome<> remembered = pages.Remember(crawl_state::kOptionsKey, Saved(options).dump());
            !remembered) {
            return remembered.failure();
        }
    }
    return opened;
}

Outcome<std::shared_ptr<WarcRecorder>>
crawl_state::OpenArchive(const CrawlCommand::Options& options, const fs::path& state) {
    if (options.warc.empty()) {
        return std::shared_ptr<WarcRecorder>();
    }
    Outcome<uint64_t> size = TransferLimitChoice::ParseSize(options.warcSize);
    if (!size) {
        return size.failure();
    }
    fs::path warc = options.warc;
    if (!options.frontier.empty()) {
        // Each worker writes its own files, named for it.
        std::string name = warc.filename().string();
        const size_t suffix = name.find(".warc");
        name.insert(suffix == std::string::npos ? name.size() : suffix, "-" + options.workerId);
        warc.replace_filename(name);
    }
    Outcome<std::shared_ptr<WarcRecorder>> archive =
        WarcRecorder::Open({{warc, size.value(), kProduct}, state / "warc-index.journal"});
    if (archive) {
        WireRecorder::Install(archive.value());
    }
    return archive;
}

bool crawl_state::CloseArchive(const std::shared_ptr<WarcRecorder>& archive, std::ostream& err) {
    if (!archive) {
        return true;
    }
    WireRecorder::Install(nullptr);
    bool whole = true;
    if (std::optional<Failure> failed = archive->failure()) {
        err << "swfharvex: " << failed->message() << '\n';
        whole = false;
    }
    if (Outcome<> indexed =
            archive->WriteIndex(WarcRecorder::IndexBeside(archive->files().front()));
        !indexed) {
        err << "swfharvex: " << indexed.failure().message() << '\n';
        whole = false;
    }
    return whole;
}

int crawl_state::Report(const Outcomes& run, bool json, std::ostream& out, std::ostream& err) {
    Frontier& pages = run.pages;
    const fs::path& state = run.state;
    const Outcome<FrontierCounts> counted = pages.Counts();
    const auto failures = pages.Failures();
    if (!counted || !failures) {
        err << "swfharvex: " << (counted ? failures.failure() : counted.failure()).message()
            << '\n';
        return CrawlCommand::kNoState;
    }
    const FrontierCounts& counts = counted.value();
    nlohmann::json lost = nlohmann::json::array();
    for (const auto& [address, reason] : failures.value()) {
        if (reason != kForbidden) {
            err << "swfharvex: " << address << ": not crawled: " << reason << '\n';
            lost.push_back({{"url", address}, {"reason", reason}});
        }
    }
    const size_t movies = KeptMovies(state / "mirror").size();
    nlohmann::json lostMovies = nlohmann::json::array();
    for (const DownloadActivity::Loss& loss : run.lostMovies) {
        err << "swfharvex: " << loss.url << ": movie not caught: " << loss.reason << '\n';
        lostMovies.push_back({{"url", loss.url}, {"reason", loss.reason}});
    }
    nlohmann::json warc = nlohmann::json::array();
    for (const fs::path& file :
         run.archive != nullptr ? run.archive->files() : std::vector<fs::path>{}) {
        warc.push_back(file.string());
    }
    if (json) {
        out << nlohmann::json{{"state", state.string()},
                              {"pagesDone", counts.done},
                              {"pagesQueued", counts.queued},
                              {"pagesForbidden", counts.failed - lost.size()},
                              {"movies", movies},
                              {"warc", warc},
                              {"lost", lost},
                              {"lostMovies", lostMovies}}
                   .dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
            << '\n';
    } else {
        out << counts.done << " pages crawled, " << movies << " movies kept in "
            << (state / "mirror").string() << '\n';
        if (!warc.empty()) {
            out << "archived in " << warc.size() << " WARC file(s) from "
                << warc.front().get<std::string>() << '\n';
        }
    }
    if (!lost.empty()) {
        return CrawlCommand::kSomeFailed;
    }
    return lostMovies.empty() ? CrawlCommand::kAllDone : CrawlCommand::kMovieLost;
}
