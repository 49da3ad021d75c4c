#include "DesktopPresenter.h"

#include <algorithm>

#include "appkit/NSApplication.h"
#include "appkit/NSWindow.h"
#include "foundation/RunLoop.h"
#include "webkit/WebView.h"

namespace {

using json = nlohmann::json;

// Text from outside (a movie's name, a page's title) may not be valid UTF-8: replace what
// cannot be encoded instead of throwing on the main thread.
std::string Encode(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::vector<NSWindow*> VisibleWindows() {
    std::vector<NSWindow*> windows;
    ModelObject::ForEach([&windows](ModelObject& object) {
        auto* window = dynamic_cast<NSWindow*>(&object);
        if (window != nullptr && window->isVisible()) {
            windows.push_back(window);
        }
    });
    // Oldest first, the key window in front of the rest.
    std::stable_partition(windows.begin(), windows.end(),
                          [](NSWindow* window) { return !window->isKeyWindow(); });
    return windows;
}

json MenuBar() {
    NSMenu* menu = NSApp().mainMenu();
    return menu != nullptr ? menu->Describe() : json(nullptr);
}

} // namespace

std::shared_ptr<DesktopPresenter> DesktopPresenter::Create() {
    HVX_ASSERT_MAIN_THREAD();
    std::shared_ptr<DesktopPresenter> presenter(new DesktopPresenter());
    std::weak_ptr<DesktopPresenter> weak = presenter;
    ModelObject::SetChangeListener([weak](ModelObject&) {
        if (auto alive = weak.lock()) {
            alive->ChangeSeen();
        }
    });
    presenter->Flush();
    return presenter;
}

DesktopPresenter::~DesktopPresenter() {
    ModelObject::SetChangeListener(nullptr);
    CloseStreams();
}

void DesktopPresenter::ChangeSeen() {
    if (m_flushPosted) {
        return;
    }
    m_flushPosted = true;
    RunLoop::Main().Post([weak = weak_from_this()] {
        if (auto alive = weak.lock()) {
            alive->Flush();
        }
    });
}

void DesktopPresenter::Attach(std::shared_ptr<EventStreamQueue> stream) {
    HVX_ASSERT_MAIN_THREAD();
    // What is pending goes to the older streams first; the new one starts from the result.
    Flush();
    if (stream->Push(FormatEvent("snapshot", Snapshot()))) {
        m_streams.push_back(std::move(stream));
    }
}

void DesktopPresenter::CloseStreams() {
    for (const auto& stream : m_streams) {
        stream->Close();
    }
    m_streams.clear();
}

json DesktopPresenter::Snapshot() const {
    json windows = json::array();
    for (NSWindow* window : VisibleWindows()) {
        windows.push_back(window->Describe());
    }
    json pages = json::array();
    ModelObject::ForEach([&pages](ModelObject& object) {
        auto* view = dynamic_cast<WebView*>(&object);
        auto* page = view != nullptr ? dynamic_cast<FramePage*>(view->backend()) : nullptr;
        if (page != nullptr && !page->calls().empty()) {
            json calls = json::array();
            for (const FramePage::Call& call : page->calls()) {
                calls.push_back(FramePage::Describe(call));
            }
            pages.push_back({{"view", view->objectId()}, {"calls", std::move(calls)}});
        }
    });
    return json{
        {"menubar", MenuBar()}, {"windows", std::move(windows)}, {"pages", std::move(pages)}};
}

void DesktopPresenter::PageCalled(ModelObject::ObjectId view, const FramePage::Call& call) {
    json data = FramePage::Describe(call);
    data["view"] = view;
    m_pendingCalls.push_back(FormatEvent("script", data));
    ChangeSeen();
}

void DesktopPresenter::Flush() {
    HVX_ASSERT_MAIN_THREAD();
    m_flushPosted = false;
    std::map<ModelObject::ObjectId, std::string> shown;
    for (NSWindow* window : VisibleWindows()) {
        std::string description = Encode(window->Describe());
        auto sent = m_sentWindows.find(window->objectId());
        if (sent == m_sentWindows.end() || sent->second != description) {
            Publish("event: window\ndata: " + description + "\n\n");
        }
        shown.emplace(window->objectId(), std::move(description));
    }
    for (const auto& [oid, description] : m_sentWindows) {
        if (shown.count(oid) == 0) {
            Publish(FormatEvent("closed", json{{"oid", oid}}));
        }
    }
    m_sentWindows = std::move(shown);

    std::string menu = Encode(MenuBar());
    if (menu != m_sentMenu) {
        if (!m_sentMenu.empty()) {
            Publish("event: menubar\ndata: " + menu + "\n\n");
        }
        m_sentMenu = std::move(menu);
    }
    for (const std::string& call : m_pendingCalls) {
        Publish(call);
    }
    m_pendingCalls.clear();
}

void DesktopPresenter::Publish(const std::string& event) {
    // A stream whose client has gone (or fell too far behind) is dropped here.
    std::erase_if(m_streams, [&event](const std::shared_ptr<EventStreamQueue>& stream) {
        return !stream->Push(event);
    });
}

std::string DesktopPresenter::FormatEvent(const std::string& name, const json& data) {
    return "event: " + name + "\ndata: " + Encode(data) + "\n\n";
}
