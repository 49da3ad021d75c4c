#include "swfharvex/CaptureCommand.h"

#include <csignal>
#include <cstring>
#include <optional>
#include <set>

#include <nlohmann/json.hpp>

#include "appkit/NSAlert.h"
#include "browser/EmbeddedMovies.h"
#include "browser/HostApplication.h"
#include "foundation/JsonText.h"
#include "foundation/RunLoop.h"
#include "runtime/MessageSend.h"
#include "swfharvex/HostSession.h"
#include "swfharvex/InterruptSignals.h"
#include "swfharvex/MirrorKeeper.h"
#include "swfharvex/ProgressDisplay.h"
#include "webkit/DownloadActivity.h"

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(200);
// Transfers end by themselves (the service gives up on stalled ones); this only bounds a bug.
constexpr auto kLongestWait = std::chrono::hours(24);

// No window of this run is ever shown: an alert's texts go to standard error instead.
class AlertsOnStandardError {
public:
    explicit AlertsOnStandardError(std::ostream& err) {
        NSAlert::SetNoDesktopHandler([&err](const std::string& title, const std::string& message) {
            err << "swfharvex: " << title << (message.empty() ? "" : ": " + message) << '\n';
        });
    }
    ~AlertsOnStandardError() { NSAlert::SetNoDesktopHandler({}); }
    AlertsOnStandardError(const AlertsOnStandardError&) = delete;
    AlertsOnStandardError& operator=(const AlertsOnStandardError&) = delete;
    AlertsOnStandardError(AlertsOnStandardError&&) = delete;
    AlertsOnStandardError& operator=(AlertsOnStandardError&&) = delete;
};

// The movies of this run that were found and not caught: once each, and not when the same
// address was caught after all (by another page).
std::vector<DownloadActivity::Loss> NotCaught(size_t firstLoss, const nlohmann::json& captured,
                                              const MirrorKeeper* mirror) {
    std::set<std::string> seen;
    for (const nlohmann::json& entry : captured) {
        seen.insert(entry.value("SWFAddress", ""));
    }
    std::vector<DownloadActivity::Loss> losses;
    const auto& all = DownloadActivity::Shared().Losses();
    for (size_t i = firstLoss; i < all.size(); ++i) {
        // The mirror's transfers end among them: a dependency is no movie of a page's.
        if (mirror != nullptr && mirror->Fetched(all[i].url) &&
            !embedded_movies::Find(all[i].url)) {
            continue;
        }
        if (seen.insert(all[i].url).second) {
            losses.push_back(all[i]);
        }
    }
    return losses;
}

// Says how a page ended when it failed or has something to say; whether it loaded.
bool ReportPage(const HostPage& page, std::ostream& err) {
    const Outcome<HostPage::Loaded>& result = page.result();
    if (!result) {
        err << "swfharvex: " << result.failure().message() << '\n';
    } else if (!result.value().notice.empty()) {
        err << "swfharvex: " << result.value().notice << '\n';
    }
    return result.ok();
}

// Cancelling removes each transfer's partial file; what finished stays caught. The process ends
// as the signal would have ended it once the list is printed (main).
void StopInterrupted(int signal, std::ostream& err) {
    HostSession::CancelTransfers();
    err << "swfharvex: interrupted by SIG" << sigabbrev_np(signal)
        << "; running transfers were cancelled\n";
    InterruptSignals::Remember(signal);
}

} // namespace

int CaptureCommand::Run(std::ostream& out, std::ostream& err, bool progressIsTerminal) const {
    HostSession session({"swfharvex capture",
                         m_options.bundlePath,
                         m_options.engine,
                         false,
                         {SIGINT, SIGTERM, SIGHUP}});
    AlertsOnStandardError alerts(err);
    const size_t firstLoss = DownloadActivity::Shared().Losses().size();
    if (const HostSession::Refusal refused = session.Start(err);
        refused != HostSession::Refusal::kNone) {
        return refused == HostSession::Refusal::kFolderInUse ? kFolderInUse
               : refused == HostSession::Refusal::kEngine    ? kNoEngine
                                                             : kSomeFailed;
    }
    // What each movie loads is caught as soon as the movie is, beside the other transfers.
    std::optional<MirrorKeeper> mirror;
    if (m_options.dependencies.depth > 0) {
        mirror.emplace(
            session.captureFolder(), m_options.dependencies,
            [&err](const DependencyCatch& movie) { ReportDependencies(movie, err); },
            ChooseMoviePlayer(session, m_options.dependencies, err));
    }
    // Each page says how it ended as soon as it has; with Chromium they load side by side.
    bool allLoaded = true;
    session.OpenPages(m_options.urls, [&err, &allLoaded](const HostPage& page) {
        allLoaded = ReportPage(page, err) && allLoaded;
    });
    const int caught =
        RunUntilCaught(session, mirror ? &*mirror : nullptr, err, progressIsTerminal);
    if (caught != 0) {
        StopInterrupted(caught, err);
    }
    const bool mirrorWritten = !mirror || WriteMirror(*mirror, err);
    const bool allCaught = PrintCaught(out, err, firstLoss, mirror ? &*mirror : nullptr);
    if (caught != 0) {
        return 128 + caught;
    }
    if (!allLoaded) {
        return kSomeFailed;
    }
    if (!allCaught) {
        return kSomeNotCaught;
    }
    return mirrorWritten ? kAllLoaded : kMirrorNotWritten;
}

bool CaptureCommand::WriteMirror(const MirrorKeeper& mirror, std::ostream& err) const {
    // Written once more: an interrupted run keeps what it had.
    Outcome<> done = mirror.mirror().WriteManifest();
    if (done && !m_options.mirrorCopy.empty()) {
        done = mirror.mirror().ExportTo(m_options.mirrorCopy);
    }
    if (!done) {
        err << "swfharvex: the mirror was not written: " << done.failure().message() << '\n';
    }
    return done.ok();
}

int CaptureCommand::RunUntilCaught(HostSession& session, MirrorKeeper* mirror, std::ostream& err,
                                   bool progressIsTerminal) {
    std::optional<ProgressDisplay> display;
    RunLoop::TimerId timer = 0;
    if (progressIsTerminal) {
        display.emplace(err);
        timer =
            RunLoop::Main().AddTimer(kProgressInterval, true, [&display] { display->Redraw(); });
    }
    HostApplication& host = session.host();
    const int caught = session.RunUntil(
        [&host, mirror] {
            if (!host.pagesFinished() || DownloadActivity::Shared().RunningCount() != 0) {
                return false;
            }
            if (mirror == nullptr) {
                return true;
            }
            mirror->Look();
            return mirror->idle();
        },
        kLongestWait);
    if (timer != 0) {
        RunLoop::Main().CancelTimer(timer);
    }
    return caught;
}

bool CaptureCommand::PrintCaught(std::ostream& out, std::ostream& err, size_t firstLoss,
                                 const MirrorKeeper* mirror) const {
    const nlohmann::json list = nlohmann::json::parse(
        objc_msgSend<std::string>(NSClassFromString("HVXPlugIn"), "capturedSWFListJSON"));
    const std::vector<DownloadActivity::Loss> lost = NotCaught(firstLoss, list, mirror);
    for (const DownloadActivity::Loss& loss : lost) {
        err << "swfharvex: " << loss.url << ": not caught: " << loss.reason << '\n';
    }
    if (m_options.json) {
        nlohmann::json notCaught = nlohmann::json::array();
        for (const DownloadActivity::Loss& loss : lost) {
            nlohmann::json entry = nlohmann::json::object();
            PutText(entry, "url", loss.url);
            PutText(entry, "reason", loss.reason);
            notCaught.push_back(std::move(entry));
        }
        nlohmann::json dependencies = nlohmann::json::array();
        if (mirror != nullptr) {
            for (const auto& movie : mirror->mirror().movies()) {
                nlohmann::json entry = movie->ManifestEntry();
                dependencies.push_back({{"SWFAddress", movie->movie().address},
                                        {"mirrorPath", entry["mirrorPath"]},
                                        {"dependencies", entry["dependencies"]}});
            }
        }
        out << nlohmann::json{{"captured", list},
                              {"notCaught", notCaught},
                              {"dependencies", std::move(dependencies)}}
                   .dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
            << '\n';
    } else {
        for (const nlohmann::json& entry : list) {
            out << entry["SWFName"].get<std::string>() << '\t'
                << entry["SWFAddress"].get<std::string>() << '\n';
        }
    }
    out.flush();
    return lost.empty();
}
