#include "webkit/DownloadLink.h"

#include <atomic>

#include "foundation/RunLoop.h"
#include "webkit/DownloadActivity.h"
#include "webkit/TransferGroup.h"
#include "webkit/WebDownload.h"

namespace {
uint64_t NextId() {
    static std::atomic<uint64_t> next{1};
    return next++;
}
} // namespace

DownloadLink::DownloadLink(WebDownload& owner, WebDownloadDelegate& delegate)
    : m_id(NextId()), m_owner(&owner), m_delegate(&delegate) {
}

void DownloadLink::SetDestination(std::string path, bool allowOverwrite) {
    HVX_ASSERT_MAIN_THREAD();
    m_destination = std::move(path);
    m_allowOverwrite = allowOverwrite;
}

void DownloadLink::Cancel() {
    HVX_ASSERT_MAIN_THREAD();
    if (!m_ended) {
        m_ended = true;
        DownloadActivity::Shared().Ended(m_id, false);
        if (std::shared_ptr<TransferGroup> group = m_group.lock()) {
            group->Left();
        }
    }
}

void DownloadLink::Detach() {
    Cancel();
    m_owner = nullptr;
}

// Each delivery checks Live() again after every delegate call: the delegate may cancel or
// destroy the download from inside any callback.

void DownloadLink::DeliverBegin() {
    if (Live() && !m_begun) {
        m_begun = true;
        m_delegate->downloadDidBegin(*m_owner);
    }
}

bool DownloadLink::DeliverResponse(const URLResponse& response) {
    if (!Live()) {
        return false;
    }
    // Heard already, from a transfer it shared before its destination took it to one of its own.
    if (m_responded) {
        return true;
    }
    m_responded = true;
    DownloadActivity::Shared().Responded(m_id, response.expectedContentLength);
    m_delegate->downloadDidReceiveResponse(*m_owner, response);
    if (!Live()) {
        return false;
    }
    m_delegate->downloadDecideDestinationWithSuggestedFilename(*m_owner,
                                                               response.suggestedFilename);
    if (!Live()) {
        return false;
    }
    if (!m_destination || m_destination->empty()) {
        WebDownload& owner = *m_owner;
        Cancel();
        m_delegate->downloadDidFailWithError(owner,
                                             NSError{NSURLErrorDomain, NSURLErrorCannotCreateFile,
                                                     "The download has no destination."});
        return false;
    }
    DownloadActivity::Shared().Destined(m_id, *m_destination);
    return true;
}

void DownloadLink::DeliverCreated() {
    if (Live()) {
        m_delegate->downloadDidCreateDestination(*m_owner, *m_destination);
    }
}

void DownloadLink::DeliverData(uint64_t length) {
    if (Live()) {
        DownloadActivity::Shared().Received(m_id, length);
        m_delegate->downloadDidReceiveDataOfLength(*m_owner, length);
    }
}

void DownloadLink::DeliverFinish() {
    if (Live()) {
        m_ended = true;
        DownloadActivity::Shared().Ended(m_id, true);
        m_delegate->downloadDidFinish(*m_owner);
    }
}

void DownloadLink::DeliverFailure(const NSError& error) {
    if (Live()) {
        m_ended = true;
        const bool local = error.code == NSURLErrorCannotCreateFile ||
                           error.code == NSURLErrorCannotWriteToFile ||
                           error.code == NSURLErrorCannotMoveFile;
        DownloadActivity::Shared().Ended(m_id, false, error.localizedDescription, local);
        m_delegate->downloadDidFailWithError(*m_owner, error);
    }
}
