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
#include "foundation/RunLoop.h"
#include "foundation/defaults/AtomicFile.h"
#include "swf/MovieReferences.h"
#include "swfharvex/CrawlState.h"
#include "swfharvex/HostSession.h"
#include "swfharvex/MirrorKeeper.h"
#include "swfharvex/TransferLimitChoice.h"
#include "warc/WarcRecorder.h"
#include "webkit/DownloadActivity.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Pages a worker holds at once: waiting for their host's turn, loading, or waiting for their
// movies to be kept. A worker that dies costs a shared crawl no more than these.
constexpr size_t kPagesAtOnce = 8;
constexpr auto kRobotsTimeout = std::chrono::seconds(20);
constexpr auto kProgressInterval = std::chrono::milliseconds(1000);
// How often a worker of a shared crawl looks again at what the others have left it.
constexpr auto kSharedPoll = std::chrono::milliseconds(500);
// Addresses read from one movie for pages to follow.
constexpr size_t kMostMovieLinks = 10'000;

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

// A timer of the main run loop that fires every `interval` while the object lives.
class RepeatingTimer {
public:
    RepeatingTimer(std::chrono::milliseconds interval, std::function<void()> fire)
        : m_id(RunLoop::Main().AddTimer(interval, true, std::move(fire))) {}
    ~RepeatingTimer() {
        if (m_id != 0) {
            RunLoop::Main().CancelTimer(m_id);
        }
    }
    RepeatingTimer(RepeatingTimer&& other) noexcept : m_id(std::exchange(other.m_id, 0)) {}
    RepeatingTimer& operator=(RepeatingTimer&&) = delete;
    RepeatingTimer(const RepeatingTimer&) = delete;
    RepeatingTimer& operator=(const RepeatingTimer&) = delete;

private:
    RunLoop::TimerId m_id;
};

// One run of a crawl: pages from the frontier into the host, their links back into it, and the
// pages done once what they brought (movies, dependencies) is kept in the state folder.
class Crawl {
public:
    Crawl(const CrawlCommand::Options& options, Frontier& frontier, HostSession& session,
          MirrorKeeper& mirror, CrawlScope scope, fs::path keep, uint64_t budget,
          const WarcRecorder* archive)
        : m_options(options), m_frontier(frontier), m_session(session), m_mirror(mirror),
          m_scope(std::move(scope)), m_keep(std::move(keep)), m_budget(budget), m_archive(archive),
          m_manifest(crawl_state::KeptMovies(m_keep)) {
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
        while (m_error.ok() && m_held.size() + m_open + m_loaded.size() < kPagesAtOnce &&
               m_budget > 0 && !m_stopping && SharedBudgetLeft()) {
            Outcome<std::optional<FrontierPage>> next = m_frontier.Take();
            if (!next) {
                m_error = next.failure();
                break;
            }
            if (!next.value()) {
                StillThere();
                break;
            }
            --m_budget;
            m_held.push_back(std::move(*next.value()));
        }
        StartHeld();
        Commit();
    }

    // Nothing queued that may still be taken, nothing open, nothing left to keep. A worker of a
    // shared crawl also waits for the pages other workers hold (their links may add more), and
    // with --stay for ever, until the crawl is stopped.
    bool finished() const {
        if (!m_error || m_open > 0 || !m_held.empty() || !m_loaded.empty()) {
            return !m_error;
        }
        if (m_stopping) {
            return true;
        }
        Outcome<FrontierCounts> counts = m_frontier.Counts();
        if (!counts || m_budget == 0) {
            return true;
        }
        if (!m_frontier.shared()) {
            return counts.value().queued == 0;
        }
        const FrontierCounts& all = counts.value();
        const bool over = all.done + all.failed >= m_options.maxPages;
        return !m_options.stay && (over || (all.queued == 0 && all.taken == 0));
    }

    // Renews this worker's leases and hears whether the crawl was stopped (a shared crawl).
    void KeepShared() {
        if (Outcome<> renewed = m_frontier.Renew(); !renewed) {
            m_error = renewed.failure();
            return;
        }
        Outcome<std::optional<std::string>> stop = m_frontier.Recall(crawl_state::kStopKey);
        if (stop && stop.value()) {
            m_stopping = true;
        }
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
                    Finish(page->address, crawl_state::kForbidden);
                    page = m_held.erase(page);
                    continue;
                }
            }
            Outcome<std::chrono::milliseconds> wait =
                m_frontier.HostTurn(origin, std::chrono::milliseconds(m_options.delayMs));
            if (!wait) {
                m_error = wait.failure();
                return;
            }
            if (wait.value().count() > 0) {
                WakeAt(now + wait.value());
                ++page;
                continue;
            }
            FrontierPage started = std::move(*page);
            page = m_held.erase(page);
            Start(started);
        }
    }

    void FetchRobots(const std::string& origin) {
        m_robots.emplace(origin, std::nullopt);
        m_robotThreads.emplace_back([this, origin, alive = m_alive] {
            RobotsRules rules = ::FetchRobots(origin, crawl_state::kProduct, kRobotsTimeout);
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

    // A shared crawl whose frontier has gone (Redis restarted without saving it) would look done:
    // it is an error instead.
    void StillThere() {
        if (!m_frontier.shared()) {
            return;
        }
        Outcome<std::optional<std::string>> options = m_frontier.Recall(crawl_state::kOptionsKey);
        if (!options) {
            m_error = options.failure();
        } else if (!options.value()) {
            m_error = Failure{"the shared crawl", "its frontier is gone (did Redis restart "
                                                  "without saving it?)"};
        }
    }

    // Whether the whole crawl, every worker's pages counted, may take one more page.
    bool SharedBudgetLeft() {
        if (!m_frontier.shared()) {
            return true;
        }
        Outcome<FrontierCounts> counts = m_frontier.Counts();
        if (!counts) {
            m_error = counts.failure();
            return false;
        }
        const FrontierCounts& all = counts.value();
        return all.done + all.failed + all.taken < m_options.maxPages;
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
    bool m_stopping = false; // a shared crawl was stopped: no more pages are taken
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
    std::set<std::string> m_kept;                   // movies' addresses
    std::map<std::string, std::string> m_keptFiles; // movie address -> its place under m_keep
    nlohmann::json m_manifest;
    size_t m_forbidden = 0;
    bool m_pumpPosted = false;
    RunLoop::TimerId m_wake = 0;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

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
    Outcome<std::unique_ptr<Frontier>> frontier = crawl_state::OpenFrontier(options, state);
    if (!frontier) {
        err << "swfharvex: " << frontier.failure().message() << '\n';
        return kNoState;
    }
    Frontier& pages = *frontier.value();
    if (options.status || options.stopCrawl) {
        return SharedCrawlAsked(options, pages, out, err);
    }
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
    Outcome<std::shared_ptr<WarcRecorder>> archive = crawl_state::OpenArchive(options, state);
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
    const bool archived = crawl_state::CloseArchive(archive.value(), err);
    if (status >= 0) {
        return status;
    }
    if (!archived) {
        return kCannotWrite;
    }
    return crawl_state::Report({pages, state, archive.value().get(), lostMovies}, options.json, out,
                               err);
}

int CrawlCommand::SharedCrawlAsked(const Options& options, Frontier& pages, std::ostream& out,
                                   std::ostream& err) {
    if (options.stopCrawl) {
        if (Outcome<> stopped = pages.Remember(crawl_state::kStopKey, "1"); !stopped) {
            err << "swfharvex: " << stopped.failure().message() << '\n';
            return kNoState;
        }
        out << "crawl " << options.crawlId << ": every worker stops after the pages it has\n";
        return kAllDone;
    }
    const Outcome<FrontierCounts> counts = pages.Counts();
    if (!counts) {
        err << "swfharvex: " << counts.failure().message() << '\n';
        return kNoState;
    }
    out << nlohmann::json{{"crawl", options.crawlId},
                          {"pagesQueued", counts.value().queued},
                          {"pagesTaken", counts.value().taken},
                          {"pagesDone", counts.value().done},
                          {"pagesFailed", counts.value().failed}}
               .dump(2)
        << '\n';
    return kAllDone;
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
    std::vector<RepeatingTimer> timers;
    if (progressIsTerminal) {
        timers.emplace_back(kProgressInterval, [&err, &crawl] {
            err << '\r' << crawl.Progress() << "\x1b[K" << std::flush;
        });
    }
    if (pages.shared()) {
        // What other workers do (and leases that lapse) is seen by asking again now and then.
        timers.emplace_back(kSharedPoll, [] {});
        timers.emplace_back(std::chrono::milliseconds(options.leaseSeconds * 1000 / 3),
                            [&crawl] { crawl.KeepShared(); });
    }
    crawl.Pump();
    const int stopped = session.RunUntil(
        [&crawl] {
            crawl.Pump();
            return crawl.finished();
        },
        std::chrono::hours(24 * 365));
    if (progressIsTerminal) {
        err << '\n';
    }
    timers.clear();
    lostMovies = crawl.LostMovies();
    if (stopped != 0) {
        HostSession::CancelTransfers();
        err << "swfharvex: stopped; "
            << (pages.shared()
                    ? "what it held goes back to the queue when its lease lapses; "
                      "'swfharvex crawl --frontier " +
                          options.frontier + " --crawl-id " + options.crawlId +
                          " --worker' joins again"
                    : "'swfharvex crawl --resume " + state.string() + "' goes on from here")
            << '\n';
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
