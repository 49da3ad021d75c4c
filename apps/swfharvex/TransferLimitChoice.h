#pragma once

#include <cstdint>
#include <string>

#include "foundation/Outcome.h"

namespace CLI {
class App;
class Validator;
} // namespace CLI

// What a movie's transfer may cost, as the command line chooses it (capture and the desktop):
// the largest movie kept, the slowest server waited for and the longest transfer.
struct TransferLimitChoice {
    std::string maxMovieSize = "512M";
    uint64_t minBytesPerSecond = 1000;
    uint64_t timeoutSeconds = 3600;

    // --max-movie-size, --min-rate and --transfer-timeout.
    void AddOptions(CLI::App& app);
    // Makes them the process's transfer limits; before any transfer starts.
    void Apply() const;

    // "1048576", "900K", "512M", "2g": bytes, or binary kilo-, mega- or gigabytes.
    static Outcome<uint64_t> ParseSize(const std::string& text);
    // Checks an option's value with ParseSize.
    static CLI::Validator SizeValidator();
};
