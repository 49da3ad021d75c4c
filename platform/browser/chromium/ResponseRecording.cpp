#include "browser/chromium/ResponseRecording.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>

#include "browser/ASCIIText.h"
#include "foundation/Base64.h"

namespace {

using Json = response_recording::Json;

// A name or value from outside, kept on its line.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

// "/path?query" of an address (its fragment is never sent).
std::string RequestTarget(const std::string& url) {
    const size_t scheme = url.find("://");
    const size_t path = scheme == std::string::npos ? std::string::npos : url.find('/', scheme + 3);
    const std::string target = path == std::string::npos ? "/" : url.substr(path);
    return target.substr(0, target.find('#'));
}

std::string HostOf(const std::string& url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos) {
        return {};
    }
    const size_t end = url.find_first_of("/?#", scheme + 3);
    return url.substr(scheme + 3, end == std::string::npos ? end : end - scheme - 3);
}

std::string RequestOf(const Json& request) {
    const std::string url = request.value("url", "");
    std::string text = OneLine(request.value("method", "GET")) + " " + OneLine(RequestTarget(url)) +
                       " HTTP/1.1\r\nHost: " + OneLine(HostOf(url)) + "\r\n";
    const Json headers = request.value("headers", Json::object());
    for (const auto& [name, value] : headers.items()) {
        if (value.is_string() && ascii::ToLower(name) != "host") {
            text += OneLine(name) + ": " + OneLine(value.get<std::string>()) + "\r\n";
        }
    }
    return text + "\r\n";
}

std::string ResponseHeadOf(const Json& paused, const std::optional<std::string>& body) {
    const std::string reason = paused.value("responseStatusText", "");
    std::string head = "HTTP/1.1 " + std::to_string(paused.value("responseStatusCode", 0)) +
                       (reason.empty() ? "" : " " + OneLine(reason)) + "\r\n";
    static constexpr std::array<std::string_view, 3> kUndone = {
        "content-encoding", "transfer-encoding", "content-length"};
    for (const Json& field : paused.value("responseHeaders", Json::array())) {
        if (!field.is_object()) {
            continue;
        }
        const std::string name = OneLine(field.value("name", ""));
        const std::string value = OneLine(field.value("value", ""));
        const bool undone =
            std::find(kUndone.begin(), kUndone.end(), ascii::ToLower(name)) != kUndone.end();
        head.append(undone && body ? "X-Archive-Orig-" : "").append(name).append(": ");
        head.append(value).append("\r\n");
    }
    if (body) {
        head += "Content-Length: " + std::to_string(body->size()) + "\r\n";
    }
    return head + "\r\n";
}

// A body the server says is bigger than this is not taken from the browser (it would come whole,
// in one message): its record says it is cut.
constexpr uint64_t kMostBodyBytes = uint64_t{32} << 20;

// What the response's Content-Length says, if anything.
std::optional<uint64_t> DeclaredLength(const Json& paused) {
    for (const Json& field : paused.value("responseHeaders", Json::array())) {
        if (field.is_object() && ascii::ToLower(field.value("name", "")) == "content-length") {
            const std::string value = field.value("value", "");
            uint64_t length = 0;
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), length);
            if (error == std::errc() && end == value.data() + value.size()) {
                return length;
            }
        }
    }
    return std::nullopt;
}

} // namespace

Json response_recording::Pattern() {
    return {{"urlPattern", "*"}, {"requestStage", "Response"}};
}

bool response_recording::AtResponse(const Json& paused) {
    return paused.contains("responseStatusCode") || paused.contains("responseErrorReason");
}

WireExchange response_recording::Exchange(const Json& paused,
                                          const std::optional<std::string>& body) {
    const Json request = paused.value("request", Json::object());
    WireExchange exchange;
    const std::string url = request.value("url", "");
    exchange.targetURI = url.substr(0, url.find('#'));
    exchange.date = std::chrono::system_clock::now();
    exchange.request = RequestOf(request);
    exchange.responseHead = ResponseHeadOf(paused, body);
    exchange.payload = body.value_or("");
    const int status = paused.value("responseStatusCode", 0);
    // A redirect or an empty answer has no body to give.
    if (!body && !(status >= 300 && status < 400) && status != 204) {
        exchange.truncated = "unspecified";
    }
    return exchange;
}

void response_recording::RecordThenContinue(DevToolsConnection& connection, const Json& paused,
                                            const std::string& sessionId,
                                            const std::shared_ptr<WireRecorder>& recorder) {
    const std::string requestId = paused.value("requestId", "");
    if (!recorder || !paused.contains("responseStatusCode")) {
        connection.Send("Fetch.continueRequest", {{"requestId", requestId}}, sessionId);
        return;
    }
    if (DeclaredLength(paused).value_or(0) > kMostBodyBytes) {
        WireExchange exchange = Exchange(paused, std::nullopt);
        exchange.truncated = "length";
        recorder->Record(std::move(exchange));
        connection.Send("Fetch.continueRequest", {{"requestId", requestId}}, sessionId);
        return;
    }
    connection.Send(
        "Fetch.getResponseBody", {{"requestId", requestId}}, sessionId,
        [&connection, paused, sessionId, recorder,
         requestId](const Outcome<DevToolsConnection::Json>& reply) {
            std::optional<std::string> body;
            if (reply) {
                const std::string text = reply.value().value("body", "");
                body = reply.value().value("base64Encoded", false) ? base64::Decode(text)
                                                                   : std::optional(text);
            }
            recorder->Record(Exchange(paused, body));
            connection.Send("Fetch.continueRequest", {{"requestId", requestId}}, sessionId);
        });
}
