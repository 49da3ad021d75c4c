#include "webkit/WireRecording.h"

#include <filesystem>
#include <mutex>
#include <string_view>
#include <utility>

namespace {

// A body bigger than this goes to a file rather than stay in memory until it is recorded.
constexpr size_t kMostPayloadInMemory = size_t{1} << 20;

std::mutex& RecorderLock() {
    static std::mutex lock;
    return lock;
}

std::shared_ptr<WireRecorder>& InstalledRecorder() {
    static std::shared_ptr<WireRecorder> recorder;
    return recorder;
}

bool HeadComplete(const std::string& head) {
    return head.ends_with("\r\n\r\n") || head.ends_with("\n\n");
}

} // namespace

void WireRecorder::Install(std::shared_ptr<WireRecorder> recorder) {
    const std::scoped_lock lock(RecorderLock());
    InstalledRecorder() = std::move(recorder);
}

std::shared_ptr<WireRecorder> WireRecorder::Current() {
    const std::scoped_lock lock(RecorderLock());
    return InstalledRecorder();
}

Outcome<> WireTap::Attach(CURL* easy) {
    // The debug function hears everything only while libcurl is verbose; it then prints nothing.
    if (curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, &WireTap::OnDebug) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_DEBUGDATA, this) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L) != CURLE_OK) {
        return Failure{"libcurl", "cannot report what a transfer sends and receives"};
    }
    return {};
}

int WireTap::OnDebug(CURL* easy, curl_infotype type, char* data, size_t size, void* self) {
    static_cast<WireTap*>(self)->Saw(easy, type, data, size);
    return 0;
}

void WireTap::Saw(CURL* easy, curl_infotype type, const char* data, size_t size) {
    const std::string_view bytes(data, size);
    switch (type) {
    case CURLINFO_HEADER_OUT: {
        // A new request: a redirect's next hop, or the first.
        if (m_exchange && !m_exchange->responseHead.empty()) {
            Hand({});
        }
        if (!m_exchange) {
            m_exchange.emplace();
            m_exchange->date = std::chrono::system_clock::now();
            char* url = nullptr;
            curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url);
            m_exchange->targetURI = url != nullptr ? url : "";
        }
        m_exchange->request.append(bytes);
        break;
    }
    case CURLINFO_HEADER_IN:
        if (!m_exchange) {
            break;
        }
        // An interim answer ("100 Continue") is followed by the real one: only that is kept.
        if (bytes.starts_with("HTTP/") && HeadComplete(m_exchange->responseHead)) {
            m_exchange->responseHead.clear();
        }
        m_exchange->responseHead.append(bytes);
        if (HeadComplete(m_exchange->responseHead)) {
            char* ip = nullptr;
            curl_easy_getinfo(easy, CURLINFO_PRIMARY_IP, &ip);
            m_exchange->ipAddress = ip != nullptr ? ip : "";
        }
        break;
    case CURLINFO_DATA_IN:
        if (m_exchange && HeadComplete(m_exchange->responseHead)) {
            AddPayload(data, size);
        }
        break;
    default:
        break;
    }
}

void WireTap::AddPayload(const char* data, size_t size) {
    WireExchange& exchange = *m_exchange;
    if (m_spillFailed) {
        return;
    }
    if (!exchange.payloadSpill && exchange.payload.size() + size > kMostPayloadInMemory) {
        std::error_code error;
        const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
        Outcome<StagedFile> spill =
            StagedFile::CreateBeside((folder / "swfharvex-wire-body").string(), 0600);
        if (!spill || !spill.value().Write(exchange.payload)) {
            m_spillFailed = true;
            return;
        }
        exchange.payloadSpill.emplace(std::move(spill).value());
        exchange.payload.clear();
    }
    if (!exchange.payloadSpill) {
        exchange.payload.append(data, size);
    } else if (!exchange.payloadSpill->Write(std::string_view(data, size))) {
        m_spillFailed = true;
    }
}

void WireTap::Finish(CURLcode result) {
    if (m_exchange && HeadComplete(m_exchange->responseHead)) {
        Hand(result == CURLE_OK                                                          ? ""
             : result == CURLE_OPERATION_TIMEDOUT || result == CURLE_ABORTED_BY_CALLBACK ? "time"
             : result == CURLE_WRITE_ERROR || result == CURLE_FILESIZE_EXCEEDED          ? "length"
             // An error status stops libcurl reading once the head is in.
             : result == CURLE_HTTP_RETURNED_ERROR ? "unspecified"
                                                   : "disconnect");
    }
    m_exchange.reset();
}

void WireTap::Hand(std::string truncated) {
    WireExchange exchange = std::move(*m_exchange);
    m_exchange.reset();
    if (m_spillFailed) {
        // The body could not be kept whole; what is recorded says so.
        exchange.truncated = "unspecified";
        m_spillFailed = false;
    } else {
        exchange.truncated = std::move(truncated);
    }
    if (HeadComplete(exchange.responseHead)) {
        m_recorder->Record(std::move(exchange));
    }
}
