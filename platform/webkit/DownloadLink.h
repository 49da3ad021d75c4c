#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "webkit/NSError.h"
#include "webkit/URLResponse.h"

class WebDownload;
class WebDownloadDelegate;

// The main-thread side of one download, shared by the WebDownload and by every task the
// transfer posts. It outlives the WebDownload, so a task that runs after the download was
// cancelled or destroyed finds it ended and reaches no delegate. Main thread only, except Id().
class DownloadLink {
public:
    DownloadLink(WebDownload& owner, WebDownloadDelegate& delegate);

    uint64_t Id() const { return m_id; }

    void SetDestination(std::string path, bool allowOverwrite);
    // Stops the transfer; nothing more is delivered.
    void Cancel();
    // The owner is going away: cancel and forget it.
    void Detach();

    void DeliverBegin();
    // Response, then the destination decision, which goes back to the transfer.
    void DeliverResponse(const URLResponse& response);
    void DeliverCreated(const std::string& path);
    void DeliverData(uint64_t length);
    void DeliverFinish();
    void DeliverFailure(const NSError& error);

private:
    bool Live() const { return m_owner != nullptr && !m_ended; }

    const uint64_t m_id;
    WebDownload* m_owner;            // not owned; null once destroyed
    WebDownloadDelegate* m_delegate; // not owned; the client keeps it alive
    bool m_ended = false;
    std::optional<std::string> m_destination;
    bool m_allowOverwrite = false;
};
