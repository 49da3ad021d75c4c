#include "MovieBuilder.h"

#include <string_view>

#include "RequestMovieCode.h"
#include "ShapeTags.h"
#include "SwfWriter.h"
#include "swf/TagCode.h"

namespace {

// FileAttributes flags.
constexpr uint8_t kActionScript3 = 0x08;
constexpr uint8_t kUseNetwork = 0x01;

void AppendCString(std::vector<uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

std::vector<uint8_t> DoAbc(const std::vector<MovieDescription::Request>& requests) {
    // Flags, a little-endian UI32: 1, run the script when a name it defines is first needed, as
    // compilers write it.
    std::vector<uint8_t> body = {1, 0, 0, 0};
    AppendCString(body, ""); // no name
    std::vector<uint8_t> abc = RequestMovieCode::Abc(requests);
    body.insert(body.end(), abc.begin(), abc.end());
    return body;
}

// Character 0, the main timeline, is an instance of the document class.
std::vector<uint8_t> SymbolClass() {
    std::vector<uint8_t> body = {1, 0, 0, 0}; // one symbol: character 0
    AppendCString(body, RequestMovieCode::kDocumentClass);
    return body;
}

// An action with its operands, their length first.
void AppendAction(std::vector<uint8_t>& body, uint8_t code, const std::vector<uint8_t>& operands) {
    body.push_back(code);
    body.push_back(static_cast<uint8_t>(operands.size()));
    body.push_back(static_cast<uint8_t>(operands.size() >> 8));
    body.insert(body.end(), operands.begin(), operands.end());
}

// ActionPush of one string.
void AppendPush(std::vector<uint8_t>& body, const std::string& text) {
    std::vector<uint8_t> operands = {0}; // type 0: a string
    AppendCString(operands, text);
    AppendAction(body, 0x96, operands);
}

// The first frame's actions: one GetURL per load (GetURL2 of a variable's value), then the end
// of the list.
std::vector<uint8_t> DoAction(const std::vector<MovieDescription::Load>& loads) {
    constexpr uint8_t kActionGetURL = 0x83;
    constexpr uint8_t kActionGetVariable = 0x1C;
    constexpr uint8_t kActionGetURL2 = 0x9A;
    std::vector<uint8_t> body;
    for (const MovieDescription::Load& load : loads) {
        if (load.variable.empty()) {
            std::vector<uint8_t> operands;
            AppendCString(operands, load.url);
            AppendCString(operands, load.target);
            AppendAction(body, kActionGetURL, operands);
            continue;
        }
        // GetURL2 takes the target from the top of the stack, the address from below it.
        AppendPush(body, load.variable);
        body.push_back(kActionGetVariable);
        AppendPush(body, load.target);
        AppendAction(body, kActionGetURL2, {0}); // GET, into a window or level, a movie
    }
    body.push_back(0); // ActionEnd
    return body;
}

} // namespace

std::vector<uint8_t> MovieBuilder::Build(const MovieDescription& movie) {
    SwfWriter writer;
    writer.Version(movie.version)
        .FrameSizePixels(movie.width, movie.height)
        .FrameRate(movie.frameRate)
        .FrameCount(movie.frames);
    if (movie.requests) {
        writer.Tag(TagCode::FileAttributes, {kActionScript3 | kUseNetwork, 0, 0, 0});
    } else if (movie.version >= 8) {
        // No ActionScript 3, no network access: a plain local movie.
        writer.Tag(TagCode::FileAttributes, {0, 0, 0, 0});
    }
    if (movie.background) {
        uint32_t rgb = *movie.background;
        writer.BackgroundColor(static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                               static_cast<uint8_t>(rgb));
    }
    uint16_t number = 0;
    for (const MovieDescription::Rectangle& shape : movie.shapes) {
        ++number; // character id and depth alike
        writer.Tag(shape.withAlpha ? TagCode::DefineShape3 : TagCode::DefineShape,
                   ShapeTags::FilledRectangle(number, shape.width, shape.height, shape.rgba,
                                              shape.withAlpha));
        MATRIX place{0x10000, 0, 0, 0x10000, shape.x, shape.y};
        writer.Tag(TagCode::PlaceObject2, ShapeTags::PlaceObject2(number, number, place));
    }
    if (movie.requests) {
        // In the first frame, after its shapes, as compilers place the code.
        writer.Tag(TagCode::DoABC, DoAbc(*movie.requests));
        writer.Tag(TagCode::SymbolClass, SymbolClass());
    }
    if (!movie.loads.empty()) {
        writer.Tag(TagCode::DoAction, DoAction(movie.loads));
    }
    for (uint16_t frame = 0; frame < movie.frames; ++frame) {
        writer.ShowFrame();
    }
    writer.End();
    return movie.compressed ? writer.Cws(9) : writer.Fws();
}
