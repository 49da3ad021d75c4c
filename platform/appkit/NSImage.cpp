#include "appkit/NSImage.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "foundation/objects/RuntimeClass.h"

namespace fs = std::filesystem;

[[maybe_unused]] static const Class kRegistered = NSImage::ClassObject();

Class NSImage::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSImage>("NSImage", NSObject::RootClass());
    return cls;
}

Ref<NSImage> NSImage::initWithContentsOfFile(const std::string& path) {
    if (path.empty()) {
        return nullptr;
    }
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    // A folder opens for reading on Linux, so only regular files (after links) count.
    if (error || !fs::is_regular_file(absolute, error)) {
        return nullptr;
    }
    uintmax_t size = fs::file_size(absolute, error);
    if (error || !std::ifstream(absolute, std::ios::binary).is_open()) {
        return nullptr;
    }
    Ref<NSImage> image = MakeRef<NSImage>();
    image->m_path = absolute.string();
    image->m_fileSize = size;
    return image;
}

nlohmann::json NSImage::DescribeState() const {
    return {{"class", NSStringFromClass(isa())}, {"path", m_path}};
}
