#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// What one transfer may cost before it is given up, so that a hostile server can neither fill
// the disk nor keep a movie (and the command waiting for it) alive for ever. One value for the
// process: the command sets it before its transfers start; each transfer copies it when it is
// created. A zero turns that limit off.
struct TransferLimits {
    // Decoded bytes written for one movie.
    uint64_t maxMovieBytes = uint64_t{512} << 20;
    // Decoded bytes per byte received, checked once `expansionFloorBytes` have been decoded, so
    // a small movie that compresses well still passes while a compression bomb stops early.
    uint64_t maxExpansion = 200;
    uint64_t expansionFloorBytes = uint64_t{16} << 20;
    // Bytes received per second, averaged over each `rateWindow`: a server that drips stays
    // below it whatever its rhythm.
    uint64_t minBytesPerSecond = 1000;
    std::chrono::milliseconds rateWindow{std::chrono::seconds(30)};
    // The whole transfer, from its start.
    std::chrono::milliseconds totalTime{std::chrono::hours(1)};

    static TransferLimits Current();
    static void Set(const TransferLimits& limits);
};

// "512 MiB", "1500 bytes": a size as a limit's message gives it.
std::string LimitBytesText(uint64_t bytes);
