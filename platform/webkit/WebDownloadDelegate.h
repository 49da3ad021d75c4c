#pragma once

#include <cstdint>
#include <string>

#include "webkit/NSError.h"
#include "webkit/URLResponse.h"

class WebDownload;

// The download delegate protocol. Every call arrives on the main thread, in this order: begin,
// response, decide destination, create destination, data (any number), then exactly one of
// finish or fail. A failure may come at any point after begin.
class WebDownloadDelegate {
public:
    WebDownloadDelegate() = default;
    virtual ~WebDownloadDelegate() = default;

    virtual void downloadDidBegin(WebDownload& /*download*/) {}
    virtual void downloadDidReceiveResponse(WebDownload& /*download*/,
                                            const URLResponse& /*response*/) {}
    // Answer by calling download.setDestination(); without a destination the download fails.
    virtual void downloadDecideDestinationWithSuggestedFilename(WebDownload& /*download*/,
                                                                const std::string& /*filename*/) {}
    // `path` is the final destination; the data lands there only when the download finishes.
    virtual void downloadDidCreateDestination(WebDownload& /*download*/,
                                              const std::string& /*path*/) {}
    // `length` counts decoded bytes, as written to the file.
    virtual void downloadDidReceiveDataOfLength(WebDownload& /*download*/, uint64_t /*length*/) {}
    virtual bool downloadShouldDecodeSourceDataOfMIMEType(WebDownload& /*download*/,
                                                          const std::string& /*mime*/) {
        return true;
    }
    virtual void downloadDidFinish(WebDownload& /*download*/) {}
    virtual void downloadDidFailWithError(WebDownload& /*download*/, const NSError& /*error*/) {}

protected:
    WebDownloadDelegate(const WebDownloadDelegate&) = default;
    WebDownloadDelegate& operator=(const WebDownloadDelegate&) = default;
    WebDownloadDelegate(WebDownloadDelegate&&) = default;
    WebDownloadDelegate& operator=(WebDownloadDelegate&&) = default;
};
