#pragma once

#include <cstdint>
#include <string>

#include "appkit/ModelObject.h"

// An image as a model: the file it comes from. Nothing is decoded here; the front end fetches
// the file itself, so an image only vouches that the file was there and readable.
class NSImage : public ModelObject {
public:
    NSImage() : ModelObject(ClassObject()) {}
    static Class ClassObject();

    // Null when the file cannot be read: missing, a folder, or unreadable. A relative path is
    // made absolute here, since the front end does not share this process's working folder.
    static Ref<NSImage> initWithContentsOfFile(const std::string& path);

    const std::string& path() const { return m_path; }
    uintmax_t fileSize() const { return m_fileSize; }

    nlohmann::json DescribeState() const override;
    bool IsValue() const override { return true; }

private:
    std::string m_path;
    uintmax_t m_fileSize = 0;
};
