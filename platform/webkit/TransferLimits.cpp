#include "webkit/TransferLimits.h"

#include <mutex>

namespace {

std::mutex& LimitsMutex() {
    static std::mutex mutex;
    return mutex;
}

TransferLimits& Stored() {
    static TransferLimits limits;
    return limits;
}

} // namespace

TransferLimits TransferLimits::Current() {
    const std::lock_guard lock(LimitsMutex());
    return Stored();
}

void TransferLimits::Set(const TransferLimits& limits) {
    const std::lock_guard lock(LimitsMutex());
    Stored() = limits;
}

std::string LimitBytesText(uint64_t bytes) {
    static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    std::string unit = "bytes";
    for (const char* larger : kUnits) {
        if (bytes == 0 || bytes % 1024 != 0) {
            break;
        }
        bytes /= 1024;
        unit = larger;
    }
    return std::to_string(bytes) + " " + unit;
}
