#pragma once

#include <string>

#include "foundation/Outcome.h"

// The secret of one desktop run: whoever presents it may drive the application, so it comes
// from the kernel's random source and is never derived from anything guessable.
class DesktopToken {
public:
    // 32 random bytes as 64 lower-case hex digits.
    static Outcome<std::string> Generate();
    // Compares in time that does not depend on where the texts differ.
    static bool Matches(const std::string& expected, const std::string& offered);
};
