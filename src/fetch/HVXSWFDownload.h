#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/NSObject.h"
#include "webkit/WebDownload.h"

class NSWindow;

// Fetches one caught movie into the capture folder and, once the fetch has finished, records it
// in the captured-SWF list. An instance keeps itself alive while its fetch runs and lets go of
// itself after the last callback, so whoever starts it need not keep it.
class HVXSWFDownload : public NSObject, public WebDownloadDelegate {
public:
    HVXSWFDownload();
    static Class ClassObject();
    static Ref<HVXSWFDownload> alloc();

    // downloadSWF:SaveTo:. A URL that cannot be fetched, or a name the folder cannot hold, is
    // refused before any transfer and kept among DownloadActivity's losses.
    void downloadSWF(const std::string& url, const std::string& savePath);
    // Cancels a running fetch (nothing is recorded) and lets go of the fetch's reference.
    void downloadSWFRelease();

    NSWindow* downloadWindowForAuthenticationSheet(WebDownload& download);
    void downloadDidBegin(WebDownload& download) override;
    void downloadDidReceiveResponse(WebDownload& download, const URLResponse& response) override;
    void downloadDecideDestinationWithSuggestedFilename(WebDownload& download,
                                                        const std::string& filename) override;
    void downloadDidReceiveDataOfLength(WebDownload& download, uint64_t length) override;
    bool downloadShouldDecodeSourceDataOfMIMEType(WebDownload& download,
                                                  const std::string& mimeType) override;
    void downloadDidCreateDestination(WebDownload& download, const std::string& path) override;
    void downloadDidFinish(WebDownload& download) override;
    void downloadDidFailWithError(WebDownload& download, const NSError& error) override;

    std::unique_ptr<WebDownload> download;
    std::string m_pSavePath;
    std::string urlString;
    int32_t receivedContentLength = 0;
    int32_t expectedContentLength = 0;

private:
    // The fetch has ended: drop the reference the running fetch held, outside the callback.
    // Only the first call after a start counts.
    void FetchEnded();

    bool m_fetchRunning = false;
};
