#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/Outcome.h"

// A page the crawl has taken on.
struct FrontierPage {
    std::string address; // normalised (page_address)
    int depth = 0;       // links from a seed
};

struct FrontierCounts {
    uint64_t queued = 0;
    uint64_t taken = 0; // being fetched
    uint64_t done = 0;
    uint64_t failed = 0;
};

// The crawl's memory: what is queued, everything ever seen, each page's state, and the settings
// the crawl was started with. Whatever it said has happened survives the process (a kill
// included); pages taken and never finished go back to the queue when a crawl resumes.
class Frontier {
public:
    Frontier() = default;
    virtual ~Frontier() = default;
    Frontier(const Frontier&) = delete;
    Frontier& operator=(const Frontier&) = delete;
    Frontier(Frontier&&) = delete;
    Frontier& operator=(Frontier&&) = delete;

    // Queues a page unless it was ever seen; answers whether it was new.
    virtual Outcome<bool> Add(const std::string& address, int depth) = 0;
    // The next queued page, shallowest first and in the order added; none when none is queued.
    virtual Outcome<std::optional<FrontierPage>> Take() = 0;
    // A taken page is done, or failed (`reason` says why).
    virtual Outcome<> Finish(const std::string& address, bool done,
                             const std::string& reason = {}) = 0;
    virtual Outcome<FrontierCounts> Counts() = 0;
    // Why each failed page failed, by address (for the report at the end).
    virtual Outcome<std::vector<std::pair<std::string, std::string>>> Failures() = 0;

    // What the crawl was started with (seeds, options, where its archive goes), so that a resume
    // needs nothing but the state.
    virtual Outcome<> Remember(const std::string& key, const std::string& value) = 0;
    virtual Outcome<std::optional<std::string>> Recall(const std::string& key) = 0;

    // Whether other processes (workers) take from this frontier too.
    virtual bool shared() const = 0;
    // Keeps this process's hold on the pages it has taken (a shared frontier's leases).
    virtual Outcome<> Renew() = 0;
    // Zero when this process may start a page of `origin` (scheme, host and port) now, which then
    // waits `delay` for the next page any process of the crawl starts there; else how long to wait.
    virtual Outcome<std::chrono::milliseconds> HostTurn(const std::string& origin,
                                                        std::chrono::milliseconds delay) = 0;
};
