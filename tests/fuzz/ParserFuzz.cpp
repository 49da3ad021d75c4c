// Feeds arbitrary bytes to the parser as a movie file, then walks its tags and exercises every
// reader from wherever the walk left the cursor.
#include <cstddef>
#include <cstdint>

#include "MemoryFile.h"
#include "swf/SWFBaseParse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile file;
    CSWFBaseParse parser;
    if (!parser.ParseFileStructure(file.Fill(data, size).c_str(), true)) {
        return 0;
    }
    parser.GetSWFInformation();

    // The readers must stay inside the image from any cursor, including past its end.
    const int64_t cursors[] = {8, int64_t{parser.m_dataLength} - 3,
                               static_cast<int64_t>(parser.HeldBytes()) - 1, parser.m_pos};
    for (int64_t cursor : cursors) {
        parser.m_pos = static_cast<int32_t>(cursor); // wraps like any wild position would
        SRECT rect;
        MATRIX matrix;
        CXFORM cxform;
        parser.GetRect(&rect);
        parser.GetMatrix(&matrix);
        parser.GetCxform(&cxform, true);
        parser.GetColor(true);
        parser.GetString();
        parser.GetDWord();
        parser.GetBits(31);
        parser.GetTag();
    }
    return 0;
}
