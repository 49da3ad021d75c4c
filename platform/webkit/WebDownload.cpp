#include "webkit/WebDownload.h"

#include "foundation/RunLoop.h"
#include "webkit/DownloadActivity.h"
#include "webkit/DownloadLink.h"
#include "webkit/Transfer.h"
#include "webkit/TransferEngine.h"

std::unique_ptr<WebDownload> WebDownload::initWithRequest(const URL& url,
                                                          WebDownloadDelegate& delegate) {
    HVX_ASSERT_MAIN_THREAD();
    if (!url.IsHTTP()) {
        return nullptr;
    }
    TransferEngine& engine = TransferEngine::Instance();
    std::unique_ptr<WebDownload> download(new WebDownload(url));
    auto link = std::make_shared<DownloadLink>(*download, delegate);
    auto transfer = Transfer::Create(url, link);
    if (!transfer) {
        return nullptr;
    }
    download->m_link = link;
    DownloadActivity::Shared().Began(link->Id(), url.absoluteString());
    // Posted before the transfer exists on the engine's thread, so it comes first; and not
    // delivered before the caller has the download in hand.
    RunLoop::Main().Post([link] { link->DeliverBegin(); });
    engine.Start(std::move(transfer));
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
