#include "webkit/Transfer.h"

#include <string_view>
#include <utility>

#include "foundation/RunLoop.h"
#include "webkit/DownloadLink.h"
#include "webkit/ResponseReader.h"

namespace {

constexpr long kConnectTimeoutSeconds = 30;
// A server that sends less than one byte a second for a minute is treated as gone.
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

} // namespace

std::unique_ptr<Transfer> Transfer::Create(const URL& url, std::shared_ptr<DownloadLink> link) {
    std::unique_ptr<Transfer> transfer(new Transfer(url, std::move(link)));
    if (!transfer->m_easy || !transfer->Configure()) {
        return nullptr;
    }
    return transfer;
}

Transfer::Transfer(URL url, std::shared_ptr<DownloadLink> link)
    : m_id(link->Id()), m_url(std::move(url)), m_link(std::move(link)), m_easy(curl_easy_init()) {
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
    set(curl_easy_setopt(easy, CURLOPT_USERAGENT, "SWFHarvex/0.1"));
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
        return CURL_WRITEFUNC_PAUSE;
    case Stage::AwaitingDestination:
        return CURL_WRITEFUNC_PAUSE;
    case Stage::Writing:
        break;
    }
    if (Outcome<> written = m_file->Write(std::string_view(data, size)); !written) {
        m_writeError =
            NSError{NSURLErrorDomain, NSURLErrorCannotWriteToFile, written.failure().message()};
        return 0; // aborts the transfer with CURLE_WRITE_ERROR
    }
    Post([size](DownloadLink& link) { link.DeliverData(size); });
    return size;
}

void Transfer::PostResponse() {
    URLResponse response = ResponseReader(m_easy.get(), m_url).Read();
    Post([response = std::move(response)](DownloadLink& link) { link.DeliverResponse(response); });
}

bool Transfer::Completed(CURLcode result) {
    if (result != CURLE_OK) {
        Fail(m_writeError.value_or(ErrorFor(result)));
        return true;
    }
    switch (m_stage) {
    case Stage::AwaitingResponse:
        // An empty body never reached the write callback.
        PostResponse();
        m_stage = Stage::AwaitingDestination;
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
    Post([path](DownloadLink& link) { link.DeliverCreated(path); });
    if (m_bodyComplete) {
        return Finish();
    }
    // Unpausing hands over the held data at once, through the write callback.
    const CURLcode resumed = curl_easy_pause(m_easy.get(), CURLPAUSE_CONT);
    if (resumed != CURLE_OK) {
        Fail(m_writeError.value_or(ErrorFor(resumed)));
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
    if (Outcome<> committed = m_file->Commit(existing); !committed) {
        Fail(NSError{NSURLErrorDomain, NSURLErrorCannotMoveFile, committed.failure().message()});
        return true;
    }
    m_file.reset();
    Post([](DownloadLink& link) { link.DeliverFinish(); });
    return true;
}

void Transfer::Fail(const NSError& error) {
    // The partial file goes before the delegate hears of the failure.
    m_file.reset();
    Post([error](DownloadLink& link) { link.DeliverFailure(error); });
}

NSError Transfer::ErrorFor(CURLcode result) const {
    std::string description = m_curlError[0] != '\0' ? m_curlError : curl_easy_strerror(result);
    return NSError{NSURLErrorDomain, ErrorCodeFor(result), description};
}

void Transfer::Post(std::function<void(DownloadLink&)> report) {
    RunLoop::Main().Post([link = m_link, report = std::move(report)] { report(*link); });
}
