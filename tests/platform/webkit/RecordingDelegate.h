#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "webkit/WebDownload.h"

// A download delegate that writes down what it hears, checks that every call comes on the main
// thread, and chooses the destination it was given.
class RecordingDelegate : public WebDownloadDelegate {
public:
    explicit RecordingDelegate(std::optional<std::string> destination = std::nullopt,
                               bool allowOverwrite = true)
        : m_destination(std::move(destination)), m_allowOverwrite(allowOverwrite) {}

    // Starts a download of `url` with this delegate; the download is kept here.
    bool Start(const std::string& url);
    std::unique_ptr<WebDownload>& Download() { return m_download; }

    // Calls names in order, runs of data collapsed into one "data".
    std::vector<std::string> Calls() const;
    bool Ended() const { return m_finished || m_error.has_value(); }
    bool Finished() const { return m_finished; }
    const std::optional<NSError>& Error() const { return m_error; }
    const std::optional<URLResponse>& Response() const { return m_response; }
    const std::string& SuggestedFilename() const { return m_suggested; }
    const std::string& CreatedPath() const { return m_created; }
    uint64_t BytesReceived() const { return m_bytes; }
    size_t CallCount() const { return m_calls.size(); }

    // Runs once, inside the first data callback.
    std::function<void(RecordingDelegate&)> onFirstData;

    void downloadDidBegin(WebDownload& download) override;
    void downloadDidReceiveResponse(WebDownload& download, const URLResponse& response) override;
    void downloadDecideDestinationWithSuggestedFilename(WebDownload& download,
                                                        const std::string& filename) override;
    void downloadDidCreateDestination(WebDownload& download, const std::string& path) override;
    void downloadDidReceiveDataOfLength(WebDownload& download, uint64_t length) override;
    void downloadDidFinish(WebDownload& download) override;
    void downloadDidFailWithError(WebDownload& download, const NSError& error) override;

private:
    void Record(const WebDownload& download, std::string call);

    std::optional<std::string> m_destination;
    bool m_allowOverwrite;
    std::unique_ptr<WebDownload> m_download;
    std::vector<std::string> m_calls;
    bool m_finished = false;
    std::optional<NSError> m_error;
    std::optional<URLResponse> m_response;
    std::string m_suggested;
    std::string m_created;
    uint64_t m_bytes = 0;
};
