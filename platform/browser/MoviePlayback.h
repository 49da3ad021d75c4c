#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "foundation/Outcome.h"

// A caught movie played for a while to see what it asks for (PageEngine::PlayMovie): it plays
// as on its page, from its caught bytes, and every address it asks for is told, not fetched.
struct MoviePlayback {
    std::string address;        // the movie's own address; the player is answered from `file`
    std::filesystem::path file; // its caught bytes
    std::string base;           // the folder its relative addresses resolve against
    std::string flashvars;      // as the page wrote them
    std::chrono::milliseconds duration{5000};
    std::filesystem::path player; // the player's folder (Ruffle)
    // Each address the movie asks for, as the player asked.
    std::function<void(const std::string&)> requested;
    // Once, when it has played its time or could not play (naming why).
    std::function<void(Outcome<>)> ended;
};
