#include "DesktopToken.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <sys/random.h>

Outcome<std::string> DesktopToken::Generate() {
    std::array<uint8_t, 32> bytes{};
    size_t filled = 0;
    while (filled < bytes.size()) {
        ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Failure{"the desktop token", std::strerror(errno)};
        }
        filled += static_cast<size_t>(got);
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (uint8_t byte : bytes) {
        text.push_back(kDigits[byte >> 4U]);
        text.push_back(kDigits[byte & 0x0FU]);
    }
    return text;
}

bool DesktopToken::Matches(const std::string& expected, const std::string& offered) {
    if (expected.empty() || expected.size() != offered.size()) {
        return false;
    }
    unsigned difference = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        difference |= static_cast<unsigned>(static_cast<unsigned char>(expected[i]) ^
                                            static_cast<unsigned char>(offered[i]));
    }
    return difference == 0;
}
