#include "MovieDescriptionReader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <set>
#include <stdexcept>

#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Ordered, so a request's headers keep the description's order.
using Json = nlohmann::ordered_json;

constexpr int64_t kLargestFrame = 8191;
constexpr int64_t kMaxFrames = 65535;
// Characters and depths are numbered from 1 in 16 bits.
constexpr size_t kMaxShapes = 65535;
constexpr int kTwipsPerPixel = 20;
// Enough for any test movie, and each fits in one small constructor.
constexpr size_t kMaxRequests = 64;
constexpr size_t kMaxHeaders = 16;
constexpr size_t kLongestHeaderName = 128;

// What a request's strings may hold.
struct TextRule {
    size_t longest; // bytes
    bool mayBeEmpty;
    // Control characters would let a URL or header value end its line early.
    bool mayHoldControlCharacters;
};
constexpr TextRule kUrlRule{2048, false, false};
constexpr TextRule kHeaderValueRule{1024, true, false};
constexpr TextRule kBodyRule{16384, true, true};
// Classes and URLLoader came with version 9.
constexpr uint8_t kFirstActionScript3Version = 9;

[[noreturn]] void Refuse(const std::string& reason) {
    throw std::runtime_error(reason);
}

// A value as it appears in a message, cut short when long.
std::string Shown(const Json& value) {
    std::string text = value.dump();
    return text.size() > 40 ? text.substr(0, 37) + "..." : text;
}

// Refuses keys outside `known`; `where` names the object in the message ("" for the top).
void OnlyKnownKeys(const Json& object, const std::set<std::string>& known,
                   const std::string& where) {
    for (const auto& item : object.items()) {
        if (known.count(item.key()) == 0) {
            Refuse("unknown key " + Json(item.key()).dump() +
                   (where.empty() ? "" : " in " + where));
        }
    }
}

const Json& Required(const Json& object, const std::string& key, const std::string& field) {
    auto found = object.find(key);
    if (found == object.end()) {
        Refuse(field + " is missing");
    }
    return *found;
}

int64_t WholeNumber(const Json& value, const std::string& field, int64_t min, int64_t max) {
    auto refuse = [&] {
        Refuse(field + " must be a whole number from " + std::to_string(min) + " to " +
               std::to_string(max) + ", not " + Shown(value));
    };
    if (value.is_number_unsigned()) {
        auto number = value.get<uint64_t>();
        if (max < 0 || number > static_cast<uint64_t>(max) || static_cast<int64_t>(number) < min) {
            refuse();
        }
        return static_cast<int64_t>(number);
    }
    if (value.is_number_integer()) {
        auto number = value.get<int64_t>();
        if (number < min || number > max) {
            refuse();
        }
        return number;
    }
    if (value.is_number_float()) {
        // 24.0 is the same number as 24.
        double number = value.get<double>();
        if (std::floor(number) != number || number < static_cast<double>(min) ||
            number > static_cast<double>(max)) {
            refuse();
        }
        return static_cast<int64_t>(number);
    }
    refuse();
    return 0; // not reached
}

struct Colour {
    uint32_t rgba;
    bool withAlpha;
};

Colour ReadColour(const Json& value, const std::string& field, bool alphaAllowed) {
    const std::string wanted = alphaAllowed ? R"("#rrggbb" or "#rrggbbaa")" : R"("#rrggbb")";
    auto refuse = [&] { Refuse(field + " must be " + wanted + ", not " + Shown(value)); };
    if (!value.is_string()) {
        refuse();
    }
    const auto& text = value.get_ref<const std::string&>();
    bool lengthFits = text.size() == 7 || (alphaAllowed && text.size() == 9);
    if (!lengthFits || text[0] != '#') {
        refuse();
    }
    uint32_t number = 0;
    for (size_t i = 1; i < text.size(); ++i) {
        auto digit = static_cast<unsigned char>(text[i]);
        if (std::isxdigit(digit) == 0) {
            refuse();
        }
        number = number << 4 |
                 static_cast<uint32_t>(std::isdigit(digit) != 0 ? digit - '0'
                                                                : std::tolower(digit) - 'a' + 10);
    }
    bool withAlpha = text.size() == 9;
    return {withAlpha ? number : number << 8 | 0xFFU, withAlpha};
}

uint16_t FrameRate(const Json& value) {
    // 8.8 fixed point: the largest rate is 0xFFFF / 256.
    if (value.is_number()) {
        double rate = value.get<double>();
        double fixed = std::round(rate * 256.0);
        if (rate > 0 && fixed >= 1 && fixed <= 0xFFFF) {
            return static_cast<uint16_t>(fixed);
        }
    }
    Refuse("frameRate must be a number of frames per second above 0 and below 256, not " +
           Shown(value));
}

MovieDescription::Rectangle ReadShape(const Json& shape, const std::string& where) {
    if (!shape.is_object()) {
        Refuse(where + " must be an object, not " + Shown(shape));
    }
    OnlyKnownKeys(shape, {"x", "y", "width", "height", "color"}, where);
    auto pixels = [&](const char* key, int64_t min, int64_t max) {
        std::string field = where + "." + key;
        return static_cast<int32_t>(WholeNumber(Required(shape, key, field), field, min, max) *
                                    kTwipsPerPixel);
    };
    MovieDescription::Rectangle rectangle;
    rectangle.x = pixels("x", -kLargestFrame, kLargestFrame);
    rectangle.y = pixels("y", -kLargestFrame, kLargestFrame);
    rectangle.width = pixels("width", 1, kLargestFrame);
    rectangle.height = pixels("height", 1, kLargestFrame);
    std::string colourField = where + ".color";
    Colour colour = ReadColour(Required(shape, "color", colourField), colourField, true);
    rectangle.rgba = colour.rgba;
    rectangle.withAlpha = colour.withAlpha;
    return rectangle;
}

// A tab is whitespace within a header value, and browsers drop it from URLs.
bool HasControlCharacterOtherThanTab(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && byte != '\t') || byte == 0x7F;
    });
}

const std::string& ReadText(const Json& value, const std::string& field, const TextRule& rule) {
    auto refuse = [&] {
        Refuse(field + " must be a string of " + (rule.mayBeEmpty ? "at most " : "1 to ") +
               std::to_string(rule.longest) + " bytes" +
               (rule.mayHoldControlCharacters ? "" : " without control characters but tab") +
               ", not " + Shown(value));
    };
    if (!value.is_string()) {
        refuse();
    }
    const auto& text = value.get_ref<const std::string&>();
    if (text.size() > rule.longest || (text.empty() && !rule.mayBeEmpty) ||
        (!rule.mayHoldControlCharacters && HasControlCharacterOtherThanTab(text))) {
        refuse();
    }
    return text;
}

// A header name is an HTTP token: letters, digits and a few marks.
bool IsHeaderName(const std::string& name) {
    static const std::string kMarks = "!#$%&'*+-.^_`|~";
    if (name.empty() || name.size() > kLongestHeaderName) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
               kMarks.find(c) != std::string::npos;
    });
}

std::vector<std::pair<std::string, std::string>> ReadHeaders(const Json& headers,
                                                             const std::string& field) {
    if (!headers.is_object()) {
        Refuse(field + " must be an object of header names and values, not " + Shown(headers));
    }
    if (headers.size() > kMaxHeaders) {
        Refuse(field + " holds " + std::to_string(headers.size()) + " headers, more than " +
               std::to_string(kMaxHeaders));
    }
    std::vector<std::pair<std::string, std::string>> read;
    std::set<std::string> lowerCaseNames;
    for (const auto& item : headers.items()) {
        const std::string& name = item.key();
        if (!IsHeaderName(name)) {
            Refuse(field + " has " + Shown(Json(name)) + ", not a header name (1 to " +
                   std::to_string(kLongestHeaderName) + " letters, digits and !#$%&'*+-.^_`|~)");
        }
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
            return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        });
        if (!lowerCaseNames.insert(lower).second) {
            Refuse(field + " has " + Json(lower).dump() + " twice (header names ignore case)");
        }
        std::string valueField = field + "[" + Json(name).dump() + "]";
        read.emplace_back(name, ReadText(item.value(), valueField, kHeaderValueRule));
    }
    return read;
}

MovieDescription::Request ReadRequest(const Json& request, const std::string& where) {
    if (!request.is_object()) {
        Refuse(where + " must be an object, not " + Shown(request));
    }
    OnlyKnownKeys(request, {"method", "url", "headers", "body"}, where);
    MovieDescription::Request read;
    const Json& method = Required(request, "method", where + ".method");
    if (method != "GET" && method != "POST") {
        Refuse(where + R"(.method must be "GET" or "POST", not )" + Shown(method));
    }
    read.method = method.get<std::string>();
    read.url = ReadText(Required(request, "url", where + ".url"), where + ".url", kUrlRule);
    if (auto headers = request.find("headers"); headers != request.end()) {
        read.headers = ReadHeaders(*headers, where + ".headers");
    }
    if (auto body = request.find("body"); body != request.end()) {
        if (read.method != "POST") {
            Refuse(where + ".body is only for POST requests");
        }
        read.body = ReadText(*body, where + ".body", kBodyRule);
    }
    return read;
}

MovieDescription::Load ReadLoad(const Json& load, const std::string& where) {
    if (!load.is_object()) {
        Refuse(where + " must be an object, not " + Shown(load));
    }
    OnlyKnownKeys(load, {"url", "variable", "target"}, where);
    MovieDescription::Load read;
    if (load.contains("url") == load.contains("variable")) {
        Refuse(where + " needs either url or variable");
    }
    if (load.contains("url")) {
        read.url = ReadText(load["url"], where + ".url", kUrlRule);
    } else {
        read.variable = ReadText(load["variable"], where + ".variable", kUrlRule);
    }
    read.target = "_level0";
    if (auto target = load.find("target"); target != load.end()) {
        read.target = ReadText(*target, where + ".target", kUrlRule);
    }
    return read;
}

// nlohmann keeps the last of repeated keys without a word; this notes the first repeat.
class RepeatedKeyFinder {
public:
    bool operator()(int /*depth*/, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::object_start) {
            m_open.emplace_back();
        } else if (event == Json::parse_event_t::object_end && !m_open.empty()) {
            m_open.pop_back();
        } else if (event == Json::parse_event_t::key && !m_open.empty()) {
            if (!m_open.back().insert(parsed.get<std::string>()).second && m_repeated.empty()) {
                m_repeated = parsed.get<std::string>();
            }
        }
        return true;
    }
    const std::string& Repeated() const { return m_repeated; }

private:
    std::vector<std::set<std::string>> m_open;
    std::string m_repeated;
};

// "[json.exception.parse_error.101] parse error at line 1, ..." without the bracketed code.
std::string WithoutExceptionCode(const std::string& what) {
    if (!what.empty() && what[0] == '[') {
        auto close = what.find("] ");
        if (close != std::string::npos) {
            return what.substr(close + 2);
        }
    }
    return what;
}

struct FileDescriptor {
    explicit FileDescriptor(int value) : fd(value) {}
    ~FileDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    int fd;
};

// Reads the list under `key` (absent: nothing), at most `most` items of what `noun` names, each
// with `read` given the item and where it stands ("key[i]").
template <typename Read>
void ReadList(const Json& document, const char* key, size_t most, const char* noun, Read read) {
    const auto list = document.find(key);
    if (list == document.end()) {
        return;
    }
    if (!list->is_array()) {
        Refuse(std::string(key) + " must be a list, not " + Shown(*list));
    }
    if (list->size() > most) {
        Refuse(std::string(key) + " holds " + std::to_string(list->size()) + " " + noun +
               ", more than " + std::to_string(most));
    }
    for (size_t i = 0; i < list->size(); ++i) {
        read((*list)[i], std::string(key) + "[" + std::to_string(i) + "]");
    }
}

// The movie's lists: its rectangles, its requests and its loads, each bounded and checked against
// the version.
void ReadLists(const Json& document, MovieDescription& movie) {
    ReadList(document, "shapes", kMaxShapes, "rectangles",
             [&movie](const Json& item, const std::string& where) {
                 movie.shapes.push_back(ReadShape(item, where));
             });
    // PlaceObject2 and DefineShape3 came with version 3.
    if (!movie.shapes.empty() && movie.version < 3) {
        Refuse("movies with shapes need version 3 or later, not " + std::to_string(movie.version));
    }
    if (document.contains("requests")) {
        movie.requests.emplace();
    }
    ReadList(document, "requests", kMaxRequests, "requests",
             [&movie](const Json& item, const std::string& where) {
                 movie.requests->push_back(ReadRequest(item, where));
             });
    if (movie.requests && movie.version < kFirstActionScript3Version) {
        Refuse("movies with requests need version " + std::to_string(kFirstActionScript3Version) +
               " or later, not " + std::to_string(movie.version));
    }
    ReadList(document, "loads", kMaxRequests, "loads",
             [&movie](const Json& item, const std::string& where) {
                 movie.loads.push_back(ReadLoad(item, where));
             });
    // getURL came with version 3; one movie runs one virtual machine.
    if (!movie.loads.empty() && movie.version < 3) {
        Refuse("movies with loads need version 3 or later, not " + std::to_string(movie.version));
    }
    if (!movie.loads.empty() && movie.requests) {
        Refuse("a movie has loads (ActionScript 1) or requests (ActionScript 3), not both");
    }
}

} // namespace

MovieDescription MovieDescriptionReader::ReadFile(const std::string& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0) {
        Refuse(std::string("cannot open: ") + std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) {
        Refuse(std::string("cannot read: ") + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        Refuse("not a regular file");
    }
    std::string text;
    char buffer[16384];
    for (;;) {
        ssize_t got = ::read(file.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            Refuse(std::string("cannot read: ") + std::strerror(errno));
        }
        if (got == 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
    return Parse(text);
}

MovieDescription MovieDescriptionReader::Parse(const std::string& text) {
    RepeatedKeyFinder repeats;
    Json document;
    try {
        document = Json::parse(text, std::ref(repeats));
    } catch (const Json::exception& error) { // syntax, or a number too large for a double
        Refuse("malformed JSON: " + WithoutExceptionCode(error.what()));
    }
    if (!repeats.Repeated().empty()) {
        Refuse("repeated key " + Json(repeats.Repeated()).dump());
    }
    if (!document.is_object()) {
        Refuse("the description must be a JSON object, not " + Shown(document));
    }
    OnlyKnownKeys(document,
                  {"version", "width", "height", "frameRate", "frames", "compressed", "background",
                   "shapes", "requests", "loads"},
                  "");

    MovieDescription movie;
    movie.version = static_cast<uint8_t>(
        WholeNumber(Required(document, "version", "version"), "version", 1, 255));
    movie.width = static_cast<int32_t>(
        WholeNumber(Required(document, "width", "width"), "width", 1, kLargestFrame));
    movie.height = static_cast<int32_t>(
        WholeNumber(Required(document, "height", "height"), "height", 1, kLargestFrame));
    movie.frameRate = FrameRate(Required(document, "frameRate", "frameRate"));
    movie.frames = static_cast<uint16_t>(
        WholeNumber(Required(document, "frames", "frames"), "frames", 1, kMaxFrames));

    if (auto compressed = document.find("compressed"); compressed != document.end()) {
        if (!compressed->is_boolean()) {
            Refuse("compressed must be true or false, not " + Shown(*compressed));
        }
        movie.compressed = compressed->get<bool>();
    }
    // Players older than version 6 cannot inflate a movie.
    if (movie.compressed && movie.version < 6) {
        Refuse("compressed movies need version 6 or later, not " + std::to_string(movie.version));
    }
    if (auto background = document.find("background"); background != document.end()) {
        movie.background = ReadColour(*background, "background", false).rgba >> 8;
    }
    ReadLists(document, movie);
    return movie;
}
