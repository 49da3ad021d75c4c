#include "crawl/SqliteDatabase.h"

#include <cstring>

#include <sqlite3.h>

void SqliteClose::operator()(sqlite3* handle) const {
    sqlite3_close_v2(handle);
}

void SqliteFinalize::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

Outcome<std::unique_ptr<SqliteDatabase>> SqliteDatabase::Open(const std::filesystem::path& path) {
    std::unique_ptr<SqliteDatabase> database(new SqliteDatabase(path));
    sqlite3* handle = nullptr;
    const int opened =
        sqlite3_open_v2(path.c_str(), &handle,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    database->m_handle.reset(handle); // closed even when the open failed
    if (opened != SQLITE_OK) {
        return database->Failed("cannot be opened");
    }
    // Another process on the same state waits its turn a while rather than failing at once.
    sqlite3_busy_timeout(handle, 5000);
    return database;
}

Failure SqliteDatabase::Failed(const std::string& doing) const {
    if (!m_handle) {
        return Failure{m_path.string(), doing + ": no memory"};
    }
    std::string why = doing + ": " + sqlite3_errmsg(m_handle.get());
    // "disk I/O error" alone does not tell a person that the disk is full.
    if (const int error = sqlite3_system_errno(m_handle.get()); error != 0) {
        why += " (" + std::string(std::strerror(error)) + ")";
    }
    return Failure{m_path.string(), why};
}

Outcome<> SqliteDatabase::Execute(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(m_handle.get(), sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        Failure failure{m_path.string(), message != nullptr ? message : "failed"};
        sqlite3_free(message);
        return failure;
    }
    return {};
}

Outcome<SqliteDatabase::Statement> SqliteDatabase::Prepare(const std::string& sql,
                                                           const std::vector<Value>& values) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_handle.get(), sql.c_str(), static_cast<int>(sql.size()), &raw,
                           nullptr) != SQLITE_OK) {
        return Failed("cannot prepare \"" + sql + "\"");
    }
    Statement statement(*this, raw);
    for (size_t i = 0; i < values.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        const int status =
            std::holds_alternative<int64_t>(values[i])
                ? sqlite3_bind_int64(raw, index, std::get<int64_t>(values[i]))
                : sqlite3_bind_text(raw, index, std::get<std::string>(values[i]).data(),
                                    static_cast<int>(std::get<std::string>(values[i]).size()),
                                    SQLITE_TRANSIENT);
        if (status != SQLITE_OK) {
            return Failed("cannot bind a value");
        }
    }
    return statement;
}

Outcome<> SqliteDatabase::Run(const std::string& sql, const std::vector<Value>& values) {
    Outcome<Statement> statement = Prepare(sql, values);
    if (!statement) {
        return statement.failure();
    }
    while (true) {
        Outcome<bool> row = statement.value().Step();
        if (!row) {
            return row.failure();
        }
        if (!row.value()) {
            return {};
        }
    }
}

int64_t SqliteDatabase::changes() const {
    return sqlite3_changes(m_handle.get());
}

Outcome<bool> SqliteDatabase::Statement::Step() {
    const int status = sqlite3_step(m_statement.get());
    if (status == SQLITE_ROW) {
        return true;
    }
    if (status == SQLITE_DONE) {
        return false;
    }
    return m_database->Failed("a statement failed");
}

std::string SqliteDatabase::Statement::Text(int column) const {
    const unsigned char* text = sqlite3_column_text(m_statement.get(), column);
    return text == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char*>(text),
                             static_cast<size_t>(sqlite3_column_bytes(m_statement.get(), column)));
}

int64_t SqliteDatabase::Statement::Integer(int column) const {
    return sqlite3_column_int64(m_statement.get(), column);
}
