#include "FramePage.h"

#include <algorithm>
#include <cctype>

#include "DesktopPresenter.h"
#include "foundation/URL.h"
#include "webkit/WebView.h"

FramePage::FramePage(ModelObject::ObjectId view, std::weak_ptr<DesktopPresenter> presenter)
    : m_view(view), m_presenter(std::move(presenter)) {
}

void FramePage::Load(const std::string& /*url*/) {
    m_calls.clear();
}

std::optional<std::string> FramePage::CallFunction(const std::string& name,
                                                   const std::vector<std::string>& args) {
    std::erase_if(m_calls, [&name](const Call& call) { return call.name == name; });
    m_calls.push_back({name, args});
    if (auto presenter = m_presenter.lock()) {
        presenter->PageCalled(m_view, m_calls.back());
    }
    return std::nullopt;
}

nlohmann::json FramePage::Describe(const Call& call) {
    return {{"name", call.name}, {"args", call.args}};
}

Outcome<FrameSource> FrameSourceOf(ModelObject::ObjectId oid) {
    auto* view = dynamic_cast<WebView*>(ModelObject::WithId(oid));
    if (view == nullptr) {
        return Failure{"view " + std::to_string(oid), "no such web view"};
    }
    // The view's URL is a local file's escaped path; pages from elsewhere are not framed.
    const std::string& url = view->mainFrameURL();
    std::optional<std::string> path = URL::PercentDecoded(url);
    if (url.empty() || url.front() != '/' || !path || path->find('\0') != std::string::npos) {
        return Failure{"view " + std::to_string(oid), "its page is not a local file: " + url};
    }
    FrameSource source;
    source.page = *path;
    source.objects = nlohmann::json::array();
    for (const auto& exposed : view->windowScriptObject()->ScriptInterface()) {
        nlohmann::json methods = nlohmann::json::array();
        for (const auto& method : exposed.methods) {
            methods.push_back({{"name", method.name}, {"arguments", method.arguments}});
        }
        source.objects.push_back(
            {{"key", exposed.key}, {"methods", methods}, {"properties", exposed.properties}});
    }
    return source;
}

std::string InsertAtHeadStart(std::string html, const std::string& head) {
    std::string lower(html.size(), '\0');
    std::transform(html.begin(), html.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // After "<head>" (or "<head …>"); a page without one gets it before everything but its
    // doctype, which must stay first.
    size_t at = lower.find("<head");
    constexpr size_t kTagLength = 5; // "<head"
    if (at != std::string::npos && at + kTagLength < lower.size() &&
        (lower[at + kTagLength] == '>' ||
         std::isspace(static_cast<unsigned char>(lower[at + kTagLength])) != 0)) {
        at = lower.find('>', at);
        at = at == std::string::npos ? html.size() : at + 1;
    } else if (lower.starts_with("<!doctype")) {
        at = lower.find('>');
        at = at == std::string::npos ? html.size() : at + 1;
    } else {
        at = 0;
    }
    html.insert(at, head);
    return html;
}

std::string HtmlAttribute(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}
