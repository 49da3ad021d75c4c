#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/URL.h"
#include "webkit/NSError.h"
#include "webkit/URLResponse.h"

class DownloadLink;

// The main-thread side of one transfer, shared by every download of the same address that starts
// before the server has answered: a page that embeds one movie two hundred times costs its server
// one request. Each download still hears each of its own callbacks, in order. The transfer writes
// the first destination chosen; a download that chose another goes on with a transfer of its own,
// so that what becomes of one file never decides another's. Main thread only.
class TransferGroup {
public:
    TransferGroup(URL url, uint64_t transferId);

    // A group for `address` whose response has not arrived yet, or null.
    static std::shared_ptr<TransferGroup> Joinable(const std::string& address);
    // A new group for `link`'s download of `url`, its transfer started; null when libcurl cannot
    // set one up.
    static std::shared_ptr<TransferGroup> Start(const URL& url,
                                                const std::shared_ptr<DownloadLink>& link);
    // Lets later downloads of the address join this group until its response arrives.
    static void Open(const std::shared_ptr<TransferGroup>& group);

    uint64_t TransferId() const { return m_transferId; }
    void Join(std::shared_ptr<DownloadLink> link);
    // A member was cancelled: once none is left, the transfer stops.
    void Left();

    void DeliverResponse(const URLResponse& response);
    void DeliverCreated();
    void DeliverData(uint64_t length);
    void DeliverFinish();
    void DeliverFailure(const NSError& error);

private:
    void Close();
    bool AnyLive() const;
    // Takes `member` out of this group onto a transfer of its own.
    void Separate(const std::shared_ptr<DownloadLink>& member);

    const URL m_url;
    const uint64_t m_transferId;
    std::vector<std::shared_ptr<DownloadLink>> m_members;
};
