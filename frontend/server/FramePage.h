#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "appkit/ModelObject.h"
#include "foundation/Outcome.h"
#include "webkit/WebPageBackend.h"

class DesktopPresenter;
class WebView;

// A web view's page shown as a frame of the desktop. What the native side calls in the page goes
// out over the event stream, in order, for the renderer to run in the frame; what the page's
// script does comes back as user events on the view (see UserEventDelivery). A frame answers
// later or never, so a call made here has no answer.
class FramePage : public WebPageBackend {
public:
    struct Call {
        std::string name;
        std::vector<std::string> args;
    };

    FramePage(ModelObject::ObjectId view, std::weak_ptr<DesktopPresenter> presenter);

    void Attach(Ref<WebScriptObject> /*bridge*/) override {}
    // A new page starts with nothing called in it.
    void Load(const std::string& url) override;
    std::optional<std::string> CallFunction(const std::string& name,
                                            const std::vector<std::string>& args) override;

    // The latest call of each function since the page was loaded, oldest first: a frame that
    // loads (again, or in a second browser tab) runs these to show what the native side last
    // told the page.
    const std::vector<Call>& calls() const { return m_calls; }

    static nlohmann::json Describe(const Call& call);

private:
    ModelObject::ObjectId m_view;
    std::weak_ptr<DesktopPresenter> m_presenter;
    std::vector<Call> m_calls;
};

// What the server needs to serve a view's page in a frame, read on the main thread: the page's
// file and what the page's script may use of the native side.
struct FrameSource {
    std::filesystem::path page; // absolute, unescaped
    nlohmann::json objects;     // [{"key", "methods": [{"name", "arguments"}], "properties"}]
};
Outcome<FrameSource> FrameSourceOf(ModelObject::ObjectId view);

// The page's HTML with `head` placed first in it, before anything of the page's own can run.
std::string InsertAtHeadStart(std::string html, const std::string& head);

// Text made safe inside a double-quoted HTML attribute.
std::string HtmlAttribute(const std::string& text);
