#include "foundation/BoundedJson.h"

#include <stdexcept>

namespace {

using nlohmann::json;

class TooDeep : public std::exception {};

// The parser's own description, without its code ("[json.exception.parse_error.101] ") and
// without the bytes it last read, which may not be text.
std::string Described(const json::exception& error) {
    std::string text = error.what();
    if (text.starts_with("[json.exception.")) {
        const size_t end = text.find("] ");
        text.erase(0, end == std::string::npos ? 0 : end + 2);
    }
    text = text.substr(0, text.find("; last read:"));
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
            c = '?';
        }
    }
    return text;
}

} // namespace

std::string LargerThan(size_t mostBytes) {
    constexpr size_t kKiB = 1024;
    if (mostBytes >= kKiB * kKiB && mostBytes % (kKiB * kKiB) == 0) {
        return "larger than " + std::to_string(mostBytes / (kKiB * kKiB)) + " MiB";
    }
    if (mostBytes >= kKiB && mostBytes % kKiB == 0) {
        return "larger than " + std::to_string(mostBytes / kKiB) + " KiB";
    }
    return "larger than " + std::to_string(mostBytes) + " bytes";
}

Outcome<json> ParseBoundedJson(std::string_view text, const JsonLimits& limits,
                               const std::string& what) {
    if (text.size() > limits.mostBytes) {
        return Failure{what, LargerThan(limits.mostBytes)};
    }
    // The parser calls this as each array or object starts, with the number of those around it.
    const json::parser_callback_t stopTooDeep = [&limits](int depth, json::parse_event_t event,
                                                          json& /*parsed*/) {
        if ((event == json::parse_event_t::object_start ||
             event == json::parse_event_t::array_start) &&
            depth >= limits.mostDepth) {
            throw TooDeep();
        }
        return true;
    };
    try {
        return json::parse(text, stopTooDeep);
    } catch (const TooDeep&) {
        return Failure{what,
                       "values nested deeper than " + std::to_string(limits.mostDepth) + " levels"};
    } catch (const json::exception& error) {
        return Failure{what, "malformed JSON: " + Described(error)};
    }
}
