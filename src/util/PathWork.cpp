#include "util/PathWork.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#include <sys/stat.h>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { (void)std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A path with a zero byte inside would reach the C library cut short, naming another file.
bool HasEmbeddedZero(const std::string& path) {
    return path.find('\0') != std::string::npos;
}

} // namespace

bool CreateFlashTrustCFG(const std::string& content, const std::string& path) {
    if (HasEmbeddedZero(path)) {
        return false;
    }
    CheckPathAndCreate(path.c_str());

    FilePtr file(std::fopen(path.c_str(), "w+"));
    if (!file) {
        return false;
    }
    const size_t written = std::fwrite(content.data(), 1, content.size(), file.get());
    // The bytes may still sit in the stream's buffer: a flush that fails on close (disk full,
    // quota) means the file does not hold them, so that is a failure too.
    const bool closed = std::fclose(file.release()) == 0;
    return closed && written == content.size();
}

void CheckPathAndCreate(const char* path) {
    if (path == nullptr) {
        return;
    }
    const std::string_view whole(path);
    size_t slash = whole.find('/');
    if (slash == std::string_view::npos) {
        return;
    }
    for (;;) {
        slash = whole.find('/', slash + 1);
        if (slash == std::string_view::npos) {
            return;
        }
        const std::string folder(whole.substr(0, slash));
        // Most of the folders are usually there already; the caller's open reports what matters.
        (void)::mkdir(folder.c_str(), 0777);
    }
}

const char* GetUsrHomeDirectory() {
    // A relative HOME would have files written wherever the process runs: it counts as unset.
    const char* home = std::getenv("HOME");
    return home != nullptr && home[0] == '/' ? home : nullptr;
}

bool PathFileExists(const char* path) {
    if (path == nullptr) {
        return false;
    }
    struct stat status {};
    return ::stat(path, &status) == 0;
}

bool CheckFLVFileStatus(const std::string& path) {
    if (path.starts_with("http://")) {
        return true;
    }
    if (HasEmbeddedZero(path)) {
        return false;
    }
    FilePtr file(std::fopen(path.c_str(), "r"));
    if (!file) {
        return false;
    }
    std::array<char, 3> signature{};
    if (std::fread(signature.data(), 1, signature.size(), file.get()) != signature.size()) {
        return false;
    }
    return std::string_view(signature.data(), signature.size()) == "FLV";
}

std::string FormatTimeElement(uint32_t value) {
    std::string text = std::to_string(value);
    if (text.size() < 2) {
        text.insert(0, 1, '0');
    }
    return text;
}

std::string FormatTimeString(float seconds) {
    // Converting a float outside the target's range is undefined, so the whole seconds are
    // clamped first: NaN and negatives count as zero.
    uint32_t whole = 0;
    if (seconds >= 4294967296.0F) {
        whole = UINT32_MAX;
    } else if (seconds > 0.0F) {
        whole = static_cast<uint32_t>(seconds);
    }

    const uint32_t hours = whole / 3600;
    const uint32_t minutes = (whole / 60) % 60;
    const uint32_t secs = whole % 60;

    std::string result = FormatTimeElement(minutes) + ":" + FormatTimeElement(secs);
    if (hours > 0) {
        result = FormatTimeElement(hours) + ":" + result;
    }
    return result;
}

int32_t mod(int32_t a, int32_t b) {
    // A zero divisor would trap, and INT32_MIN % -1 overflows; x % -1 is 0 for every other x.
    if (b == 0 || b == -1) {
        return 0;
    }
    return a % b;
}
