#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

// A string table in the original platform's `.strings` syntax:
//
//     /* comment */  "key" = "value";   // comment
//
// Keys and values are quoted (or bare words of letters, digits and `_$+/:.-`); `"key";` alone
// maps the key to itself; a later entry replaces an earlier one. Escapes: \" \\ \n \t \r \a \b
// \f \v, \UXXXX or \uXXXX (UTF-16, surrogate pairs joined) to UTF-8; any other escaped
// character stands for itself. Input is UTF-8, a leading byte-order mark is skipped.
class StringsFile {
public:
    using Table = std::unordered_map<std::string, std::string>;

    // Never fails as a whole: on malformed input the entries before the fault are kept and the
    // fault is recorded.
    static StringsFile Parse(std::string_view text);
    // Null when the file cannot be read. A malformed file logs one line naming the file, the
    // line and the reason, and answers the entries read before the fault.
    static std::optional<StringsFile> Load(const std::string& path);

    const Table& entries() const { return m_entries; }
    bool ok() const { return m_errorLine == 0; }
    // 1-based line of the fault; 0 when there is none.
    size_t errorLine() const { return m_errorLine; }
    const std::string& errorReason() const { return m_errorReason; }

private:
    friend class StringsParser;
    Table m_entries;
    size_t m_errorLine = 0;
    std::string m_errorReason;
};
