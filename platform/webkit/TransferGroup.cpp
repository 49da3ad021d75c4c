#include "webkit/TransferGroup.h"

#include <map>

#include "foundation/RunLoop.h"
#include "webkit/DownloadActivity.h"
#include "webkit/DownloadLink.h"
#include "webkit/Transfer.h"
#include "webkit/TransferEngine.h"

namespace {

std::map<std::string, std::weak_ptr<TransferGroup>>& OpenGroups() {
    static std::map<std::string, std::weak_ptr<TransferGroup>> groups;
    return groups;
}

} // namespace

TransferGroup::TransferGroup(URL url, uint64_t transferId)
    : m_url(std::move(url)), m_transferId(transferId) {
}

std::shared_ptr<TransferGroup> TransferGroup::Start(const URL& url,
                                                    const std::shared_ptr<DownloadLink>& link) {
    auto group = std::make_shared<TransferGroup>(url, link->Id());
    std::unique_ptr<Transfer> transfer = Transfer::Create(url, group);
    if (!transfer) {
        return nullptr;
    }
    group->Join(link);
    link->SetGroup(group);
    TransferEngine::Instance().Start(std::move(transfer));
    return group;
}

std::shared_ptr<TransferGroup> TransferGroup::Joinable(const std::string& address) {
    HVX_ASSERT_MAIN_THREAD();
    auto found = OpenGroups().find(address);
    if (found == OpenGroups().end()) {
        return nullptr;
    }
    std::shared_ptr<TransferGroup> group = found->second.lock();
    if (!group || !group->AnyLive()) {
        OpenGroups().erase(found);
        return nullptr;
    }
    return group;
}

void TransferGroup::Open(const std::shared_ptr<TransferGroup>& group) {
    HVX_ASSERT_MAIN_THREAD();
    OpenGroups()[group->m_url.absoluteString()] = group;
}

void TransferGroup::Close() {
    auto found = OpenGroups().find(m_url.absoluteString());
    if (found != OpenGroups().end() && found->second.lock().get() == this) {
        OpenGroups().erase(found);
    }
}

void TransferGroup::Join(std::shared_ptr<DownloadLink> link) {
    m_members.push_back(std::move(link));
}

void TransferGroup::Separate(const std::shared_ptr<DownloadLink>& member) {
    std::erase(m_members, member);
    // It has heard its response already: the new transfer's goes straight to its destination.
    if (!Start(m_url, member)) {
        member->DeliverFailure(NSError{NSURLErrorDomain, NSURLErrorCannotCreateFile,
                                       "The download could not be set up."});
    }
}

bool TransferGroup::AnyLive() const {
    for (const auto& member : m_members) {
        if (member->Live()) {
            return true;
        }
    }
    return false;
}

void TransferGroup::Left() {
    if (!AnyLive()) {
        Close();
        TransferEngine::Instance().Cancel(m_transferId);
    }
}

// Each delivery walks a copy of the members: any delegate call may cancel or destroy its own
// download or another one.

void TransferGroup::DeliverResponse(const URLResponse& response) {
    Close();
    const std::vector<std::shared_ptr<DownloadLink>> members = m_members;
    std::shared_ptr<DownloadLink> writer;
    for (const auto& member : members) {
        // A download that joined while this report was on its way has not begun yet.
        member->DeliverBegin();
        if (!member->DeliverResponse(response)) {
            continue;
        }
        if (!writer) {
            writer = member;
        } else if (*member->Destination() != *writer->Destination()) {
            Separate(member);
        }
    }
    // The first to choose may have been cancelled since; any other left here chose the same file.
    for (const auto& member : m_members) {
        if (member->Live() && member->Destination()) {
            TransferEngine::Instance().Resume(m_transferId, *member->Destination(),
                                              member->AllowsOverwrite());
            return;
        }
    }
}

void TransferGroup::DeliverCreated() {
    const std::vector<std::shared_ptr<DownloadLink>> members = m_members;
    for (const auto& member : members) {
        member->DeliverCreated();
    }
}

void TransferGroup::DeliverData(uint64_t length) {
    const std::vector<std::shared_ptr<DownloadLink>> members = m_members;
    for (const auto& member : members) {
        member->DeliverData(length);
    }
}

void TransferGroup::DeliverFinish() {
    Close();
    const std::vector<std::shared_ptr<DownloadLink>> members = m_members;
    for (const auto& member : members) {
        member->DeliverFinish();
    }
}

void TransferGroup::DeliverFailure(const NSError& error) {
    Close();
    const std::vector<std::shared_ptr<DownloadLink>> members = m_members;
    for (const auto& member : members) {
        member->DeliverFailure(error);
    }
}
