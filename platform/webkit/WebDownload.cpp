#include "webkit/WebDownload.h"

#include "foundation/RunLoop.h"
#include "webkit/DownloadActivity.h"
#include "webkit/DownloadLink.h"
#include "webkit/Transfer.h"
#include "webkit/TransferEngine.h"
#include "webkit/TransferGroup.h"

std::unique_ptr<WebDownload> WebDownload::initWithRequest(const URL& url,
                                                          WebDownloadDelegate& delegate) {
    HVX_ASSERT_MAIN_THREAD();
    if (!url.IsHTTP()) {
        return nullptr;
    }
    std::unique_ptr<WebDownload> download(new WebDownload(url));
    auto link = std::make_shared<DownloadLink>(*download, delegate);
    const std::string& address = url.absoluteString();
    if (std::shared_ptr<TransferGroup> running = TransferGroup::Joinable(address)) {
        running->Join(link);
        link->SetGroup(running);
    } else if (std::shared_ptr<TransferGroup> started = TransferGroup::Start(url, link)) {
        TransferGroup::Open(started);
    } else {
        return nullptr;
    }
    download->m_link = link;
    DownloadActivity::Shared().Began(link->Id(), address);
    // Not delivered before the caller has the download in hand. A response that comes sooner
    // delivers it first itself.
    RunLoop::Main().Post([link] { link->DeliverBegin(); });
    return download;
}

void WebDownload::Shutdown() {
    TransferEngine::Instance().Shutdown();
}

WebDownload::WebDownload(URL url) : m_url(std::move(url)) {
}

WebDownload::~WebDownload() {
    HVX_ASSERT_MAIN_THREAD();
    if (m_link) {
        m_link->Detach();
    }
}

void WebDownload::setDestination(const std::string& path, bool allowOverwrite) {
    m_link->SetDestination(path, allowOverwrite);
}

void WebDownload::cancel() {
    m_link->Cancel();
}
