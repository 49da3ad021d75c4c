#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/defaults/StringsFile.h"

// The `.strings` grammar, one pass over the text. Used by StringsFile only.
class StringsParser {
public:
    explicit StringsParser(std::string_view text);
    StringsFile Run();

private:
    bool AtEnd() const { return m_pos >= m_text.size(); }
    char Peek() const { return m_text[m_pos]; }
    void Advance();
    // Skips blanks, newlines and comments; false (with the fault recorded) on an open comment.
    bool SkipSpace();
    // A quoted string or a bare word; null (with the fault recorded) when there is none.
    std::optional<std::string> Token(const char* what);
    std::optional<std::string> Quoted();
    bool Escape(std::string& out);
    std::optional<uint32_t> HexUnit();
    bool Fail(size_t line, std::string reason);

    std::string_view m_text;
    size_t m_pos = 0;
    size_t m_line = 1;
    StringsFile m_result;
};
