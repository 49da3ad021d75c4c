#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <curl/curl.h>

class Transfer;

// The process's one transfer thread: a libcurl multi handle running every download at once.
// Started by the first transfer, stopped and joined by Shutdown() or at process exit. Other
// threads talk to it only through the command queue.
class TransferEngine {
public:
    static TransferEngine& Instance();

    TransferEngine(const TransferEngine&) = delete;
    TransferEngine& operator=(const TransferEngine&) = delete;
    TransferEngine(TransferEngine&&) = delete;
    TransferEngine& operator=(TransferEngine&&) = delete;

    void Start(std::unique_ptr<Transfer> transfer);
    void Resume(uint64_t id, std::string destination, bool allowOverwrite);
    void Cancel(uint64_t id);
    // Joins the thread; transfers still running fail as cancelled. A later Start starts afresh.
    void Shutdown();

private:
    struct Command {
        enum class Kind { Start, Resume, Cancel };
        Kind kind = Kind::Start;
        uint64_t id = 0;
        std::unique_ptr<Transfer> transfer;
        std::string destination;
        bool allowOverwrite = false;
    };
    struct Entry {
        std::unique_ptr<Transfer> transfer;
        bool inMulti = false;
    };
    struct MultiDeleter {
        void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
    };

    TransferEngine();
    ~TransferEngine();

    void Submit(Command command);

    // The worker thread's side.
    void Run();
    void Execute(Command& command);
    void CollectFinished();
    void Drop(uint64_t id);
    void AbortAll(std::vector<Command>& leftover);

    std::mutex m_lifecycle; // held by Submit and Shutdown: the thread and m_multi stay put
    std::thread m_worker;
    std::unique_ptr<CURLM, MultiDeleter> m_multi;

    std::mutex m_queueMutex;
    std::vector<Command> m_queue; // guarded by m_queueMutex
    bool m_stopping = false;      // guarded by m_queueMutex

    std::map<uint64_t, Entry> m_transfers; // worker thread only
};
