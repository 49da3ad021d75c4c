#include "swfharvex/TransferLimitChoice.h"

#include <cctype>
#include <chrono>
#include <limits>

#include <CLI/CLI.hpp>

#include "webkit/TransferLimits.h"

namespace {

constexpr uint64_t kMaxSeconds = uint64_t{10} * 365 * 24 * 3600;

} // namespace

void TransferLimitChoice::AddOptions(CLI::App& app) {
    app.add_option("--max-movie-size", maxMovieSize,
                   "Largest movie kept, in bytes or with a K, M or G suffix (binary); a larger "
                   "one is given up as it arrives, and nothing of it is kept. 0: no limit")
        ->default_val("512M")
        ->check(SizeValidator());
    app.add_option("--min-rate", minBytesPerSecond,
                   "Slowest server waited for, in bytes a second averaged over 30 seconds; a "
                   "slower transfer is given up. 0: no limit")
        ->default_val(1000);
    app.add_option("--transfer-timeout", timeoutSeconds,
                   "Longest a movie's transfer may take, in seconds. 0: no limit")
        ->default_val(3600)
        ->check(CLI::Range(uint64_t{0}, kMaxSeconds));
}

void TransferLimitChoice::Apply() const {
    TransferLimits limits = TransferLimits::Current();
    // Validated when parsed.
    limits.maxMovieBytes = ParseSize(maxMovieSize).value();
    limits.minBytesPerSecond = minBytesPerSecond;
    limits.totalTime = std::chrono::seconds(timeoutSeconds);
    TransferLimits::Set(limits);
}

CLI::Validator TransferLimitChoice::SizeValidator() {
    return {[](const std::string& text) {
                Outcome<uint64_t> size = ParseSize(text);
                return size ? std::string() : size.failure().why;
            },
            "SIZE"};
}

Outcome<uint64_t> TransferLimitChoice::ParseSize(const std::string& text) {
    const Failure unreadable{text, "not a size (bytes, or a number with K, M or G)"};
    size_t digits = 0;
    uint64_t value = 0;
    for (; digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])) != 0;
         ++digits) {
        const auto digit = static_cast<uint64_t>(text[digits] - '0');
        if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) {
            return Failure{text, "too large"};
        }
        value = value * 10 + digit;
    }
    if (digits == 0 || text.size() - digits > 1) {
        return unreadable;
    }
    unsigned shift = 0;
    if (digits < text.size()) {
        switch (std::toupper(static_cast<unsigned char>(text.back()))) {
        case 'K':
            shift = 10;
            break;
        case 'M':
            shift = 20;
            break;
        case 'G':
            shift = 30;
            break;
        default:
            return unreadable;
        }
    }
    if (value > (std::numeric_limits<uint64_t>::max() >> shift)) {
        return Failure{text, "too large"};
    }
    return value << shift;
}
