#include "swf/SWFInfoText.h"

#include <cmath>

#include "swf/SWFBaseParse.h"

namespace {

constexpr size_t kLongestShownName = 21;
constexpr size_t kShortenedNameBytes = 18;

bool IsUtf8Continuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0U) == 0x80U;
}

} // namespace

SWFInfoText SWFInfoText::From(std::string_view swfName, const CSWFBaseParse& parser) {
    std::string bareName = NameWithoutExtension(swfName);
    SWFInfoText text;
    text.name = ShortName(bareName);
    text.nameToolTip = bareName;
    text.size = SizeText(parser.m_fileLength);
    text.version = std::to_string(parser.m_version);
    text.frameSize = FrameSizeText(parser.m_frameWidth, parser.m_frameHeight);
    text.frameRate = std::to_string(static_cast<int32_t>(std::trunc(parser.m_frameRate)));
    text.frameCount = std::to_string(parser.m_frameCount);
    return text;
}

std::string SWFInfoText::NameWithoutExtension(std::string_view swfName) {
    size_t dot = swfName.rfind('.');
    return std::string(dot == std::string_view::npos ? swfName : swfName.substr(0, dot));
}

std::string SWFInfoText::ShortName(std::string_view nameWithoutExtension) {
    if (nameWithoutExtension.size() <= kLongestShownName) {
        return std::string(nameWithoutExtension);
    }
    // Never cut a character in half: back up to the start of the one the cut would split.
    size_t cut = kShortenedNameBytes;
    while (cut > 0 && IsUtf8Continuation(nameWithoutExtension[cut])) {
        --cut;
    }
    return std::string(nameWithoutExtension.substr(0, cut)) + "...";
}

std::string SWFInfoText::SizeText(uint32_t fileLength) {
    // The length is unsigned: a movie over 2 GB must not show a negative size.
    if (fileLength <= 1024) {
        return std::to_string(fileLength) + " Bytes";
    }
    if (fileLength <= 1048576) {
        return std::to_string(fileLength >> 10) + " KB";
    }
    return std::to_string(fileLength >> 20) + " MB";
}

std::string SWFInfoText::FrameSizeText(int32_t width, int32_t height) {
    return std::to_string(width) + "*" + std::to_string(height) + "px";
}
