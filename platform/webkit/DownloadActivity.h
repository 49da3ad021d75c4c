#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// What every download of the process is doing, for progress displays: kept up to date by the
// download service on the main thread, read on the main thread.
class DownloadActivity {
public:
    struct Progress {
        std::string url;
        std::string destination;     // "" until the delegate has chosen one
        int64_t expectedLength = -1; // -1 until, or unless, a length is announced
        uint64_t received = 0;       // decoded bytes
        std::chrono::steady_clock::time_point started;
    };

    // How the latest transfer of a URL stands.
    enum class TransferState { Running, Finished, Failed };

    // Why a movie at an address that is neither http nor https is not caught.
    static constexpr const char* kOnlyWebMovies = "only http and https movies are fetched";

    // A movie that was asked for and not caught, and why.
    struct Loss {
        std::string url;
        std::string reason;
        // Lost on our side (its file could not be written: a full disk), not the server's.
        bool local = false;
    };

    static DownloadActivity& Shared();

    // One line for a progress display: file name, bytes, percent, rate.
    // "12 B", "3.4 MB": decimal units, as a person reads them.
    static std::string BytesText(double bytes);
    static std::string ProgressLine(const Progress& progress,
                                    std::chrono::steady_clock::time_point now);

    std::vector<Progress> Running() const;
    size_t RunningCount() const { return m_running.size(); }
    uint64_t FinishedCount() const { return m_finished; }
    uint64_t FailedCount() const { return m_failed; }
    // Decoded bytes received by every transfer so far.
    uint64_t BytesReceived() const { return m_bytesReceived; }
    // None when the URL was never fetched in this process.
    std::optional<TransferState> StateOf(const std::string& url) const;

    void Began(uint64_t id, std::string url);
    void Responded(uint64_t id, int64_t expectedLength);
    void Destined(uint64_t id, std::string destination);
    void Received(uint64_t id, uint64_t length);
    // Finished, failed or cancelled; only the first end of a download counts. A download that
    // did not finish is kept among the losses with `reason`.
    void Ended(uint64_t id, bool finished, std::string reason = {}, bool local = false);
    // A movie refused before any transfer began (its address or its name could not be used).
    void Refused(std::string url, std::string reason);
    // Every loss of the process, in the order they happened.
    const std::vector<Loss>& Losses() const { return m_losses; }

    // Main thread: `listener` runs after each end, until removed by the id it was given.
    uint64_t AddEndListener(std::function<void()> listener);
    void RemoveEndListener(uint64_t listenerId);

private:
    DownloadActivity() = default;

    std::map<uint64_t, Progress> m_running;
    std::map<std::string, TransferState> m_stateByURL;
    std::map<uint64_t, std::function<void()>> m_endListeners;
    std::vector<Loss> m_losses;
    uint64_t m_nextListener = 1;
    uint64_t m_finished = 0;
    uint64_t m_failed = 0;
    uint64_t m_bytesReceived = 0;
};
