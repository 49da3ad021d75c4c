#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "crawl/Frontier.h"
#include "crawl/RedisClient.h"

// A crawl's frontier in Redis, shared by every worker that opens it with the crawl's id: the
// queue (shallowest first, then in the order found), the seen set, each page's state, the
// settings. A worker takes a page with a lease of `leaseTime`, which it renews while it works; a
// lease that lapses (its worker died, or its machine) puts the page back in the queue for the
// next worker that takes one. Each step is one script, so workers never see half of another's.
// Opening it again as the same worker takes back what that worker held, as a resumed crawl does.
class RedisFrontier final : public Frontier {
public:
    struct Options {
        std::string crawlId;
        std::string workerId;
        std::chrono::milliseconds leaseTime{60'000};
        // How long an unreachable server is waited for, with a growing pause, before a step
        // fails.
        std::chrono::milliseconds patience{300'000};
        // Renews the leases from a thread of its own (on a connection of its own) every third
        // of the lease time, so that a worker busy for a while does not lose them; without it,
        // Renew() does.
        bool renewInBackground = false;
    };

    static Outcome<std::unique_ptr<RedisFrontier>> Open(std::unique_ptr<RedisClient> client,
                                                        Options options);
    ~RedisFrontier() override;
    RedisFrontier(const RedisFrontier&) = delete;
    RedisFrontier& operator=(const RedisFrontier&) = delete;
    RedisFrontier(RedisFrontier&&) = delete;
    RedisFrontier& operator=(RedisFrontier&&) = delete;

    Outcome<bool> Add(const std::string& address, int depth) override;
    Outcome<std::optional<FrontierPage>> Take() override;
    Outcome<> Finish(const std::string& address, bool done, const std::string& reason) override;
    Outcome<FrontierCounts> Counts() override;
    Outcome<std::vector<std::pair<std::string, std::string>>> Failures() override;
    Outcome<> Remember(const std::string& key, const std::string& value) override;
    Outcome<std::optional<std::string>> Recall(const std::string& key) override;

    bool shared() const override { return true; }
    // Extends the leases of every page this worker holds by the lease time from now.
    Outcome<> Renew() override;
    // A key per host that expires after the delay, set by whichever worker starts a page there.
    Outcome<std::chrono::milliseconds> HostTurn(const std::string& origin,
                                                std::chrono::milliseconds delay) override;

private:
    RedisFrontier(std::unique_ptr<RedisClient> client, Options options)
        : m_client(std::move(client)), m_options(std::move(options)) {}
    // One of the frontier's scripts over its keys, as a command.
    std::vector<std::string> Script(const char* script,
                                    const std::vector<std::string>& arguments) const;
    Outcome<RedisReply> Run(const char* script, const std::vector<std::string>& arguments);
    void RenewEvery(std::unique_ptr<RedisClient> client);
    // A command, sent again while the server is unreachable (within the patience).
    Outcome<RedisReply> Patiently(const std::vector<std::string>& command);
    std::string Key(const char* name) const;

    std::unique_ptr<RedisClient> m_client;
    Options m_options;
    // The background renewal, stopped when the frontier goes.
    std::mutex m_renewLock;
    std::condition_variable m_renewWake;
    bool m_closing = false;
    std::thread m_renewer;
};
