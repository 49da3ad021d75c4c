#include "swf/BytecodeReferences.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "swf/MovieBytes.h"

using namespace MovieBytes;

namespace {

// Action codes the scan understands; codes from 0x80 on carry a 16-bit length.
constexpr uint8_t kActionEnd = 0x00;
constexpr uint8_t kActionGetURL = 0x83;
constexpr uint8_t kActionConstantPool = 0x88;
constexpr uint8_t kActionPush = 0x96;
constexpr uint8_t kActionGetURL2 = 0x9A;
constexpr uint8_t kHasLength = 0x80;

// GetURL2's flags: LoadTargetFlag says the target is a sprite (loadMovie), LoadVariablesFlag that
// variables are loaded instead of a movie or page.
constexpr uint8_t kLoadVariables = 0x80;
constexpr uint8_t kLoadTarget = 0x40;

constexpr size_t kLongestReference = 2048;

// `prefix` is lower case; `text` may be in any case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char lower, char any) {
               return std::tolower(static_cast<unsigned char>(any)) == lower;
           });
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() > suffix.size() &&
           StartsWithNoCase(text.substr(text.size() - suffix.size()), suffix);
}

const char* GetURL2Kind(uint8_t flags) {
    if ((flags & kLoadVariables) != 0) {
        return "loadVariables";
    }
    return (flags & kLoadTarget) != 0 ? "loadMovie" : "getURL";
}

// What Push put on the stack since the last other action: a string, or nothing known.
struct Pushed {
    bool isString = false;
    std::string text;
};

void ReadPush(CSWFBaseParse& parser, uint32_t end, const std::vector<std::string>& pool,
              std::vector<Pushed>& stack) {
    while (Position(parser) < end) {
        const uint8_t type = Byte(parser);
        Pushed value;
        switch (type) {
        case 0: // string
            value = {true, String(parser, end)};
            break;
        case 1: // float
        case 7: // integer
            MoveTo(parser, uint64_t{Position(parser)} + 4);
            break;
        case 4: // register
        case 5: // boolean
            MoveTo(parser, uint64_t{Position(parser)} + 1);
            break;
        case 6: // double
            MoveTo(parser, uint64_t{Position(parser)} + 8);
            break;
        case 8:   // constant, 8-bit index
        case 9: { // constant, 16-bit index
            const size_t index = type == 8 ? Byte(parser) : Word(parser);
            if (index < pool.size()) {
                value = {true, pool[index]};
            }
            break;
        }
        case 2: // null
        case 3: // undefined
            break;
        default:
            return; // not a value type: the rest of the record means nothing
        }
        stack.push_back(std::move(value));
    }
}

} // namespace

void ReferenceSink::Add(std::string text, std::string where) {
    const size_t bytes = text.size() + where.size();
    if (m_kept.size() >= m_most || m_bytes + bytes > m_mostBytes) {
        ++m_leftOut;
        return;
    }
    m_bytes += bytes;
    m_kept.push_back({std::move(text), std::move(where)});
}

bool LooksLikeReference(std::string_view text) {
    if (text.size() < 5 || text.size() > kLongestReference) {
        return false;
    }
    if (std::any_of(text.begin(), text.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte < 0x20 || byte == 0x7F;
        })) {
        return false;
    }
    for (std::string_view scheme :
         {"http://", "https://", "ftp://", "rtmp://", "rtmpt://", "rtmps://", "file://"}) {
        if (StartsWithNoCase(text, scheme) && text.size() > scheme.size()) {
            return true;
        }
    }
    const std::string_view path = text.substr(0, text.find_first_of("?#"));
    static constexpr std::array kExtensions{".swf", ".xml", ".flv", ".mp3", ".jpg", ".png", ".txt"};
    return std::any_of(kExtensions.begin(), kExtensions.end(),
                       [&](const char* extension) { return EndsWithNoCase(path, extension); });
}

bool ScanActions(CSWFBaseParse& parser, uint32_t start, uint32_t end, const std::string& where,
                 ReferenceSink& sink) {
    MoveTo(parser, start);
    std::vector<std::string> pool;
    std::vector<Pushed> stack;
    bool any = false;
    while (Position(parser) < end) {
        const uint8_t code = Byte(parser);
        if (code == kActionEnd) {
            break;
        }
        any = true;
        const uint32_t length = code >= kHasLength ? Word(parser) : 0;
        const uint64_t recordEnd = uint64_t{Position(parser)} + length;
        if (recordEnd > end) {
            break; // a record longer than its tag: nothing after it can be trusted
        }
        const auto bodyEnd = static_cast<uint32_t>(recordEnd);
        switch (code) {
        case kActionGetURL: {
            std::string url = String(parser, bodyEnd);
            const std::string target = String(parser, bodyEnd);
            if (!url.empty()) {
                sink.Add(std::move(url),
                         where + ": getURL" + (target.empty() ? "" : " into " + target));
            }
            break;
        }
        case kActionConstantPool: {
            pool.clear();
            const uint16_t count = Word(parser);
            for (uint16_t i = 0; i < count && Position(parser) < bodyEnd; ++i) {
                pool.push_back(String(parser, bodyEnd));
                if (LooksLikeReference(pool.back())) {
                    sink.Add(pool.back(), where + ": constant pool");
                }
            }
            break;
        }
        case kActionPush:
            ReadPush(parser, bodyEnd, pool, stack);
            break;
        case kActionGetURL2: {
            const uint8_t flags = Byte(parser);
            // The address is pushed before the target.
            if (stack.size() >= 2 && stack[stack.size() - 2].isString &&
                !stack[stack.size() - 2].text.empty()) {
                sink.Add(stack[stack.size() - 2].text, where + ": " + GetURL2Kind(flags));
            }
            break;
        }
        default:
            break;
        }
        if (code != kActionPush) {
            stack.clear();
        }
        MoveTo(parser, recordEnd);
    }
    return any;
}

bool ScanAbcStrings(CSWFBaseParse& parser, uint32_t start, uint32_t end, const std::string& where,
                    ReferenceSink& sink) {
    MoveTo(parser, start);
    Word(parser); // minor version
    Word(parser); // major version
    // The integer and unsigned integer pools: variable-length numbers, skipped. Each entry takes
    // at least a byte, so a lying count ends at `end`.
    for (int pool = 0; pool < 2; ++pool) {
        const uint32_t count = U30(parser);
        for (uint32_t i = 1; i < count; ++i) {
            if (Position(parser) >= end) {
                return false;
            }
            U30(parser);
        }
    }
    const uint32_t doubles = U30(parser);
    const uint64_t afterDoubles =
        uint64_t{Position(parser)} + (doubles > 0 ? uint64_t{doubles - 1} * 8 : 0);
    if (afterDoubles > end) {
        return false;
    }
    MoveTo(parser, afterDoubles);
    const uint32_t strings = U30(parser);
    std::string text;
    for (uint32_t i = 1; i < strings; ++i) {
        if (Position(parser) >= end || !Counted(parser, U30(parser), end, text)) {
            return false;
        }
        if (LooksLikeReference(text)) {
            sink.Add(text, where + ": string table");
        }
    }
    return Position(parser) <= end;
}
