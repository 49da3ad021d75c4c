// The list window's information panel: what the selected movie's header says.
#include <array>
#include <charconv>
#include <cstring>
#include <optional>

#include "capture/CaptureRecords.h"
#include "foundation/objects/NSNotification.h"
#include "foundation/objects/NSString.h"
#include "listwindow/HVXSWFListWindowController.h"
#include "swf/CSWFParser.h"
#include "swf/SWFInfoText.h"

namespace {

// The parser reads its path from a buffer of this size, terminator included.
constexpr size_t kPathBufferSize = 1024;

// The position the page reported: a decimal number, possibly signed and padded with spaces.
// Anything else names no movie.
std::optional<int64_t> SelectedIndex(id notification) {
    auto* note = dynamic_cast<NSNotification*>(notification);
    auto* text = note == nullptr ? nullptr : dynamic_cast<NSString*>(note->object());
    if (text == nullptr) {
        return std::nullopt;
    }
    std::string_view digits = text->UTF8String();
    const size_t first = digits.find_first_not_of(" \t\n\r");
    const size_t last = digits.find_last_not_of(" \t\n\r");
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    digits = digits.substr(first, last - first + 1);
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
    }
    int64_t index = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return index;
}

void Show(NSTextField* field, const std::string& text) {
    if (field != nullptr) {
        field->setStringValue(text);
    }
}

} // namespace

void HVXSWFListWindowController::setSWFInfo(id notification) {
    std::optional<int64_t> index = SelectedIndex(notification);
    if (!index || *index < 0 || static_cast<uint64_t>(*index) >= m_arraySWFUrl.size()) {
        return;
    }
    m_SWFName = m_arraySWFUrl[static_cast<size_t>(*index)].SWFName;

    const std::string path = CapturedSWFPath(m_SWFName);
    // A path that does not fit the buffer is declined whole: parsing a cut path would describe
    // some other file, or none.
    if (path.size() >= kPathBufferSize || path.find('\0') != std::string::npos) {
        return;
    }
    std::array<char, kPathBufferSize> buffer{};
    std::memcpy(buffer.data(), path.data(), path.size());

    CSWFParser::ReleaseInstance();
    CSWFParser* parser = CSWFParser::Instance();
    if (!parser->ParseFileStructure(buffer.data(), true)) {
        return;
    }
    const SWFInfoText text = SWFInfoText::From(m_SWFName, *parser);
    Show(moviesize.get(), text.size);
    Show(filename.get(), text.name);
    if (filename) {
        filename->setToolTip(text.nameToolTip);
    }
    Show(framecount.get(), text.frameCount);
    Show(framerate.get(), text.frameRate);
    Show(fileversion.get(), text.version);
    Show(framesize.get(), text.frameSize);
    if (swfWebview) {
        swfWebview->ExcuteCommand("infoFrameSize", {std::to_string(parser->m_frameWidth),
                                                    std::to_string(parser->m_frameHeight)});
    }
    for (NSTextField* value : {filename.get(), moviesize.get(), framecount.get(), framerate.get(),
                               fileversion.get(), framesize.get()}) {
        if (value != nullptr) {
            value->setTextColor(infoColor);
        }
    }
}
