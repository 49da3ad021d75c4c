#include "webkit/Transfer.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <utility>

#include "foundation/RunLoop.h"
#include "webkit/ResponseReader.h"
#include "webkit/TransferGroup.h"

namespace {

constexpr long kConnectTimeoutSeconds = 30;
// A server that sends less than one byte a second for a minute is treated as gone, even when
// the rate limit is turned off.
constexpr long kLowSpeedBytesPerSecond = 1;
constexpr long kLowSpeedSeconds = 60;
constexpr long kMaxRedirects = 10;

long ErrorCodeFor(CURLcode result) {
    switch (result) {
    case CURLE_OPERATION_TIMEDOUT:
        return NSURLErrorTimedOut;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return NSURLErrorUnsupportedURL;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return NSURLErrorCannotFindHost;
    case CURLE_COULDNT_CONNECT:
        return NSURLErrorCannotConnectToHost;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return NSURLErrorNetworkConnectionLost;
    case CURLE_TOO_MANY_REDIRECTS:
        return NSURLErrorHTTPTooManyRedirects;
    case CURLE_HTTP_RETURNED_ERROR:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
        return NSURLErrorBadServerResponse;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
        return NSURLErrorSecureConnectionFailed;
    case CURLE_WRITE_ERROR:
        return NSURLErrorCannotWriteToFile;
    default:
        return NSURLErrorUnknown;
    }
}

std::string SecondsText(std::chrono::milliseconds duration) {
    char text[32];
    if (duration.count() % 1000 == 0) {
        std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(duration.count() / 1000));
    } else {
        std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(duration.count()) / 1000);
    }
    return text;
}

// Why the server's HTTP error status stopped the transfer, when libcurl's text would not tell
// a person what to do about it.
std::optional<std::string> StatusReason(long status) {
    switch (status) {
    case 401:
        return "the server asks for a login (HTTP 401)";
    case 407:
        return "the proxy asks for a login (HTTP 407)";
    default:
        return std::nullopt;
    }
}

} // namespace

std::unique_ptr<Transfer> Transfer::Create(const URL& url, std::shared_ptr<TransferGroup> group) {
    std::unique_ptr<Transfer> transfer(
        new Transfer(url, std::move(group), TransferLimits::Current()));
    if (!transfer->m_easy || !transfer->Configure()) {
        return nullptr;
    }
    return transfer;
}

Transfer::Transfer(URL url, std::shared_ptr<TransferGroup> group, TransferLimits limits)
    : m_id(group->TransferId()), m_url(std::move(url)), m_group(std::move(group)),
      m_easy(curl_easy_init()), m_limits(limits),
      m_rate(limits.minBytesPerSecond, limits.rateWindow) {
}

Transfer::~Transfer() = default;

bool Transfer::Configure() {
    CURL* easy = m_easy.get();
    bool ok = true;
    const auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };
    set(curl_easy_setopt(easy, CURLOPT_URL, m_url.absoluteString().c_str()));
    set(curl_easy_setopt(easy, CURLOPT_PRIVATE, this));
    set(curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnWrite));
    set(curl_easy_setopt(easy, CURLOPT_WRITEDATA, this));
    set(curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_curlError));
    set(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L));
    // Only the web: a page must not make the service read local files or reach other schemes,
    // not even through a redirect.
    set(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L));
    set(curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects));
    // An error page is not the file that was asked for.
    set(curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L));
    // Offer every encoding libcurl can decode; the file always holds decoded data.
    set(curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, ""));
    set(curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds));
    set(curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond));
    set(curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds));
    set(curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress));
    set(curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this));
    set(curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L));
    set(curl_easy_setopt(easy, CURLOPT_USERAGENT, "SWFHarvex/0.1"));
    if (std::shared_ptr<WireRecorder> recorder = WireRecorder::Current()) {
        m_tap = std::make_unique<WireTap>(std::move(recorder));
        ok = ok && m_tap->Attach(easy).ok();
    }
    return ok;
}

size_t Transfer::OnWrite(char* data, size_t size, size_t count, void* self) {
    return static_cast<Transfer*>(self)->Write(data, size * count);
}

size_t Transfer::Write(const char* data, size_t size) {
    switch (m_stage) {
    case Stage::AwaitingResponse:
        // The first body bytes mean the final response's headers are all in (redirects are
        // behind us). Hold the data in libcurl until the delegate has chosen the destination.
        PostResponse();
        m_stage = Stage::AwaitingDestination;
        m_rate.Pause(Clock::now());
        return CURL_WRITEFUNC_PAUSE;
    case Stage::AwaitingDestination:
        return CURL_WRITEFUNC_PAUSE;
    case Stage::Writing:
        break;
    }
    // Checked before writing, so a bomb stops at the limit instead of filling the disk first.
    if (std::optional<NSError> passed = SizeLimitPassed(size)) {
        m_stopError = std::move(passed);
        return 0; // aborts the transfer with CURLE_WRITE_ERROR
    }
    if (Outcome<> written = m_file->Write(std::string_view(data, size)); !written) {
        m_stopError =
            NSError{NSURLErrorDomain, NSURLErrorCannotWriteToFile, written.failure().message()};
        return 0;
    }
    m_written += size;
    Post([size](TransferGroup& group) { group.DeliverData(size); });
    return size;
}

std::optional<NSError> Transfer::SizeLimitPassed(uint64_t more) const {
    const uint64_t decoded = m_written + more;
    if (m_limits.maxMovieBytes != 0 && decoded > m_limits.maxMovieBytes) {
        return NSError{NSURLErrorDomain, NSURLErrorDataLengthExceedsMaximum,
                       "the movie is larger than the " + LimitBytesText(m_limits.maxMovieBytes) +
                           " limit (--max-movie-size)"};
    }
    if (m_limits.maxExpansion == 0 || decoded <= m_limits.expansionFloorBytes) {
        return std::nullopt;
    }
    // libcurl counts the bytes it received, before decoding them.
    curl_off_t received = 0;
    curl_easy_getinfo(m_easy.get(), CURLINFO_SIZE_DOWNLOAD_T, &received);
    if (decoded / m_limits.maxExpansion >
        static_cast<uint64_t>(std::max<curl_off_t>(received, 0))) {
        return NSError{NSURLErrorDomain, NSURLErrorDataLengthExceedsMaximum,
                       "the movie decodes to more than " + std::to_string(m_limits.maxExpansion) +
                           " times the bytes received (a compression bomb)"};
    }
    return std::nullopt;
}

int Transfer::OnProgress(void* self, curl_off_t /*expected*/, curl_off_t received,
                         curl_off_t /*toSend*/, curl_off_t /*sent*/) {
    // Any answer but 0 aborts the transfer with CURLE_ABORTED_BY_CALLBACK.
    return static_cast<Transfer*>(self)->WithinTime(
               static_cast<uint64_t>(std::max<curl_off_t>(received, 0)))
               ? 0
               : 1;
}

bool Transfer::WithinTime(uint64_t received) {
    const Clock::time_point now = Clock::now();
    if (!m_started) {
        m_started = now;
    }
    if (m_limits.totalTime.count() > 0 && now - *m_started >= m_limits.totalTime) {
        m_stopError = NSError{NSURLErrorDomain, NSURLErrorTimedOut,
                              "the transfer took longer than the " +
                                  SecondsText(m_limits.totalTime) + " limit (--transfer-timeout)"};
        return false;
    }
    if (!m_rate.Within(now, received)) {
        m_stopError = NSError{
            NSURLErrorDomain, NSURLErrorTimedOut,
            "the server sent less than " + std::to_string(m_limits.minBytesPerSecond) +
                " bytes a second over " + SecondsText(m_limits.rateWindow) + " (--min-rate)"};
        return false;
    }
    return true;
}

void Transfer::PostResponse() {
    URLResponse response = ResponseReader(m_easy.get(), m_url).Read();
    Post([response = std::move(response)](TransferGroup& group) {
        group.DeliverResponse(response);
    });
}

bool Transfer::Completed(CURLcode result) {
    if (m_tap) {
        m_tap->Finish(result);
    }
    if (result != CURLE_OK) {
        Fail(m_stopError.value_or(ErrorFor(result)));
        return true;
    }
    switch (m_stage) {
    case Stage::AwaitingResponse:
        // An empty body never reached the write callback.
        PostResponse();
        m_stage = Stage::AwaitingDestination;
        m_rate.Pause(Clock::now());
        m_bodyComplete = true;
        return false;
    case Stage::AwaitingDestination:
        // libcurl never ends a paused transfer; if it did, the held data would be lost.
        Fail(NSError{NSURLErrorDomain, NSURLErrorUnknown, "The transfer ended while paused."});
        return true;
    case Stage::Writing:
        break;
    }
    return Finish();
}

bool Transfer::DestinationChosen(const std::string& path, bool allowOverwrite) {
    if (m_stage != Stage::AwaitingDestination) {
        return false;
    }
    Outcome<StagedFile> file = StagedFile::CreateBeside(path);
    if (!file) {
        Fail(NSError{NSURLErrorDomain, NSURLErrorCannotCreateFile, file.failure().message()});
        return true;
    }
    m_file.emplace(std::move(file).value());
    m_allowOverwrite = allowOverwrite;
    m_stage = Stage::Writing;
    // The time the delegate took is ours, not the server's.
    m_rate.Resume(Clock::now());
    Post([](TransferGroup& group) { group.DeliverCreated(); });
    if (m_bodyComplete) {
        return Finish();
    }
    // Unpausing hands over the held data at once, through the write callback.
    const CURLcode resumed = curl_easy_pause(m_easy.get(), CURLPAUSE_CONT);
    if (resumed != CURLE_OK) {
        Fail(m_stopError.value_or(ErrorFor(resumed)));
        return true;
    }
    return false;
}

void Transfer::Abort() {
    Fail(NSError{NSURLErrorDomain, NSURLErrorCancelled, "The download service stopped."});
}

bool Transfer::Finish() {
    const auto existing =
        m_allowOverwrite ? StagedFile::Existing::Replace : StagedFile::Existing::Keep;
    // Whole or not at all is what the rename gives; waiting for the disk would cost each movie
    // more than its transfer (see WebDownload).
    if (Outcome<> committed = m_file->Commit(existing, StagedFile::Flush::None); !committed) {
        Fail(NSError{NSURLErrorDomain, NSURLErrorCannotMoveFile, committed.failure().message()});
        return true;
    }
    m_file.reset();
    Post([](TransferGroup& group) { group.DeliverFinish(); });
    return true;
}

void Transfer::Fail(const NSError& error) {
    // The partial file goes before the delegate hears of the failure.
    m_file.reset();
    Post([error](TransferGroup& group) { group.DeliverFailure(error); });
}

NSError Transfer::ErrorFor(CURLcode result) const {
    if (result == CURLE_HTTP_RETURNED_ERROR) {
        long status = 0;
        curl_easy_getinfo(m_easy.get(), CURLINFO_RESPONSE_CODE, &status);
        if (std::optional<std::string> reason = StatusReason(status)) {
            return NSError{NSURLErrorDomain, NSURLErrorUserAuthenticationRequired, *reason};
        }
    }
    std::string description = m_curlError[0] != '\0' ? m_curlError : curl_easy_strerror(result);
    return NSError{NSURLErrorDomain, ErrorCodeFor(result), description};
}

void Transfer::Post(std::function<void(TransferGroup&)> report) {
    RunLoop::Main().Post([group = m_group, report = std::move(report)] { report(*group); });
}
