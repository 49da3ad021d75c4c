#include "browser/HostWindow.h"

#include <algorithm>
#include <chrono>
#include <map>

#include "browser/HostApplication.h"
#include "runtime/MemberMethod.h"
#include "webkit/DownloadActivity.h"

namespace {

constexpr float kWidth = 800;
constexpr float kHeight = 600;
constexpr auto kRefreshInterval = std::chrono::milliseconds(250);
// A page of a thousand movies stays readable, and cheap to send to the browser on every refresh:
// past this many, objects and transfers are counted, not listed.
constexpr size_t kMostListed = 20;
constexpr auto kEndRefreshInterval = std::chrono::milliseconds(100);

Ref<NSTextField> Text(NSView& content, NSRect frame, bool editable) {
    Ref<NSTextField> field = MakeRef<NSTextField>();
    field->setFrame(frame);
    field->setEditable(editable);
    content.addSubview(field);
    return field;
}

const char* StateText(std::optional<DownloadActivity::TransferState> state) {
    if (!state) {
        return "not caught";
    }
    switch (*state) {
    case DownloadActivity::TransferState::Running:
        return "downloading";
    case DownloadActivity::TransferState::Finished:
        return "caught";
    case DownloadActivity::TransferState::Failed:
        return "caught, download failed";
    }
    return "not caught";
}

void SetIfChanged(NSTextField* field, const std::string& text) {
    if (field != nullptr && field->stringValue() != text) {
        field->setStringValue(text);
    }
}

} // namespace

HostWindowController::HostWindowController(HostApplication& host)
    : NSObject(ClassObject()), m_host(host) {
    NSWindow& window = *host.mainWindow();
    window.setTitle("Browser");
    window.setFrame(NSMakeRect(40, 80, kWidth, kHeight), false, false);
    NSView& content = *window.contentView();
    Text(content, NSMakeRect(12, 544, 60, 24), false)->setStringValue("Address");
    address = Text(content, NSMakeRect(76, 544, 620, 24), true);
    address->setToolTip("Address of the page to load");
    loadButton = MakeRef<NSButton>();
    loadButton->setFrame(NSMakeRect(704, 542, 84, 28));
    loadButton->setTitle("Load");
    loadButton->setTarget(this);
    loadButton->setAction(sel_registerName(kLoadPageSelector));
    content.addSubview(loadButton);
    status = Text(content, NSMakeRect(12, 512, 776, 24), false);
    pluginObjects = Text(content, NSMakeRect(12, 232, 776, 272), false);
    transfers = Text(content, NSMakeRect(12, 12, 776, 212), false);
    m_refreshTimer = RunLoop::Main().AddTimer(kRefreshInterval, true, [this] { Refresh(); });
    // A movie caught shows at once, not at the next tick; in a burst of ends the window is
    // refreshed at most once per interval (each refresh goes to the browser whole).
    m_endListener = DownloadActivity::Shared().AddEndListener([this] {
        if (m_soonTimer != 0) {
            return;
        }
        const auto wait =
            std::max(m_lastRefresh + kEndRefreshInterval - std::chrono::steady_clock::now(),
                     std::chrono::steady_clock::duration::zero());
        m_soonTimer = RunLoop::Main().AddTimer(
            std::chrono::duration_cast<std::chrono::milliseconds>(wait), false, [this] {
                m_soonTimer = 0;
                m_lastRefresh = std::chrono::steady_clock::now();
                Refresh();
            });
    });
}

HostWindowController::~HostWindowController() {
    RunLoop::Main().CancelTimer(m_refreshTimer);
    DownloadActivity::Shared().RemoveEndListener(m_endListener);
    if (m_soonTimer != 0) {
        RunLoop::Main().CancelTimer(m_soonTimer);
    }
    if (loadButton && loadButton->target() == this) {
        loadButton->setTarget(nullptr);
    }
}

Class HostWindowController::ClassObject() {
    static Class cls = [] {
        // No factory: the host makes its one window controller itself, with the host.
        Class made = objc_registerClass("HostWindowController", NSObject::RootClass());
        DefineMethod<&HostWindowController::loadPage>(made, kLoadPageSelector);
        return made;
    }();
    return cls;
}

void HostWindowController::loadPage(id /*sender*/) {
    const std::string text = address ? address->stringValue() : std::string();
    m_host.openPage(std::string_view(text));
    const HostPage& page = *m_host.pages().back();
    if (!page.finished()) {
        SetIfChanged(status.get(), "Loading " + text + "\u2026");
    }
    // Pages that run scripts finish later; the objects they insert show as they come.
    m_host.pages().back()->setFinishHandler([this, &page] {
        const Outcome<HostPage::Loaded>& loaded = page.result();
        const std::optional<URL>& shown = page.documentURL();
        std::string line;
        if (!loaded) {
            line = loaded.failure().message();
        } else if (shown) {
            line = "Loaded " + shown->absoluteString() + ": " +
                   std::to_string(loaded.value().pluginViewCount) + " plug-in views";
        }
        if (loaded && !loaded.value().notice.empty()) {
            line += " (" + loaded.value().notice + ")";
        }
        SetIfChanged(status.get(), line);
        Refresh();
    });
    Refresh();
}

void HostWindowController::Refresh() {
    const DownloadActivity& activity = DownloadActivity::Shared();
    std::string report;
    for (const auto& page : m_host.pages()) {
        if (!page->documentURL()) {
            continue;
        }
        // Every object counts in the page's line; only the first few are listed one by one.
        std::map<std::string, size_t> counts;
        std::string lines;
        size_t listed = 0;
        for (const std::string& url : page->pluginObjectURLs()) {
            const std::string state = StateText(url.empty() ? std::nullopt : activity.StateOf(url));
            ++counts[state];
            if (listed++ < kMostListed) {
                lines += "  " + (url.empty() ? std::string("(no address)") : url) + " \u2014 " +
                         state + "\n";
            }
        }
        if (listed > kMostListed) {
            lines += "  \u2026 and " + std::to_string(listed - kMostListed) + " more\n";
        }
        std::string summary;
        for (const auto& [state, count] : counts) {
            summary += (summary.empty() ? ": " : ", ") + std::to_string(count) + " " + state;
        }
        report += page->documentURL()->absoluteString();
        report += " (" + std::to_string(listed) + " plug-in objects" + summary + ")\n";
        report += lines;
    }
    SetIfChanged(pluginObjects.get(), report);

    std::string running;
    const auto now = std::chrono::steady_clock::now();
    const std::vector<DownloadActivity::Progress> progress = activity.Running();
    for (size_t i = 0; i < progress.size() && i < kMostListed; ++i) {
        running += DownloadActivity::ProgressLine(progress[i], now) + "\n";
    }
    if (progress.size() > kMostListed) {
        running += "\u2026 and " + std::to_string(progress.size() - kMostListed) + " more\n";
    }
    SetIfChanged(transfers.get(), running);
}
