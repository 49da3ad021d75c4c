#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CSWFBaseParse;

// A URL or file name a movie refers to, and where it was found.
struct MovieReference {
    std::string text;
    std::string where;
};

// Collects what a movie names from outside, up to a count and a total of bytes; what comes
// after is only counted.
class ReferenceSink {
public:
    ReferenceSink(size_t most, size_t mostBytes) : m_most(most), m_mostBytes(mostBytes) {}
    void Add(std::string text, std::string where);

    const std::vector<MovieReference>& Kept() const { return m_kept; }
    // Hands the kept references over, once the scanning is done.
    std::vector<MovieReference> TakeKept() { return std::exchange(m_kept, {}); }
    size_t LeftOut() const { return m_leftOut; }

private:
    std::vector<MovieReference> m_kept;
    size_t m_leftOut = 0;
    size_t m_most;
    size_t m_mostBytes;
    size_t m_bytes = 0;
};

// Whether a string from a movie looks like an address or file it would load: an absolute URL
// (http, https, ftp, rtmp, file), or a path ending in .swf, .xml, .flv, .mp3, .jpg, .png or .txt
// (before any query or fragment).
bool LooksLikeReference(std::string_view text);

// Reads the old virtual machine's actions in [start, end): the targets of GetURL, of GetURL2
// (getURL, loadMovie, loadVariables) when the address was pushed as a constant, and the constant
// pools' strings that look like references. `where` names the tag. Answers whether any action
// was there.
bool ScanActions(CSWFBaseParse& parser, uint32_t start, uint32_t end, const std::string& where,
                 ReferenceSink& sink);

// Reads the string table of the new virtual machine's bytecode in [start, end) and keeps the
// strings that look like references. Answers false when the table runs past `end`.
bool ScanAbcStrings(CSWFBaseParse& parser, uint32_t start, uint32_t end, const std::string& where,
                    ReferenceSink& sink);
