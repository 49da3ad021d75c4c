#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "crawl/Frontier.h"
#include "crawl/SqliteDatabase.h"

// The frontier of a crawl on one machine, in one SQLite file (write-ahead log: a step the frontier
// has answered is on disk, whatever happens to the process next). Opening it again resumes: the
// pages a dead process had taken are queued again.
class SqliteFrontier final : public Frontier {
public:
    static Outcome<std::unique_ptr<SqliteFrontier>> Open(const std::filesystem::path& file);

    Outcome<bool> Add(const std::string& address, int depth) override;
    Outcome<std::optional<FrontierPage>> Take() override;
    Outcome<> Finish(const std::string& address, bool done, const std::string& reason) override;
    Outcome<FrontierCounts> Counts() override;
    Outcome<std::vector<std::pair<std::string, std::string>>> Failures() override;
    Outcome<> Remember(const std::string& key, const std::string& value) override;
    Outcome<std::optional<std::string>> Recall(const std::string& key) override;
    // One process holds the file: nothing to share, nothing leased, the hosts' turns in memory.
    bool shared() const override { return false; }
    Outcome<> Renew() override { return {}; }
    Outcome<std::chrono::milliseconds> HostTurn(const std::string& origin,
                                                std::chrono::milliseconds delay) override;

private:
    explicit SqliteFrontier(std::unique_ptr<SqliteDatabase> database)
        : m_database(std::move(database)) {}

    std::unique_ptr<SqliteDatabase> m_database;
    std::map<std::string, std::chrono::steady_clock::time_point> m_nextStart; // by origin
};
