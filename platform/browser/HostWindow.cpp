#include "browser/HostWindow.h"

#include <chrono>

#include "browser/HostApplication.h"
#include "runtime/MemberMethod.h"
#include "webkit/DownloadActivity.h"

namespace {

constexpr float kWidth = 800;
constexpr float kHeight = 600;
constexpr auto kRefreshInterval = std::chrono::milliseconds(250);

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
}

HostWindowController::~HostWindowController() {
    RunLoop::Main().CancelTimer(m_refreshTimer);
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
    const WebPageLoader::Result loaded = m_host.openPage(std::string_view(text));
    const std::optional<URL>& shown = m_host.pages().back()->documentURL();
    SetIfChanged(status.get(), loaded.ok && shown
                                   ? "Loaded " + shown->absoluteString() + ": " +
                                         std::to_string(loaded.pluginViewCount) + " plug-in views"
                                   : loaded.error);
    Refresh();
}

void HostWindowController::Refresh() {
    const DownloadActivity& activity = DownloadActivity::Shared();
    std::string report;
    for (const auto& page : m_host.pages()) {
        if (!page->documentURL()) {
            continue;
        }
        report += page->documentURL()->absoluteString() + "\n";
        for (const std::string& url : page->pluginObjectURLs()) {
            report += "  " + (url.empty() ? std::string("(no address)") : url) + " \u2014 " +
                      StateText(url.empty() ? std::nullopt : activity.StateOf(url)) + "\n";
        }
    }
    SetIfChanged(pluginObjects.get(), report);

    std::string running;
    const auto now = std::chrono::steady_clock::now();
    for (const DownloadActivity::Progress& progress : activity.Running()) {
        running += DownloadActivity::ProgressLine(progress, now) + "\n";
    }
    SetIfChanged(transfers.get(), running);
}
