#include "swfharvex/HostSession.h"

#include "browser/BundleLoader.h"
#include "browser/HostApplication.h"
#include "browser/WebBaseNetscapePluginView.h"
#include "foundation/FileManager.h"
#include "webkit/WebDownload.h"

namespace {

// Lets cancelled transfers report their end before the run goes on.
constexpr auto kCancelGrace = std::chrono::milliseconds(50);

} // namespace

HostSession::HostSession(Options options, InstallLayout layout)
    : m_options(std::move(options)), m_layout(std::move(layout)),
      m_captureFolder(NSHomeDirectory() + "/Documents/SWFHarvexData") {
    if (m_options.bundlePath.empty()) {
        m_options.bundlePath = m_layout.Bundle().string();
    }
    if (m_options.engine.playerRoot.empty()) {
        m_options.engine.playerRoot = m_layout.Player().string();
    }
}

// The host goes first, with its engine and threads, while the stop signals are still watched.
HostSession::~HostSession() {
    m_host.reset();
}

HostSession::Refusal HostSession::Start(std::ostream& err) {
    Outcome<CaptureFolderLock> lock = CaptureFolderLock::Take(m_captureFolder, m_options.holder);
    if (!lock) {
        err << "swfharvex: " << lock.failure().message() << '\n';
        return CaptureFolderLock::IsInUse(lock.failure()) ? Refusal::kFolderInUse
                                                          : Refusal::kFolder;
    }
    m_lock.emplace(std::move(lock.value()));
    m_signals = RunLoop::Main().WatchSignals(m_options.stopSignals,
                                             [this](int signal) { m_stopSignal = signal; });
    m_host = std::make_unique<HostApplication>();
    WebBaseNetscapePluginView::RegisterClass(PluginViewInitialisers::Both);
    Outcome<Ref<NSBundle>> loaded = BundleLoader::loadBundle(m_options.bundlePath);
    if (!loaded) {
        err << "swfharvex: " << loaded.failure().message() << '\n';
        return Refusal::kBundle;
    }
    if (Outcome<> engine = m_options.engine.Apply(*m_host, m_options.keepPagesOpen, err); !engine) {
        err << "swfharvex: " << engine.failure().message() << '\n';
        return Refusal::kEngine;
    }
    return Refusal::kNone;
}

void HostSession::OpenPages(const std::vector<std::string>& urls,
                            const std::function<void(const HostPage&)>& finished) {
    for (const std::string& text : urls) {
        m_host->openPage(std::string_view(text));
        const HostPage& page = *m_host->pages().back();
        m_host->pages().back()->setFinishHandler([finished, &page] { finished(page); });
    }
}

int HostSession::RunUntil(const std::function<bool()>& done, RunLoop::Clock::duration timeout) {
    RunLoop::Main().RunUntil([this, &done] { return m_stopSignal != 0 || done(); }, timeout);
    return m_stopSignal;
}

void HostSession::CancelTransfers() {
    WebDownload::Shutdown();
    RunLoop::Main().RunFor(kCancelGrace);
}
