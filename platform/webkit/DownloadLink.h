#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "webkit/NSError.h"
#include "webkit/URLResponse.h"

class TransferGroup;
class WebDownload;
class WebDownloadDelegate;

// The main-thread side of one download, shared by the WebDownload and by the transfer group that
// delivers the transfer's reports to it. It outlives the WebDownload, so a report that arrives
// after the download was cancelled or destroyed finds it ended and reaches no delegate. Main
// thread only, except Id().
class DownloadLink {
public:
    DownloadLink(WebDownload& owner, WebDownloadDelegate& delegate);

    uint64_t Id() const { return m_id; }
    bool Live() const { return m_owner != nullptr && !m_ended; }
    const std::optional<std::string>& Destination() const { return m_destination; }
    bool AllowsOverwrite() const { return m_allowOverwrite; }

    void SetGroup(const std::shared_ptr<TransferGroup>& group) { m_group = group; }
    void SetDestination(std::string path, bool allowOverwrite);
    // Stops the transfer; nothing more is delivered.
    void Cancel();
    // The owner is going away: cancel and forget it.
    void Detach();

    // Once only: a download that joined a running transfer may hear it from the transfer first.
    void DeliverBegin();
    // Response, then the destination decision; true when the download goes on with a destination
    // (without one it fails here).
    bool DeliverResponse(const URLResponse& response);
    void DeliverCreated();
    void DeliverData(uint64_t length);
    void DeliverFinish();
    void DeliverFailure(const NSError& error);

private:
    const uint64_t m_id;
    WebDownload* m_owner;            // not owned; null once destroyed
    WebDownloadDelegate* m_delegate; // not owned; the client keeps it alive
    std::weak_ptr<TransferGroup> m_group;
    bool m_begun = false;
    bool m_responded = false;
    bool m_ended = false;
    std::optional<std::string> m_destination;
    bool m_allowOverwrite = false;
};
