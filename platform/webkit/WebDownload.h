#pragma once

#include <memory>
#include <string>

#include "foundation/URL.h"
#include "webkit/WebDownloadDelegate.h"

class DownloadLink;

// Fetches one http or https URL into a file the delegate chooses. The transfer runs on the
// transfer engine's thread; the delegate hears about it on the main run loop. The data goes into
// a hidden temporary file beside the destination and is renamed onto it only when complete, so
// no reader ever sees half a file, and a failed or cancelled download leaves nothing behind.
// Like a browser's downloads, a finished file is not flushed to disk: the kernel writes it back
// in its own time, and a power cut may cost it. Files the user keeps are flushed by whatever
// copies them there.
class WebDownload {
public:
    // Main thread. Starts at once; null for a URL this service does not fetch (anything but http
    // and https). The delegate is not owned and must outlive the download.
    static std::unique_ptr<WebDownload> initWithRequest(const URL& url,
                                                        WebDownloadDelegate& delegate);

    // Stops the transfer engine and joins its thread; running downloads fail as cancelled.
    static void Shutdown();

    WebDownload(const WebDownload&) = delete;
    WebDownload& operator=(const WebDownload&) = delete;
    WebDownload(WebDownload&&) = delete;
    WebDownload& operator=(WebDownload&&) = delete;
    // Cancels a running download; no callback reaches the delegate afterwards.
    ~WebDownload();

    // Main thread; meant for the delegate's decide-destination callback. Without
    // `allowOverwrite` the download fails when the destination exists when it finishes.
    void setDestination(const std::string& path, bool allowOverwrite);
    // Main thread. Stops the transfer, removes the partial file; no callback follows.
    void cancel();

    const URL& request() const { return m_url; }

private:
    explicit WebDownload(URL url);

    URL m_url;
    std::shared_ptr<DownloadLink> m_link;
};
