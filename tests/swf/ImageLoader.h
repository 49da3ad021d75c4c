#pragma once

#include <cstdint>
#include <vector>

#include "SwfWriter.h"
#include "TempDir.h"
#include "swf/SWFBaseParse.h"

// Puts arbitrary bytes in front of the reader: they become the body of a plain movie whose image
// the parser loads the ordinary way; the cursor is then set to the first of them.
inline void LoadImage(CSWFBaseParse& parser, const std::vector<uint8_t>& bytes) {
    TempDir dir;
    std::vector<uint8_t> file =
        SwfWriter::Header('F', 10, static_cast<uint32_t>(8 + bytes.size() + 21));
    file.insert(file.end(), bytes.begin(), bytes.end());
    ASSERT_TRUE(parser.ParseFileStructure(dir.Write("image.swf", file).c_str(), true))
        << parser.FailureReason();
    parser.m_pos = 8;
    parser.InitBits();
}
