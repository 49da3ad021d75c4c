#include "browser/static/PageCharset.h"

#include <array>
#include <cerrno>
#include <memory>
#include <type_traits>

#include <iconv.h>

#include "browser/ASCIIText.h"

namespace {

constexpr const char* kUTF8 = "UTF-8";
// Browsers look for a <meta> charset only this far into the page.
constexpr size_t kPrescanBytes = 1024;

// iconv_t is a pointer to the converter's state.
struct IconvCloser {
    void operator()(iconv_t handle) const { iconv_close(handle); }
};
using Iconv = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

Iconv Open(const std::string& to, const std::string& from) {
    iconv_t handle = iconv_open(to.c_str(), from.c_str());
    // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv's documented failure value
    return handle == reinterpret_cast<iconv_t>(-1) ? nullptr : Iconv(handle);
}

std::string Normalised(std::string_view label) {
    const std::string lower = ascii::ToLower(ascii::Trim(label));
    for (const char* alias : {"utf-8", "utf8", "unicode-1-1-utf-8"}) {
        if (lower == alias) {
            return kUTF8;
        }
    }
    for (const char* alias : {"windows-1252", "cp1252", "x-cp1252", "iso-8859-1", "iso8859-1",
                              "latin1", "l1", "us-ascii", "ascii", "iso_8859-1"}) {
        if (lower == alias) {
            return "WINDOWS-1252";
        }
    }
    return lower.empty() ? std::string() : ascii::ToUpper(lower);
}

// The value after "charset=" in a Content-Type or a <meta> content; empty when none.
std::string CharsetParameter(std::string_view text) {
    const std::string lower = ascii::ToLower(text);
    const size_t at = lower.find("charset");
    if (at == std::string::npos) {
        return {};
    }
    size_t start = lower.find_first_not_of(" \t", at + 7);
    if (start == std::string::npos || lower[start] != '=') {
        return {};
    }
    start = lower.find_first_not_of(" \t", start + 1);
    if (start == std::string::npos) {
        return {};
    }
    if (lower[start] == '"' || lower[start] == '\'') {
        const size_t end = lower.find(lower[start], start + 1);
        return end == std::string::npos ? std::string() : lower.substr(start + 1, end - start - 1);
    }
    const size_t end = lower.find_first_of(" \t;\"'>", start);
    return lower.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// A rough prescan: each "<meta" tag's text up to ">", with its charset attribute or its
// content's charset parameter.
std::string MetaCharset(std::string_view body) {
    const std::string head = ascii::ToLower(body.substr(0, kPrescanBytes));
    for (size_t at = head.find("<meta"); at != std::string::npos; at = head.find("<meta", at + 5)) {
        const size_t end = head.find('>', at);
        const std::string tag =
            head.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (std::string found = CharsetParameter(tag); !found.empty()) {
            return found;
        }
    }
    return {};
}

// Runs `text` through `converter`; on a sequence it cannot convert, `unconvertible` says what to
// write instead and how many input bytes that replaces.
template <typename Replace>
std::string Convert(iconv_t converter, std::string_view text, Replace unconvertible) {
    std::string out;
    std::array<char, 4096> buffer{};
    auto* in = const_cast<char*>(text.data()); // NOLINT: iconv's input is not const, not written
    size_t inLeft = text.size();
    while (inLeft > 0) {
        char* outAt = buffer.data();
        size_t outLeft = buffer.size();
        const size_t done = iconv(converter, &in, &inLeft, &outAt, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (done == static_cast<size_t>(-1) && errno != E2BIG) {
            // EILSEQ or EINVAL (cut short at the end): replace and go on past it.
            auto [replacement, skip] = unconvertible(std::string_view(in, inLeft));
            out += replacement;
            skip = std::min(std::max<size_t>(skip, 1), inLeft);
            in += skip;
            inLeft -= skip;
        }
    }
    return out;
}

// The length of the UTF-8 sequence that starts `text` (1 for a stray byte) and its code point.
std::pair<size_t, uint32_t> UTF8Sequence(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text.front());
    const size_t length = lead < 0x80         ? 1
                          : lead >> 5 == 0x6  ? 2
                          : lead >> 4 == 0xE  ? 3
                          : lead >> 3 == 0x1E ? 4
                                              : 1;
    if (length > text.size()) {
        return {1, lead};
    }
    uint32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        point = (point << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    }
    return {length, point};
}

} // namespace

namespace page_charset {

std::string Declared(std::string_view contentType, std::string_view body) {
    std::string label = CharsetParameter(contentType);
    if (label.empty()) {
        label = MetaCharset(body);
    }
    std::string name = Normalised(label);
    // A set iconv does not know is read as UTF-8, as before.
    if (name.empty() || (name != kUTF8 && !Open(kUTF8, name))) {
        return kUTF8;
    }
    return name;
}

std::string ToUTF8(std::string_view bytes, const std::string& charset) {
    Iconv converter = charset == kUTF8 ? nullptr : Open(kUTF8, charset);
    if (!converter) {
        return std::string(bytes);
    }
    return Convert(converter.get(), bytes, [](std::string_view) {
        return std::pair<std::string, size_t>("\xEF\xBF\xBD", 1);
    });
}

std::string QueryInCharset(std::string_view urlText, const std::string& charset) {
    const size_t query = urlText.find('?');
    Iconv converter =
        charset == kUTF8 || query == std::string_view::npos ? nullptr : Open(charset, kUTF8);
    if (!converter) {
        return std::string(urlText);
    }
    const size_t fragment = urlText.find('#', query);
    const std::string_view part = urlText.substr(
        query, fragment == std::string_view::npos ? std::string_view::npos : fragment - query);
    std::string written(urlText.substr(0, query));
    written += Convert(converter.get(), part, [](std::string_view rest) {
        auto [length, point] = UTF8Sequence(rest);
        // Escaped already: a raw "#" would start the fragment.
        return std::pair<std::string, size_t>("%26%23" + std::to_string(point) + "%3B", length);
    });
    if (fragment != std::string_view::npos) {
        written += urlText.substr(fragment);
    }
    return written;
}

} // namespace page_charset
