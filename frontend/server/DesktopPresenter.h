#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "EventStreamQueue.h"
#include "FramePage.h"
#include "appkit/ModelObject.h"

// Follows the whole appkit model for the browser: every change marks the model dirty, and one
// flush posted on the main run loop describes the menu bar and every visible window, compares
// them with what the streams were last sent and sends only the difference. Main thread only;
// it is the model's one change listener while it lives.
class DesktopPresenter : public std::enable_shared_from_this<DesktopPresenter> {
public:
    // Shared, so that tasks posted from server threads can find out that it has gone.
    static std::shared_ptr<DesktopPresenter> Create();
    ~DesktopPresenter();
    DesktopPresenter(const DesktopPresenter&) = delete;
    DesktopPresenter& operator=(const DesktopPresenter&) = delete;
    DesktopPresenter(DesktopPresenter&&) = delete;
    DesktopPresenter& operator=(DesktopPresenter&&) = delete;

    // Sends `stream` a snapshot, then every later event, until the stream closes.
    void Attach(std::shared_ptr<EventStreamQueue> stream);
    // Closes every stream, so their readers return at once.
    void CloseStreams();
    // Sends what changed since the last flush (normally run from the posted task).
    void Flush();

    // A page's function called by the native side: sent after the window changes made before it,
    // so that the renderer already has the frame.
    void PageCalled(ModelObject::ObjectId view, const FramePage::Call& call);

    // `{"menubar": MENU, "windows": [WINDOW…], "pages": [{"view", "calls"}…]}`, front-most window
    // last.
    nlohmann::json Snapshot() const;
    // One server-sent event: "event: NAME" and its data on one line.
    static std::string FormatEvent(const std::string& name, const nlohmann::json& data);

private:
    DesktopPresenter() = default;
    void ChangeSeen();
    void Publish(const std::string& event);

    std::vector<std::shared_ptr<EventStreamQueue>> m_streams;
    std::map<ModelObject::ObjectId, std::string> m_sentWindows;
    std::string m_sentMenu;
    std::vector<std::string> m_pendingCalls;
    bool m_flushPosted = false;
};
