#include "swfharvex/CrawlCommand.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <deque>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "browser/ASCIIText.h"
#include "browser/HostApplication.h"
#include "crawl/CrawlScope.h"
#include "crawl/PageAddress.h"
#include "crawl/RobotsFetch.h"
#include "crawl/SqliteFrontier.h"
#include "foundation/RunLoop.h"
#include "foundation/defaults/AtomicFile.h"
#include "swf/MovieReferences.h"
#include "swfharvex/HostSession.h"
#include "swfharvex/MirrorKeeper.h"
#include "swfharvex/TransferLimitChoice.h"
#include "warc/WarcRecorder.h"
#include "webkit/DownloadActivity.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Pages taken from the frontier at once: loading, or waiting for their host's turn.
constexpr size_t kPagesAtOnce = 8;
constexpr auto kRobotsTimeout = std::chrono::seconds(20);
constexpr auto kProgressInterval = std::chrono::seconds(1);
constexpr const char* kProduct = "SWFHarvex";
constexpr const char* kOptionsKey = "options";
// Addresses read from one movie for pages to follow.
constexpr size_t kMostMovieLinks = 10'000;
// Why a page robots.txt keeps out is not crawled; it is not lost.
constexpr const char* kForbidden = "robots.txt forbids it";

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

// The manifest's movies kept in `folder` so far.
nlohmann::json KeptMovies(const fs::path& folder) {
    const nlohmann::json kept =
        nlohmann::json::parse(ReadText(folder / Mirror::kManifestName), nullptr, false);
    return kept.is_object() && kept.contains("movies") && kept["movies"].is_array()
               ? kept["movies"]
               : nlohmann::json::array();
}

// A movie's reference to a page rather than an asset: an HTML or server page, or a folder.
bool LooksLikePage(const std::string& text) {
    const std::string path = ascii::ToLower(text.substr(0, text.find_first_of("?#")));
    for (const char* ending : {".html", ".htm", ".shtml", ".php", ".asp", ".aspx", ".jsp", "/"}) {
        if (path.ends_with(ending)) {
            return true;
        }
    }
    return false;
}

// "http://host:port" of a normalised address.
std::string OriginOf(const std::string& address) {
    return address.substr(0, address.find('/', address.find("://") + 3));
}

// One run of a crawl: pages from the frontier into the host, their links back into it, and the
// pages done once what they brought (movies, dependencies) is kept in the state folder.
class Crawl {
public:
    Crawl(const CrawlCommand::Options& options, Frontier& frontier, HostSession& session,
          MirrorKeeper& mirror, CrawlScope scope, fs::path keep, uint64_t budget,
          const WarcRecorder* archive)
        : m_options(options), m_frontier(frontier), m_session(session), m_mirror(mirror),
          m_scope(std::move(scope)), m_keep(std::move(keep)), m_budget(budget), m_archive(archive),
          m_manifest(KeptMovies(m_keep)) {
        const Outcome<FrontierCounts> counts = m_frontier.Counts();
        m_doneBefore = counts ? counts.value().done : 0;
    }
    ~Crawl() {
        *m_alive = false;
        for (std::thread& thread : m_robotThreads) {
            thread.join();
        }
    }
    Crawl(const Crawl&) = delete;
    Crawl& operator=(const Crawl&) = delete;
    Crawl(Crawl&&) = delete;
    Crawl& operator=(Crawl&&) = delete;

    // Takes and starts what it may now.
    void Pump() {
        m_pumpPosted = false;
        if (!ArchiveWhole()) {
            return;
        }
        while (m_error.ok() && m_held.size() + m_open < kPagesAtOnce && m_budget > 0) {
            Outcome<std::optional<FrontierPage>> next = m_frontier.Take();
            if (!next) {
                m_error = next.failure();
                break;
            }
            if (!next.value()) {
                break;
            }
            --m_budget;
            m_held.push_back(std::move(*next.value()));
        }
        StartHeld();
        Commit();
    }

    // Nothing queued that may still be taken, nothing open, nothing left to keep.
    bool finished() const {
        if (!m_error || m_open > 0 || !m_held.empty() || !m_loaded.empty()) {
            return !m_error;
        }
        Outcome<FrontierCounts> counts = m_frontier.Counts();
        return !counts || counts.value().queued == 0 || m_budget == 0;
    }
    const Outcome<>& error() const { return m_error; }
    // Whether the error is that something could not be written where the crawl keeps it.
    bool cannotWrite() const { return m_cannotWrite; }
    size_t forbidden() const { return m_forbidden; }
    // The movies pages of this run embed that were not caught, each once, with why.
    std::vector<DownloadActivity::Loss> LostMovies() const {
        std::vector<DownloadActivity::Loss> lost;
        std::set<std::string> named;
        for (const DownloadActivity::Loss& loss : DownloadActivity::Shared().Losses()) {
            if (m_pageMovies.contains(loss.url) && !m_kept.contains(loss.url) &&
                named.insert(loss.url).second) {
                lost.push_back(loss);
            }
        }
        return lost;
    }

    std::string Progress() const {
        const Outcome<FrontierCounts> counts = m_frontier.Counts();
        if (!counts) {
            return {};
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - m_started).count();
        const uint64_t pages = counts.value().done - m_doneBefore;
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.1f",
                      seconds > 0 ? static_cast<double>(pages) / seconds : 0.0);
        return "crawl: " + std::to_string(counts.value().done) + " pages done, " +
               std::to_string(counts.value().queued) + " queued, " +
               std::to_string(m_manifest.size()) + " movies kept, " +
               DownloadActivity::BytesText(
                   static_cast<double>(DownloadActivity::Shared().BytesReceived())) +
               " received, " + rate + " pages/s";
    }

private:
    void PostPump() {
        if (m_pumpPosted) {
            return;
        }
        m_pumpPosted = true;
        RunLoop::Main().Post([this, alive = m_alive] {
            if (*alive) {
                Pump();
            }
        });
    }

    // A held page starts once robots.txt allows it and its host's delay has passed.
    void StartHeld() {
        const auto now = Clock::now();
        for (auto page = m_held.begin(); page != m_held.end();) {
            const std::string origin = OriginOf(page->address);
            if (!m_options.ignoreRobots) {
                const auto rules = m_robots.find(origin);
                if (rules == m_robots.end()) {
                    FetchRobots(origin);
                    ++page;
                    continue;
                }
                if (!rules->second) {
                    ++page;
                    continue;
                }
                const std::string target = page->address.substr(origin.size());
                if (!rules->second->Allows(target)) {
                    ++m_forbidden;
                    Finish(page->address, kForbidden);
                    page = m_held.erase(page);
                    continue;
                }
            }
            auto& next = m_nextStart[origin];
            if (now < next) {
                WakeAt(next);
                ++page;
                continue;
            }
            next = now + std::chrono::milliseconds(m_options.delayMs);
            FrontierPage started = std::move(*page);
            page = m_held.erase(page);
            Start(started);
        }
    }

    void FetchRobots(const std::string& origin) {
        m_robots.emplace(origin, std::nullopt);
        m_robotThreads.emplace_back([this, origin, alive = m_alive] {
            RobotsRules rules = ::FetchRobots(origin, kProduct, kRobotsTimeout);
            RunLoop::Main().Post([this, origin, alive, rules = std::move(rules)]() mutable {
                if (*alive) {
                    m_robots[origin] = std::move(rules);
                    Pump();
                }
            });
        });
    }

    void WakeAt(Clock::time_point when) {
        if (m_wake != 0) {
            return;
        }
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now()) +
            std::chrono::milliseconds(1);
        m_wake = RunLoop::Main().AddTimer(wait, false, [this] {
            m_wake = 0;
            Pump();
        });
    }

    void Start(const FrontierPage& page) {
        ++m_open;
        HostPage& opened = m_session.host().openPage(std::string_view(page.address));
        opened.setFinishHandler([this, page, &opened] { Loaded(page, opened); });
    }

    void Loaded(const FrontierPage& page, HostPage& opened) {
        --m_open;
        opened.stop();
        if (!opened.result()) {
            m_loaded.push_back({page, opened.result().failure().message(), {}});
            PostPump();
            return;
        }
        for (const std::string& link : opened.links()) {
            Follow(link, nullptr, page.depth);
        }
        Pending loaded{page, {}, {}};
        for (const std::string& movie : opened.pluginObjectURLs()) {
            if (movie.starts_with("http://") || movie.starts_with("https://")) {
                loaded.movies.push_back(movie);
                m_pageMovies.insert(movie);
            }
        }
        m_loaded.push_back(std::move(loaded));
        PostPump();
    }

    // A page is done once each movie it embeds is kept in the state folder (with what it
    // loads) or lost: a crawl stopped before that fetches the page again.
    void Commit() {
        // Nothing is done that the archive lacks.
        if (!ArchiveWhole()) {
            return;
        }
        m_mirror.Look();
        bool keptMore = false;
        for (const auto& movie : m_mirror.mirror().movies()) {
            if (!movie->finished() || !m_kept.insert(movie->movie().address).second) {
                continue;
            }
            if (Outcome<> copied = m_mirror.mirror().ExportMovie(*movie, m_keep); !copied) {
                CannotWrite(copied.failure());
                return;
            }
            m_manifest.push_back(movie->ManifestEntry());
            m_keptFiles.emplace(movie->movie().address, movie->movieMirrorPath());
            keptMore = true;
        }
        if (keptMore) {
            if (Outcome<> written =
                    AtomicFile::Write((m_keep / Mirror::kManifestName).string(),
                                      nlohmann::json{{"movies", m_manifest}}.dump(
                                          2, ' ', false, nlohmann::json::error_handler_t::replace) +
                                          "\n");
                !written) {
                CannotWrite(written.failure());
                return;
            }
        }
        // A movie that could not be written here is not lost: the crawl stops, and a resume
        // once there is room fetches its page again.
        for (const auto& loss : DownloadActivity::Shared().Losses()) {
            if (loss.local) {
                CannotWrite(Failure{loss.url, loss.reason});
                return;
            }
        }
        std::erase_if(m_loaded, [this](const Pending& loaded) {
            if (!std::all_of(loaded.movies.begin(), loaded.movies.end(),
                             [this](const std::string& movie) { return Settled(movie); })) {
                return false;
            }
            // Flash sites keep their menus in their movies: the pages they go to are followed.
            for (const std::string& movie : loaded.movies) {
                FollowMovie(movie, loaded.page);
            }
            Finish(loaded.page.address, loaded.failure);
            return true;
        });
    }

    // False (and the crawl stopping) once the archive could not record something.
    bool ArchiveWhole() {
        if (m_archive != nullptr && m_error.ok()) {
            if (std::optional<Failure> failed = m_archive->failure()) {
                CannotWrite(*failed);
            }
        }
        return m_error.ok();
    }

    void CannotWrite(Failure failure) {
        m_error = std::move(failure);
        m_cannotWrite = true;
    }

    // A link of a page at `depth` (resolved against `base` when given), queued when in scope.
    void Follow(const std::string& link, const URL* base, int depth) {
        if (depth >= m_options.depth) {
            return;
        }
        const std::optional<std::string> address = page_address::Normalised(link, base);
        if (address && m_scope.Contains(*address)) {
            if (Outcome<bool> added = m_frontier.Add(*address, depth + 1); !added) {
                m_error = added.failure();
            }
        }
    }

    // The addresses a kept movie's code names that look like pages, as links of its page.
    void FollowMovie(const std::string& movie, const FrontierPage& page) {
        const auto kept = m_keptFiles.find(movie);
        const std::optional<URL> base = URL::URLWithString(page.address);
        if (kept == m_keptFiles.end() || !base) {
            return;
        }
        const MovieReferences references = ReadMovieReferences(
            (m_keep / kept->second).string(), kMostMovieLinks, kMostMovieLinks * 256);
        for (const MovieReference& reference : references.kept) {
            if (LooksLikePage(reference.text)) {
                Follow(reference.text, &*base, page.depth);
            }
        }
    }

    // Whether a movie a page embeds has come to its end: kept, lost, or fetched and no movie.
    bool Settled(const std::string& movie) const {
        if (m_kept.contains(movie)) {
            return true;
        }
        const std::optional<DownloadActivity::TransferState> state =
            DownloadActivity::Shared().StateOf(movie);
        if (!state) {
            const auto& losses = DownloadActivity::Shared().Losses();
            return std::any_of(losses.begin(), losses.end(),
                               [&movie](const auto& loss) { return loss.url == movie; });
        }
        return *state == DownloadActivity::TransferState::Failed ||
               (*state == DownloadActivity::TransferState::Finished && !m_mirror.Knows(movie));
    }

    void Finish(const std::string& address, const std::string& failure) {
        if (Outcome<> finished = m_frontier.Finish(address, failure.empty(), failure); !finished) {
            m_error = finished.failure();
        }
    }

    const CrawlCommand::Options& m_options;
    Frontier& m_frontier;
    HostSession& m_session;
    MirrorKeeper& m_mirror;
    CrawlScope m_scope;
    fs::path m_keep;
    uint64_t m_budget; // pages this run may still take
    const WarcRecorder* m_archive;
    bool m_cannotWrite = false;
    // For the rate: when this run started, and the pages done before it.
    Clock::time_point m_started = Clock::now();
    uint64_t m_doneBefore = 0;
    std::set<std::string> m_pageMovies; // every movie a page of this run embeds
    Outcome<> m_error;
    std::deque<FrontierPage> m_held;
    size_t m_open = 0;
    // Pages loaded, to be done once their movies are kept.
    struct Pending {
        FrontierPage page;
        std::string failure; // "" when it loaded
        std::vector<std::string> movies;
    };
    std::vector<Pending> m_loaded;
    std::map<std::string, std::optional<RobotsRules>> m_robots; // none while being fetched
    std::vector<std::thread> m_robotThreads;
    std::map<std::string, Clock::time_point> m_nextStart;
    std::set<std::string> m_kept;                   // movies' addresses
    std::map<std::string, std::string> m_keptFiles; // movie address -> its place under m_keep
    nlohmann::json m_manifest;
    size_t m_forbidden = 0;
    bool m_pumpPosted = false;
    RunLoop::TimerId m_wake = 0;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

// The crawl's frontier in `state`: a new one remembers the options and queues the seeds; a resumed
// one gives back the options it was started with.
Outcome<std::unique_ptr<SqliteFrontier>> OpenFrontier(CrawlCommand::Options& options,
                                                      const fs::path& state) {
    const fs::path file = state / "frontier.db";
    if (options.resume && !fs::exists(file)) {
        return Failure{state.string(), "no crawl to resume there"};
    }
    Outcome<std::unique_ptr<SqliteFrontier>> frontier = SqliteFrontier::Open(file);
    if (!frontier) {
        return frontier.failure();
    }
    Frontier& pages = *frontier.value();
    if (options.resume) {
        const Outcome<std::optional<std::string>> saved = pages.Recall(kOptionsKey);
        const nlohmann::json json = saved && saved.value()
                                        ? nlohmann::json::parse(*saved.value(), nullptr, false)
                                        : nlohmann::json();
        if (!json.is_object()) {
            return Failure{state.string(), "the crawl's options are not there"};
        }
        Restore(json, options);
    } else if (Outcome<> remembered = pages.Remember(kOptionsKey, Saved(options).dump());
               !remembered) {
        return remembered.failure();
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
    return frontier;
}

// The crawl's archive, installed as the process's recorder; null without --warc. Its index journal
// is kept with the state.
Outcome<std::shared_ptr<WarcRecorder>> OpenArchive(const CrawlCommand::Options& options,
                                                   const fs::path& state) {
    if (options.warc.empty()) {
        return std::shared_ptr<WarcRecorder>();
    }
    Outcome<uint64_t> size = TransferLimitChoice::ParseSize(options.warcSize);
    if (!size) {
        return size.failure();
    }
    Outcome<std::shared_ptr<WarcRecorder>> archive =
        WarcRecorder::Open({{options.warc, size.value(), kProduct}, state / "warc-index.journal"});
    if (archive) {
        WireRecorder::Install(archive.value());
    }
    return archive;
}

// Uninstalls the archive and writes its index; false (named on `err`) when either failed.
bool CloseArchive(const std::shared_ptr<WarcRecorder>& archive, std::ostream& err) {
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

// What a crawl's run leaves to report.
struct Outcomes {
    Frontier& pages;
    const fs::path& state;
    const WarcRecorder* archive;
    const std::vector<DownloadActivity::Loss>& lostMovies;
};

// Names each page and movie lost and prints the summary; the exit status.
int Report(const Outcomes& run, bool json, std::ostream& out, std::ostream& err) {
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

} // namespace

int CrawlCommand::Run(std::ostream& out, std::ostream& err, bool progressIsTerminal) const {
    Options options = m_options;
    const char* home = std::getenv("HOME");
    const fs::path state = !options.stateFolder.empty() ? fs::path(options.stateFolder)
                                                        : fs::path(home != nullptr ? home : ".") /
                                                              "Documents" / "SWFHarvexCrawl";
    if (!options.warc.empty()) {
        // A resume may start elsewhere.
        options.warc = fs::absolute(options.warc).string();
    }
    Outcome<std::unique_ptr<SqliteFrontier>> frontier = OpenFrontier(options, state);
    if (!frontier) {
        err << "swfharvex: " << frontier.failure().message() << '\n';
        return kNoState;
    }
    Frontier& pages = *frontier.value();
    const CrawlScope::Kind kind = options.scope == "domain"   ? CrawlScope::Kind::Domain
                                  : options.scope == "prefix" ? CrawlScope::Kind::Prefix
                                                              : CrawlScope::Kind::Host;
    Outcome<CrawlScope> scope =
        CrawlScope::Make(kind, options.seeds, options.include, options.exclude);
    const Outcome<FrontierCounts> before = pages.Counts();
    if (!scope || !before) {
        err << "swfharvex: " << (scope ? before.failure() : scope.failure()).message() << '\n';
        return kNoState;
    }
    Outcome<std::shared_ptr<WarcRecorder>> archive = OpenArchive(options, state);
    if (!archive) {
        err << "swfharvex: " << archive.failure().message() << '\n';
        return kCannotWrite;
    }
    const uint64_t finishedBefore = before.value().done + before.value().failed;
    const uint64_t budget =
        options.maxPages > finishedBefore ? options.maxPages - finishedBefore : 0;
    std::vector<DownloadActivity::Loss> lostMovies;
    const int status = Walk(options, state, pages, std::move(scope).value(), budget,
                            archive.value().get(), lostMovies, err, progressIsTerminal);
    const bool archived = CloseArchive(archive.value(), err);
    if (status >= 0) {
        return status;
    }
    if (!archived) {
        return kCannotWrite;
    }
    return Report({pages, state, archive.value().get(), lostMovies}, options.json, out, err);
}

int CrawlCommand::Walk(const Options& options, const fs::path& state, Frontier& pages,
                       CrawlScope scope, uint64_t budget, const WarcRecorder* archive,
                       std::vector<DownloadActivity::Loss>& lostMovies, std::ostream& err,
                       bool progressIsTerminal) {
    PageEngineChoice engine = options.engine;
    engine.readLinks = true;
    HostSession session(
        {"swfharvex crawl", options.bundlePath, engine, false, {SIGINT, SIGTERM, SIGHUP}});
    if (const HostSession::Refusal refused = session.Start(err);
        refused != HostSession::Refusal::kNone) {
        return refused == HostSession::Refusal::kFolderInUse ? kFolderInUse
               : refused == HostSession::Refusal::kEngine    ? kNoEngine
                                                             : kSomeFailed;
    }
    MirrorKeeper mirror(
        session.captureFolder(), options.dependencies,
        [&err](const DependencyCatch& movie) { ReportDependencies(movie, err); },
        ChooseMoviePlayer(session, options.dependencies, err));
    Crawl crawl(options, pages, session, mirror, std::move(scope), state / "mirror", budget,
                archive);
    RunLoop::TimerId progress = 0;
    if (progressIsTerminal) {
        progress = RunLoop::Main().AddTimer(
            std::chrono::duration_cast<std::chrono::milliseconds>(kProgressInterval), true,
            [&err, &crawl] { err << '\r' << crawl.Progress() << "\x1b[K" << std::flush; });
    }
    crawl.Pump();
    const int stopped = session.RunUntil(
        [&crawl] {
            crawl.Pump();
            return crawl.finished();
        },
        std::chrono::hours(24 * 365));
    if (progress != 0) {
        RunLoop::Main().CancelTimer(progress);
        err << '\n';
    }
    lostMovies = crawl.LostMovies();
    if (stopped != 0) {
        HostSession::CancelTransfers();
        err << "swfharvex: stopped; 'swfharvex crawl --resume " << state.string()
            << "' goes on from here\n";
        return 128 + stopped;
    }
    if (!crawl.error()) {
        if (archive == nullptr || !archive->failure()) {
            // The archive's failure is named when it is closed.
            err << "swfharvex: " << crawl.error().failure().message() << '\n';
        }
        if (crawl.cannotWrite()) {
            err << "swfharvex: 'swfharvex crawl --resume " << state.string()
                << "' goes on once that is mended\n";
            return kCannotWrite;
        }
        return kNoState;
    }
    return -1;
}
