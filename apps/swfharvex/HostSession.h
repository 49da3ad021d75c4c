#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "foundation/RunLoop.h"
#include "swfharvex/CaptureFolderLock.h"
#include "swfharvex/InstallLayout.h"
#include "swfharvex/PageEngineChoice.h"

class HostApplication;
class HostPage;

// What every command that runs the host shares: the capture folder held for the run, the stop
// signals watched by the run loop, the host with the plug-in bundle loaded and its page engine
// started, the pages opened, the loop run until done or stopped, the transfers cancelled.
class HostSession {
public:
    struct Options {
        std::string holder;      // names this run to another that finds the folder taken
        std::string bundlePath;  // empty: the layout's
        PageEngineChoice engine; // its playerRoot empty: the layout's
        bool keepPagesOpen = false;
        std::vector<int> stopSignals;
    };
    // Why Start did not get the session going, for the command's exit status.
    enum class Refusal { kNone, kFolderInUse, kFolder, kBundle, kEngine };

    explicit HostSession(Options options, InstallLayout layout = InstallLayout::OfRunningProgram());
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;
    HostSession(HostSession&&) = delete;
    HostSession& operator=(HostSession&&) = delete;

    // Takes the folder (before the plug-in loads, since loading empties it), watches the stop
    // signals (before any thread starts), starts the host, loads the bundle and starts the engine.
    // What failed is said on `err`.
    Refusal Start(std::ostream& err);

    HostApplication& host() { return *m_host; }
    const InstallLayout& layout() const { return m_layout; }
    const std::string& captureFolder() const { return m_captureFolder; }
    const std::string& bundlePath() const { return m_options.bundlePath; }
    const std::string& playerRoot() const { return m_options.engine.playerRoot; }

    // Opens each page; `finished` hears of each as soon as it has ended.
    void OpenPages(const std::vector<std::string>& urls,
                   const std::function<void(const HostPage&)>& finished);

    // Runs the loop until `done` holds, a stop signal comes or `timeout` passes; answers the
    // signal that stopped it, 0 when none did.
    int RunUntil(const std::function<bool()>& done, RunLoop::Clock::duration timeout);

    // Cancels the running transfers (each removes its partial file) and lets them report.
    static void CancelTransfers();

private:
    Options m_options;
    InstallLayout m_layout;
    std::string m_captureFolder;
    std::optional<CaptureFolderLock> m_lock;
    int m_stopSignal = 0;
    RunLoop::SignalWatch m_signals; // outlives the host: its threads never take a stop signal
    std::unique_ptr<HostApplication> m_host;
};
