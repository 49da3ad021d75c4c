#include "fetch/HVXSWFDownload.h"

#include "appkit/NSAlert.h"
#include "appkit/NSApplication.h"
#include "capture/CaptureRecords.h"
#include "foundation/PathString.h"
#include "foundation/RunLoop.h"
#include "foundation/objects/RuntimeClass.h"
#include "webkit/DownloadActivity.h"

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
    std::optional<URL> parsed = URL::URLWithString(url);
    if (parsed) {
        download = WebDownload::initWithRequest(*parsed, *this);
    }
    m_pSavePath = savePath;
    if (!download) {
        // Kept with the losses, so a run without windows can still say which movie it missed.
        DownloadActivity::Shared().Refused(url, parsed && !parsed->IsHTTP()
                                                    ? "only http and https movies are fetched"
                                                    : "not a usable address");
        NSBeginAlertSheet("Invalid or unsupported URL", "", "", "", NSApp().mainWindow(),
                          "The entered URL is either invalid or unsupported.");
        return;
    }
    retain(); // the running fetch keeps its delegate alive; FetchEnded lets go
}

void HVXSWFDownload::downloadSWFRelease() {
    if (download) {
        download.reset();
        receivedContentLength = 0;
    }
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
        receivedContentLength += static_cast<int32_t>(length);
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
    // Released from a task of its own: the fetch that is calling us must not be destroyed
    // under its own feet.
    RunLoop::Main().Post([self = Ref<HVXSWFDownload>::Adopt(this)] {});
}
