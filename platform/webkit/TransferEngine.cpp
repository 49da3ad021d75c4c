#include "webkit/TransferEngine.h"

#include "foundation/Log.h"
#include "foundation/RunLoop.h"
#include "webkit/Transfer.h"

namespace {
// Upper bound on a wait in curl_multi_poll; commands wake the thread earlier.
constexpr int kPollMilliseconds = 1000;
// A page may embed hundreds of movies from one host. Like a browser, open at most six
// connections to it and queue the rest. Six also cannot overrun the listen queue of a server
// that asks for a backlog of five (Python's http.server, cpp-httplib), which holds six: a seventh
// connection's SYN would be dropped there, and the kernel resends it only a second later.
constexpr long kConnectionsPerHost = 6;
} // namespace

TransferEngine& TransferEngine::Instance() {
    // The run loop the transfers post to must outlive the engine's last report.
    RunLoop::Main();
    static TransferEngine engine;
    return engine;
}

TransferEngine::TransferEngine() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

TransferEngine::~TransferEngine() {
    Shutdown();
    curl_global_cleanup();
}

void TransferEngine::Start(std::unique_ptr<Transfer> transfer) {
    Command command;
    command.kind = Command::Kind::Start;
    command.id = transfer->Id();
    command.transfer = std::move(transfer);
    Submit(std::move(command));
}

void TransferEngine::Resume(uint64_t id, std::string destination, bool allowOverwrite) {
    Command command;
    command.kind = Command::Kind::Resume;
    command.id = id;
    command.destination = std::move(destination);
    command.allowOverwrite = allowOverwrite;
    Submit(std::move(command));
}

void TransferEngine::Cancel(uint64_t id) {
    Command command;
    command.kind = Command::Kind::Cancel;
    command.id = id;
    Submit(std::move(command));
}

void TransferEngine::Submit(Command command) {
    const std::lock_guard lifecycle(m_lifecycle);
    if (!m_worker.joinable()) {
        if (command.kind != Command::Kind::Start) {
            return; // the transfer ended with the last run of the thread
        }
        m_multi.reset(curl_multi_init());
        if (!m_multi) {
            NSLog("WebDownload: cannot start the transfer engine");
            std::vector<Command> lost;
            lost.push_back(std::move(command));
            AbortAll(lost);
            return;
        }
        curl_multi_setopt(m_multi.get(), CURLMOPT_MAX_HOST_CONNECTIONS, kConnectionsPerHost);
        m_stopping = false;
        m_worker = std::thread([this] { Run(); });
    }
    {
        const std::lock_guard lock(m_queueMutex);
        m_queue.push_back(std::move(command));
    }
    curl_multi_wakeup(m_multi.get());
}

void TransferEngine::Shutdown() {
    const std::lock_guard lifecycle(m_lifecycle);
    if (!m_worker.joinable()) {
        return;
    }
    {
        const std::lock_guard lock(m_queueMutex);
        m_stopping = true;
    }
    curl_multi_wakeup(m_multi.get());
    m_worker.join();
    m_multi.reset();
}

void TransferEngine::Run() {
    for (;;) {
        std::vector<Command> commands;
        {
            const std::lock_guard lock(m_queueMutex);
            commands.swap(m_queue);
            if (m_stopping) {
                AbortAll(commands);
                return;
            }
        }
        for (Command& command : commands) {
            Execute(command);
        }
        int running = 0;
        curl_multi_perform(m_multi.get(), &running);
        CollectFinished();
        curl_multi_poll(m_multi.get(), nullptr, 0, kPollMilliseconds, nullptr);
    }
}

void TransferEngine::Execute(Command& command) {
    switch (command.kind) {
    case Command::Kind::Start: {
        CURL* easy = command.transfer->Easy();
        Entry& entry = m_transfers[command.id];
        entry.transfer = std::move(command.transfer);
        entry.inMulti = curl_multi_add_handle(m_multi.get(), easy) == CURLM_OK;
        if (!entry.inMulti && entry.transfer->Completed(CURLE_FAILED_INIT)) {
            m_transfers.erase(command.id);
        }
        break;
    }
    case Command::Kind::Resume: {
        const auto found = m_transfers.find(command.id);
        if (found != m_transfers.end() && found->second.transfer->DestinationChosen(
                                              command.destination, command.allowOverwrite)) {
            Drop(command.id);
        }
        break;
    }
    case Command::Kind::Cancel:
        Drop(command.id);
        break;
    }
}

void TransferEngine::CollectFinished() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi.get(), &left)) {
        if (message->msg != CURLMSG_DONE) {
            continue;
        }
        // The message dies with the handle's removal: read it first.
        CURL* easy = message->easy_handle;
        const CURLcode result = message->data.result;
        char* raw = nullptr;
        curl_easy_getinfo(easy, CURLINFO_PRIVATE, &raw);
        auto* transfer = reinterpret_cast<Transfer*>(raw);
        curl_multi_remove_handle(m_multi.get(), easy);
        const auto found = m_transfers.find(transfer->Id());
        if (found == m_transfers.end()) {
            continue;
        }
        found->second.inMulti = false;
        if (transfer->Completed(result)) {
            m_transfers.erase(found);
        }
    }
}

void TransferEngine::Drop(uint64_t id) {
    const auto found = m_transfers.find(id);
    if (found == m_transfers.end()) {
        return;
    }
    if (found->second.inMulti) {
        curl_multi_remove_handle(m_multi.get(), found->second.transfer->Easy());
    }
    m_transfers.erase(found); // removes any partial file
}

void TransferEngine::AbortAll(std::vector<Command>& leftover) {
    for (Command& command : leftover) {
        if (command.kind == Command::Kind::Start) {
            command.transfer->Abort();
        }
    }
    for (auto& [id, entry] : m_transfers) {
        if (entry.inMulti) {
            curl_multi_remove_handle(m_multi.get(), entry.transfer->Easy());
        }
        entry.transfer->Abort();
    }
    m_transfers.clear();
}
