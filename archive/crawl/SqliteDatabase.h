#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "foundation/Outcome.h"

struct sqlite3;
struct sqlite3_stmt;

struct SqliteClose {
    void operator()(sqlite3* handle) const;
};
struct SqliteFinalize {
    void operator()(sqlite3_stmt* statement) const;
};

// One SQLite database file, open for as long as the object lives; each failure names the file
// and what SQLite said.
class SqliteDatabase {
public:
    // A statement with its values bound; Step runs it a row at a time.
    class Statement {
    public:
        ~Statement() = default;
        Statement(const Statement&) = delete;
        Statement& operator=(const Statement&) = delete;
        Statement(Statement&& other) noexcept = default;
        Statement& operator=(Statement&&) = delete;

        // True while there is a row to read.
        Outcome<bool> Step();
        std::string Text(int column) const;
        int64_t Integer(int column) const;

    private:
        friend class SqliteDatabase;
        Statement(SqliteDatabase& database, sqlite3_stmt* statement)
            : m_database(&database), m_statement(statement) {}
        SqliteDatabase* m_database;
        std::unique_ptr<sqlite3_stmt, SqliteFinalize> m_statement;
    };
    using Value = std::variant<std::string, int64_t>;

    static Outcome<std::unique_ptr<SqliteDatabase>> Open(const std::filesystem::path& path);
    ~SqliteDatabase() = default;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;
    SqliteDatabase(SqliteDatabase&&) = delete;
    SqliteDatabase& operator=(SqliteDatabase&&) = delete;

    // Runs statements that take no values and give no rows.
    Outcome<> Execute(const std::string& sql);
    Outcome<Statement> Prepare(const std::string& sql, const std::vector<Value>& values = {});
    // Runs one statement with its values to its end.
    Outcome<> Run(const std::string& sql, const std::vector<Value>& values = {});
    // Rows the last statement changed.
    int64_t changes() const;

private:
    explicit SqliteDatabase(std::filesystem::path path) : m_path(std::move(path)) {}
    Failure Failed(const std::string& doing) const;

    std::filesystem::path m_path;
    std::unique_ptr<sqlite3, SqliteClose> m_handle;
};
