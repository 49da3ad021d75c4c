#include "RecordingDelegate.h"

#include <gtest/gtest.h>

#include "foundation/RunLoop.h"

bool RecordingDelegate::Start(const std::string& url) {
    const auto parsed = URL::URLWithString(url);
    if (!parsed) {
        return false;
    }
    m_download = WebDownload::initWithRequest(*parsed, *this);
    return m_download != nullptr;
}

std::vector<std::string> RecordingDelegate::Calls() const {
    std::vector<std::string> calls;
    for (const auto& call : m_calls) {
        if (call != "data" || calls.empty() || calls.back() != "data") {
            calls.push_back(call);
        }
    }
    return calls;
}

void RecordingDelegate::Record(const WebDownload& download, std::string call) {
    EXPECT_TRUE(RunLoop::IsMainThread()) << call;
    EXPECT_EQ(&download, m_download.get()) << call;
    EXPECT_FALSE(Ended()) << call << " after the end";
    m_calls.push_back(std::move(call));
}

void RecordingDelegate::downloadDidBegin(WebDownload& download) {
    Record(download, "begin");
}

void RecordingDelegate::downloadDidReceiveResponse(WebDownload& download,
                                                   const URLResponse& response) {
    Record(download, "response");
    m_response = response;
}

void RecordingDelegate::downloadDecideDestinationWithSuggestedFilename(
    WebDownload& download, const std::string& filename) {
    Record(download, "decide");
    m_suggested = filename;
    if (m_destination) {
        download.setDestination(*m_destination, m_allowOverwrite);
    }
}

void RecordingDelegate::downloadDidCreateDestination(WebDownload& download,
                                                     const std::string& path) {
    Record(download, "create");
    m_created = path;
}

void RecordingDelegate::downloadDidReceiveDataOfLength(WebDownload& download, uint64_t length) {
    Record(download, "data");
    m_bytes += length;
    if (onFirstData) {
        auto once = std::move(onFirstData);
        onFirstData = nullptr;
        once(*this);
    }
}

void RecordingDelegate::downloadDidFinish(WebDownload& download) {
    Record(download, "finish");
    m_finished = true;
}

void RecordingDelegate::downloadDidFailWithError(WebDownload& download, const NSError& error) {
    Record(download, "fail");
    m_error = error;
}
