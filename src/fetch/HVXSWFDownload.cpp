#include "fetch/HVXSWFDownload.h"

#include <climits>
#include <optional>

#include <unistd.h>

#include "appkit/NSAlert.h"
#include "appkit/NSApplication.h"
#include "capture/CaptureRecords.h"
#include "foundation/PathString.h"
#include "foundation/RunLoop.h"
#include "foundation/objects/RuntimeClass.h"
#include "webkit/DownloadActivity.h"

namespace {

constexpr const char* kUnusableURL = "The entered URL is either invalid or unsupported.";

// A name the folder cannot hold would be fetched whole and then lost at the final rename.
std::optional<std::string> NameTooLong(const std::string& path) {
    const std::string name = lastPathComponent(path);
    long limit = ::pathconf(stringByDeletingLastPathComponent(path).c_str(), _PC_NAME_MAX);
    if (limit <= 0) {
        limit = NAME_MAX;
    }
    if (name.size() <= static_cast<size_t>(limit)) {
        return std::nullopt;
    }
    return "the file name is " + std::to_string(name.size()) + " bytes long; the folder allows " +
           std::to_string(limit);
}

} // namespace

HVXSWFDownload::HVXSWFDownload() : NSObject(ClassObject()) {
}

Class HVXSWFDownload::ClassObject() {
    static Class cls =
        RegisterRuntimeClass<HVXSWFDownload>("HVXSWFDownload", NSObject::RootClass());
    return cls;
}

Ref<HVXSWFDownload> HVXSWFDownload::alloc() {
    return MakeRef<HVXSWFDownload>();
}

void HVXSWFDownload::downloadSWF(const std::string& url, const std::string& savePath) {
    urlString = url;
    m_pSavePath = savePath;
    std::optional<URL> parsed = URL::URLWithString(url);
    if (parsed && parsed->IsHTTP()) {
        if (std::optional<std::string> tooLong = NameTooLong(savePath)) {
            DownloadActivity::Shared().Refused(url, *tooLong);
            return;
        }
        download = WebDownload::initWithRequest(*parsed, *this);
    }
    if (!download) {
        // Kept with the losses, so a run without windows can still say which movie it missed.
        DownloadActivity::Shared().Refused(url, parsed && !parsed->IsHTTP()
                                                    ? DownloadActivity::kOnlyWebMovies
                                                    : "not a usable address");
        NSBeginAlertSheet("Invalid or unsupported URL", "", "", "", NSApp().mainWindow(),
                          kUnusableURL);
        return;
    }
    m_fetchRunning = true;
    retain(); // the running fetch keeps its delegate alive; FetchEnded lets go
}

void HVXSWFDownload::downloadSWFRelease() {
    if (download) {
        download.reset(); // cancels a running fetch: no callback, so no FetchEnded, follows
        receivedContentLength = 0;
    }
    FetchEnded();
}

NSWindow* HVXSWFDownload::downloadWindowForAuthenticationSheet(WebDownload& /*download*/) {
    return NSApp().mainWindow();
}

void HVXSWFDownload::downloadDidBegin(WebDownload& /*download*/) {
}

void HVXSWFDownload::downloadDidReceiveResponse(WebDownload& /*download*/,
                                                const URLResponse& response) {
    expectedContentLength = static_cast<int32_t>(response.expectedContentLength);
}

void HVXSWFDownload::downloadDecideDestinationWithSuggestedFilename(
    WebDownload& fetch, const std::string& /*filename*/) {
    fetch.setDestination(m_pSavePath, true);
}

void HVXSWFDownload::downloadDidReceiveDataOfLength(WebDownload& /*download*/, uint64_t length) {
    if (expectedContentLength > 0) {
        // The field is 32 bits wide: past 4 GiB it wraps, as it always did, but by defined
        // unsigned arithmetic rather than signed overflow.
        const uint64_t total = static_cast<uint32_t>(receivedContentLength) + length;
        receivedContentLength = static_cast<int32_t>(static_cast<uint32_t>(total));
    }
}

bool HVXSWFDownload::downloadShouldDecodeSourceDataOfMIMEType(WebDownload& /*download*/,
                                                              const std::string& /*mimeType*/) {
    return true;
}

void HVXSWFDownload::downloadDidCreateDestination(WebDownload& /*download*/,
                                                  const std::string& path) {
    m_pSavePath = path;
}

void HVXSWFDownload::downloadDidFinish(WebDownload& /*download*/) {
    HVX_ASSERT_MAIN_THREAD();
    RecordCapturedSWF({lastPathComponent(m_pSavePath), urlString});
    FetchEnded();
}

void HVXSWFDownload::downloadDidFailWithError(WebDownload& /*download*/, const NSError& /*error*/) {
    HVX_ASSERT_MAIN_THREAD();
    FetchEnded();
}

void HVXSWFDownload::FetchEnded() {
    if (!m_fetchRunning) {
        return;
    }
    m_fetchRunning = false;
    // Released from a task of its own: the fetch that is calling us must not be destroyed
    // under its own feet.
    RunLoop::Main().Post([self = Ref<HVXSWFDownload>::Adopt(this)] {});
}
