#include "foundation/defaults/StringsParser.h"

#include <cstdio>
#include <utility>

namespace {

bool IsBareWordChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || c == '_' ||
           c == '$' || c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        uint32_t cp = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07u;
        } else {
            return false;
        }
        if (text.size() - i < length) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (next & 0x3Fu);
        }
        if ((length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string Describe(char c) {
    const auto u = static_cast<unsigned char>(c);
    char buffer[16];
    if (u >= 0x21 && u < 0x7F) {
        std::snprintf(buffer, sizeof buffer, "'%c'", c);
    } else {
        std::snprintf(buffer, sizeof buffer, "byte 0x%02X", u);
    }
    return buffer;
}

constexpr uint32_t kReplacementCharacter = 0xFFFD;

} // namespace

StringsParser::StringsParser(std::string_view text) : m_text(text) {
}

void StringsParser::Advance() {
    if (m_text[m_pos] == '\n') {
        ++m_line;
    }
    ++m_pos;
}

bool StringsParser::Fail(size_t line, std::string reason) {
    m_result.m_errorLine = line;
    m_result.m_errorReason = std::move(reason);
    return false;
}

bool StringsParser::SkipSpace() {
    while (!AtEnd()) {
        if (IsSpace(Peek())) {
            Advance();
        } else if (m_text.substr(m_pos, 2) == "//") {
            while (!AtEnd() && Peek() != '\n') {
                Advance();
            }
        } else if (m_text.substr(m_pos, 2) == "/*") {
            const size_t start = m_line;
            const size_t close = m_text.find("*/", m_pos + 2);
            if (close == std::string_view::npos) {
                return Fail(start, "unterminated comment");
            }
            while (m_pos < close + 2) {
                Advance();
            }
        } else {
            break;
        }
    }
    return true;
}

std::optional<std::string> StringsParser::Token(const char* what) {
    if (AtEnd()) {
        std::string reason("end of file where ");
        reason += what;
        reason += " should be";
        Fail(m_line, std::move(reason));
        return std::nullopt;
    }
    if (Peek() == '"') {
        return Quoted();
    }
    if (!IsBareWordChar(Peek())) {
        std::string reason("unexpected ");
        reason += Describe(Peek());
        reason += " where ";
        reason += what;
        reason += " should be";
        Fail(m_line, std::move(reason));
        return std::nullopt;
    }
    std::string word;
    while (!AtEnd() && IsBareWordChar(Peek()) && m_text.substr(m_pos, 2) != "//" &&
           m_text.substr(m_pos, 2) != "/*") {
        word += Peek();
        Advance();
    }
    return word;
}

std::optional<std::string> StringsParser::Quoted() {
    const size_t start = m_line;
    Advance(); // the opening quote
    std::string out;
    for (;;) {
        if (AtEnd()) {
            Fail(start, "unterminated string");
            return std::nullopt;
        }
        const char c = Peek();
        if (c == '"') {
            Advance();
            break;
        }
        Advance();
        if (c != '\\') {
            out += c;
        } else if (AtEnd()) {
            Fail(start, "unterminated string");
            return std::nullopt;
        } else if (!Escape(out)) {
            return std::nullopt;
        }
    }
    if (!IsValidUtf8(out)) {
        Fail(start, "a string is not valid UTF-8");
        return std::nullopt;
    }
    return out;
}

bool StringsParser::Escape(std::string& out) {
    const char c = Peek();
    Advance();
    switch (c) {
    case 'n':
        out += '\n';
        return true;
    case 't':
        out += '\t';
        return true;
    case 'r':
        out += '\r';
        return true;
    case 'a':
        out += '\a';
        return true;
    case 'b':
        out += '\b';
        return true;
    case 'f':
        out += '\f';
        return true;
    case 'v':
        out += '\v';
        return true;
    case 'U':
    case 'u':
        break;
    default:
        out += c; // \" \\ and anything else: the character itself
        return true;
    }
    const std::optional<uint32_t> unit = HexUnit();
    if (!unit) {
        return false;
    }
    uint32_t cp = *unit;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
        // A high surrogate only means something with the low one that must follow it.
        const std::string_view next = m_text.substr(m_pos, 2);
        if (next == "\\U" || next == "\\u") {
            Advance();
            Advance();
            const std::optional<uint32_t> low = HexUnit();
            if (!low) {
                return false;
            }
            if (*low >= 0xDC00 && *low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00);
            } else {
                AppendUtf8(out, kReplacementCharacter);
                cp = *low;
            }
        } else {
            cp = kReplacementCharacter;
        }
    }
    if (cp >= 0xD800 && cp <= 0xDFFF) {
        cp = kReplacementCharacter; // a lone surrogate has no UTF-8 form
    }
    AppendUtf8(out, cp);
    return true;
}

std::optional<uint32_t> StringsParser::HexUnit() {
    uint32_t unit = 0;
    for (int k = 0; k < 4; ++k) {
        const int digit = AtEnd() ? -1 : HexValue(Peek());
        if (digit < 0) {
            Fail(m_line, "\\U escape needs four hex digits");
            return std::nullopt;
        }
        unit = (unit << 4) | static_cast<uint32_t>(digit);
        Advance();
    }
    return unit;
}

StringsFile StringsParser::Run() {
    if (m_text.substr(0, 3) == "\xEF\xBB\xBF") {
        m_pos = 3;
    } else if (m_text.substr(0, 2) == "\xFF\xFE" || m_text.substr(0, 2) == "\xFE\xFF") {
        Fail(1, "UTF-16 text; the file must be UTF-8");
        return std::move(m_result);
    }
    while (SkipSpace() && !AtEnd()) {
        // A missing ';' belongs to the line its entry ended on, not where the next one starts.
        std::optional<std::string> key = Token("a key");
        const size_t keyLine = m_line;
        if (!key || !SkipSpace()) {
            break;
        }
        std::optional<std::string> value;
        if (!AtEnd() && Peek() == '=') {
            Advance();
            if (!SkipSpace() || !(value = Token("a value"))) {
                break;
            }
            const size_t valueLine = m_line;
            if (!SkipSpace()) {
                break;
            }
            if (AtEnd() || Peek() != ';') {
                Fail(valueLine, "expected ';' after the value");
                break;
            }
        } else if (AtEnd() || Peek() != ';') {
            Fail(keyLine, "expected '=' or ';' after the key");
            break;
        }
        Advance(); // the ';'
        std::string text = value ? std::move(*value) : *key;
        m_result.m_entries.insert_or_assign(std::move(*key), std::move(text));
    }
    return std::move(m_result);
}
