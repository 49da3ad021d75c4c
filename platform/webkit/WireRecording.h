#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <curl/curl.h>

#include "foundation/Outcome.h"
#include "foundation/StagedFile.h"

// One HTTP exchange as it went over the wire: the request as sent, the response's head as
// received, and its body as transferred (transfer and content codings still on). A redirect's
// every hop is an exchange of its own.
struct WireExchange {
    std::string targetURI;
    std::chrono::system_clock::time_point date;
    std::string request;      // request line and headers, with their blank line
    std::string responseHead; // status line and headers, with their blank line
    // The body: in memory while it is small, in a file of its own (removed with the exchange)
    // once it is not.
    std::string payload;
    std::optional<StagedFile> payloadSpill;
    std::string ipAddress;
    // Why the body is not whole ("length", "time", "disconnect", "unspecified"); "" when it is.
    std::string truncated;
};

// Where the process's exchanges go, for whoever archives them (a crawl writing WARC). Record is
// called on the thread that made the transfer, before that transfer reports its end, so what a
// transfer brought is recorded before anyone learns it is done.
class WireRecorder {
public:
    virtual ~WireRecorder() = default;
    virtual void Record(WireExchange exchange) = 0;

    // The recorder transfers started from now on report to; null turns recording off.
    static void Install(std::shared_ptr<WireRecorder> recorder);
    static std::shared_ptr<WireRecorder> Current();
};

// Taps one libcurl handle: libcurl's debug output (the headers as sent and received, the body's
// bytes before decoding) is cut into exchanges, each handed to the recorder when the next request
// starts or the transfer ends.
class WireTap {
public:
    explicit WireTap(std::shared_ptr<WireRecorder> recorder) : m_recorder(std::move(recorder)) {}

    // Sets the handle up to report to this tap, which must outlive the transfer.
    Outcome<> Attach(CURL* easy);
    // The transfer ended with `result`: the exchange in hand is recorded (a cut one as such).
    void Finish(CURLcode result);

private:
    static int OnDebug(CURL* easy, curl_infotype type, char* data, size_t size, void* self);
    void Saw(CURL* easy, curl_infotype type, const char* data, size_t size);
    void AddPayload(const char* data, size_t size);
    void Hand(std::string truncated);

    std::shared_ptr<WireRecorder> m_recorder;
    std::optional<WireExchange> m_exchange;
    bool m_spillFailed = false;
};
