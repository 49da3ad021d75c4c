// Feeds arbitrary bytes to the `.strings` parser, and checks what it says about a fault.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "foundation/defaults/StringsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const StringsFile table = StringsFile::Parse(text);
    // A fault names a line of the text and a reason; no fault, neither.
    const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    if (table.ok() != table.errorReason().empty() || table.errorLine() > lines) {
        __builtin_trap();
    }
    return 0;
}
