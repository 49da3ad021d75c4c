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
#include "mirror/Mirror.h"
#include "runtime/MessageSend.h"
#include "swfharvex/HostSession.h"
#include "swfharvex/InterruptSignals.h"
#include "swfharvex/ProgressDisplay.h"
#include "webkit/DownloadActivity.h"

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(200);
// Transfers end by themselves (the service gives up on stalled ones); this only bounds a bug.
constexpr auto kLongestWait = std::chrono::hours(24);
// Beside the Part's flat list of files, hidden so that the list's folder shows only movies.
constexpr const char* kMirrorFolder = ".mirror";

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
std::vector<DownloadActivity::Loss> NotCaught(size_t firstLoss, size_t endLoss,
                                              const nlohmann::json& captured) {
    std::set<std::string> seen;
    for (const nlohmann::json& entry : captured) {
        seen.insert(entry.value("SWFAddress", ""));
    }
    std::vector<DownloadActivity::Loss> losses;
    const auto& all = DownloadActivity::Shared().Losses();
    for (size_t i = firstLoss; i < std::min(endLoss, all.size()); ++i) {
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
    // Each page says how it ended as soon as it has; with Chromium they load side by side.
    bool allLoaded = true;
    session.OpenPages(m_options.urls, [&err, &allLoaded](const HostPage& page) {
        allLoaded = ReportPage(page, err) && allLoaded;
    });
    int caught = RunUntilCaught(session, err, progressIsTerminal);
    const nlohmann::json list = nlohmann::json::parse(
        objc_msgSend<std::string>(NSClassFromString("HVXPlugIn"), "capturedSWFListJSON"));
    // The transfers of dependencies fail as losses too; the list names movies only.
    const size_t endLoss = DownloadActivity::Shared().Losses().size();
    nlohmann::json dependencies = nlohmann::json::array();
    bool mirrorWritten = true;
    if (caught == 0 && m_options.dependencies.depth > 0) {
        caught = CatchDependencies(session, list, err, dependencies, mirrorWritten);
    }
    if (caught != 0) {
        StopInterrupted(caught, err);
    }
    const bool allCaught =
        PrintCaught(out, err, {firstLoss, endLoss}, list, std::move(dependencies));
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

int CaptureCommand::RunUntilCaught(HostSession& session, std::ostream& err,
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
        [&host] { return host.pagesFinished() && DownloadActivity::Shared().RunningCount() == 0; },
        kLongestWait);
    if (timer != 0) {
        RunLoop::Main().CancelTimer(timer);
    }
    return caught;
}

int CaptureCommand::CatchDependencies(HostSession& session, const nlohmann::json& list,
                                      std::ostream& err, nlohmann::json& found,
                                      bool& written) const {
    Mirror mirror(std::filesystem::path(session.captureFolder()) / kMirrorFolder,
                  m_options.dependencies);
    for (const nlohmann::json& entry : list) {
        CaughtMovie movie;
        movie.address = entry.value("SWFAddress", "");
        movie.file = std::filesystem::path(session.captureFolder()) / entry.value("SWFName", "");
        movie.origin = embedded_movies::Find(movie.address).value_or(embedded_movies::Origin{});
        mirror.Add(std::move(movie));
    }
    const int caught = session.RunUntil([&mirror] { return mirror.finished(); }, kLongestWait);
    for (const auto& movie : mirror.movies()) {
        for (const Dependency& dependency : movie->dependencies()) {
            if (dependency.status != "caught") {
                err << "swfharvex: " << dependency.address << ": needed by "
                    << movie->movie().address << ", not caught: " << dependency.reason << '\n';
            }
        }
        if (movie->leftOut() > 0) {
            err << "swfharvex: " << movie->movie().address << ": " << movie->leftOut()
                << " more references past the bounds were not followed\n";
        }
        nlohmann::json entry = movie->ManifestEntry();
        found.push_back({{"SWFAddress", movie->movie().address},
                         {"mirrorPath", entry["mirrorPath"]},
                         {"dependencies", entry["dependencies"]}});
    }
    Outcome<> done = mirror.WriteManifest();
    if (done && !m_options.mirrorCopy.empty()) {
        done = mirror.ExportTo(m_options.mirrorCopy);
    }
    if (!done) {
        err << "swfharvex: the mirror was not written: " << done.failure().message() << '\n';
    }
    written = done.ok();
    return caught;
}

bool CaptureCommand::PrintCaught(std::ostream& out, std::ostream& err,
                                 std::pair<size_t, size_t> losses, const nlohmann::json& list,
                                 nlohmann::json dependencies) const {
    const std::vector<DownloadActivity::Loss> lost = NotCaught(losses.first, losses.second, list);
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
