#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <curl/curl.h>

#include "foundation/StagedFile.h"
#include "foundation/URL.h"
#include "webkit/NSError.h"
#include "webkit/RateWindow.h"
#include "webkit/TransferLimits.h"
#include "webkit/WireRecording.h"

class TransferGroup;

// One transfer's libcurl handle and file, on the transfer engine's thread. It reports to its
// TransferGroup (the downloads that share it) by posting tasks to the main run loop. Until the
// delegate has chosen the destination the transfer stays paused, so nothing piles up in memory. It
// gives up when the server goes past one of the process's TransferLimits, as they stood when it was
// created.
class Transfer {
public:
    // Main thread. Null when libcurl cannot set up the transfer.
    static std::unique_ptr<Transfer> Create(const URL& url, std::shared_ptr<TransferGroup> group);
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    Transfer(Transfer&&) = delete;
    Transfer& operator=(Transfer&&) = delete;

    uint64_t Id() const { return m_id; }
    CURL* Easy() const { return m_easy.get(); }

    // The rest runs on the engine's thread. Each answers true when the transfer is over (its
    // final report posted) and the engine may drop it.

    // libcurl is done with the transfer, with this result.
    bool Completed(CURLcode result);
    // The delegate chose the destination.
    bool DestinationChosen(const std::string& path, bool allowOverwrite);
    // The engine is stopping.
    void Abort();

private:
    enum class Stage { AwaitingResponse, AwaitingDestination, Writing };

    struct EasyDeleter {
        void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
    };

    using Clock = std::chrono::steady_clock;

    Transfer(URL url, std::shared_ptr<TransferGroup> group, TransferLimits limits);
    bool Configure();

    static size_t OnWrite(char* data, size_t size, size_t count, void* self);
    size_t Write(const char* data, size_t size);
    static int OnProgress(void* self, curl_off_t, curl_off_t received, curl_off_t, curl_off_t);
    bool WithinTime(uint64_t received);
    // The failure that `more` decoded bytes would cause, if any.
    std::optional<NSError> SizeLimitPassed(uint64_t more) const;

    void PostResponse();
    bool Finish();
    void Fail(const NSError& error);
    NSError ErrorFor(CURLcode result) const;
    void Post(std::function<void(TransferGroup&)> report);

    const uint64_t m_id;
    const URL m_url;
    std::shared_ptr<TransferGroup> m_group;
    std::unique_ptr<CURL, EasyDeleter> m_easy;
    char m_curlError[CURL_ERROR_SIZE] = {};
    const TransferLimits m_limits;

    Stage m_stage = Stage::AwaitingResponse;
    bool m_bodyComplete = false; // finished before the destination was known (empty body)
    bool m_allowOverwrite = false;
    std::unique_ptr<WireTap> m_tap;   // while a recorder is installed
    std::optional<StagedFile> m_file; // the body so far, hidden beside the destination
    uint64_t m_written = 0;           // decoded bytes handed to m_file
    // Why we stopped libcurl from a callback; its own result code would only say that we did.
    std::optional<NSError> m_stopError;

    // Time limits: from the first progress report, as a transfer may wait for a connection
    // before it starts.
    std::optional<Clock::time_point> m_started;
    RateWindow m_rate;
};
