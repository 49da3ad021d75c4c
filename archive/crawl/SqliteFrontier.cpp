#include "crawl/SqliteFrontier.h"

namespace {

// A page's state, as stored.
enum State : int64_t { kQueued = 0, kTaken = 1, kDone = 2, kFailed = 3 };

} // namespace

Outcome<std::unique_ptr<SqliteFrontier>> SqliteFrontier::Open(const std::filesystem::path& file) {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    Outcome<std::unique_ptr<SqliteDatabase>> database = SqliteDatabase::Open(file);
    if (!database) {
        return database.failure();
    }
    std::unique_ptr<SqliteFrontier> frontier(new SqliteFrontier(std::move(database.value())));
    SqliteDatabase& db = *frontier->m_database;
    // Pages in the order added (rowid), the queue read by state, depth and that order.
    Outcome<> made = db.Execute(
        "PRAGMA journal_mode=WAL;"
        "PRAGMA synchronous=NORMAL;"
        "CREATE TABLE IF NOT EXISTS pages(address TEXT PRIMARY KEY, depth INTEGER NOT NULL,"
        " state INTEGER NOT NULL, reason TEXT NOT NULL DEFAULT '');"
        "CREATE INDEX IF NOT EXISTS queue ON pages(state, depth);"
        "CREATE TABLE IF NOT EXISTS settings(key TEXT PRIMARY KEY, value TEXT NOT NULL);");
    if (!made) {
        return made.failure();
    }
    // Whoever had taken these is gone.
    if (Outcome<> requeued = db.Run("UPDATE pages SET state = ? WHERE state = ?",
                                    {int64_t{kQueued}, int64_t{kTaken}});
        !requeued) {
        return requeued.failure();
    }
    return frontier;
}

Outcome<bool> SqliteFrontier::Add(const std::string& address, int depth) {
    if (Outcome<> added =
            m_database->Run("INSERT OR IGNORE INTO pages(address, depth, state) VALUES(?, ?, ?)",
                            {address, int64_t{depth}, int64_t{kQueued}});
        !added) {
        return added.failure();
    }
    return m_database->changes() > 0;
}

Outcome<std::optional<FrontierPage>> SqliteFrontier::Take() {
    Outcome<SqliteDatabase::Statement> next = m_database->Prepare(
        "SELECT address, depth FROM pages WHERE state = ? ORDER BY depth, rowid LIMIT 1",
        {int64_t{kQueued}});
    if (!next) {
        return next.failure();
    }
    Outcome<bool> row = next.value().Step();
    if (!row) {
        return row.failure();
    }
    if (!row.value()) {
        return std::optional<FrontierPage>();
    }
    FrontierPage page{next.value().Text(0), static_cast<int>(next.value().Integer(1))};
    if (Outcome<> taken = m_database->Run("UPDATE pages SET state = ? WHERE address = ?",
                                          {int64_t{kTaken}, page.address});
        !taken) {
        return taken.failure();
    }
    return std::optional<FrontierPage>(std::move(page));
}

Outcome<> SqliteFrontier::Finish(const std::string& address, bool done, const std::string& reason) {
    return m_database->Run("UPDATE pages SET state = ?, reason = ? WHERE address = ?",
                           {int64_t{done ? kDone : kFailed}, reason, address});
}

Outcome<FrontierCounts> SqliteFrontier::Counts() {
    Outcome<SqliteDatabase::Statement> counts =
        m_database->Prepare("SELECT state, COUNT(*) FROM pages GROUP BY state");
    if (!counts) {
        return counts.failure();
    }
    FrontierCounts result;
    while (true) {
        Outcome<bool> row = counts.value().Step();
        if (!row) {
            return row.failure();
        }
        if (!row.value()) {
            return result;
        }
        const auto count = static_cast<uint64_t>(counts.value().Integer(1));
        switch (counts.value().Integer(0)) {
        case kQueued:
            result.queued = count;
            break;
        case kTaken:
            result.taken = count;
            break;
        case kDone:
            result.done = count;
            break;
        default:
            result.failed += count;
            break;
        }
    }
}

Outcome<std::vector<std::pair<std::string, std::string>>> SqliteFrontier::Failures() {
    Outcome<SqliteDatabase::Statement> failed = m_database->Prepare(
        "SELECT address, reason FROM pages WHERE state = ? ORDER BY rowid", {int64_t{kFailed}});
    if (!failed) {
        return failed.failure();
    }
    std::vector<std::pair<std::string, std::string>> failures;
    while (true) {
        Outcome<bool> row = failed.value().Step();
        if (!row) {
            return row.failure();
        }
        if (!row.value()) {
            return failures;
        }
        failures.emplace_back(failed.value().Text(0), failed.value().Text(1));
    }
}

Outcome<> SqliteFrontier::Remember(const std::string& key, const std::string& value) {
    return m_database->Run("INSERT OR REPLACE INTO settings(key, value) VALUES(?, ?)",
                           {key, value});
}

Outcome<std::optional<std::string>> SqliteFrontier::Recall(const std::string& key) {
    Outcome<SqliteDatabase::Statement> read =
        m_database->Prepare("SELECT value FROM settings WHERE key = ?", {key});
    if (!read) {
        return read.failure();
    }
    Outcome<bool> row = read.value().Step();
    if (!row) {
        return row.failure();
    }
    return row.value() ? std::optional<std::string>(read.value().Text(0)) : std::nullopt;
}

Outcome<std::chrono::milliseconds> SqliteFrontier::HostTurn(const std::string& origin,
                                                            std::chrono::milliseconds delay) {
    const auto now = std::chrono::steady_clock::now();
    auto& next = m_nextStart[origin];
    if (now < next) {
        return std::chrono::ceil<std::chrono::milliseconds>(next - now);
    }
    next = now + delay;
    return std::chrono::milliseconds(0);
}
