#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "swf/SWFBaseParse.h"
#include "swf/TagCode.h"

// Builds exactly the movie wanted: header, frame rectangle, rate, count and tags, written
// plain ("FWS") or deflated ("CWS").
class SwfWriter {
public:
    SwfWriter& Version(uint8_t version);
    // Frame rectangle in twips, in file order; nbits defaults to the smallest width that fits.
    SwfWriter& Frame(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax,
                     std::optional<int> nbits = std::nullopt);
    SwfWriter& FrameSizePixels(int32_t width, int32_t height);
    SwfWriter& FrameRate(uint16_t fixed8_8);
    SwfWriter& FrameCount(uint16_t count);
    // Appends a tag; long form when the data needs it or when forced.
    SwfWriter& Tag(TagCode code, const std::vector<uint8_t>& data, bool longForm = false);
    // The same for any 10-bit code, also one the format does not define (hostile movies, padding).
    SwfWriter& Tag(uint16_t code, const std::vector<uint8_t>& data, bool longForm = false);
    SwfWriter& BackgroundColor(uint8_t red, uint8_t green, uint8_t blue);
    SwfWriter& ShowFrame();
    SwfWriter& End();
    // Writes this value into the header's length field instead of the true length.
    SwfWriter& LengthField(uint32_t length);

    // Everything after the 8-byte header.
    std::vector<uint8_t> Body() const;
    std::vector<uint8_t> Fws() const;
    std::vector<uint8_t> Cws(int level = 6) const;

    static std::vector<uint8_t> Rect(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax,
                                     std::optional<int> nbits = std::nullopt);
    static std::vector<uint8_t> Matrix(const MATRIX& matrix, bool hasScale, bool hasRotate);
    static std::vector<uint8_t> Cxform(const CXFORM& cxform, bool hasAdd, bool hasMult,
                                       bool withAlpha);
    static std::vector<uint8_t> Header(char signature, uint8_t version, uint32_t length);
    static std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data, int level = 6);
    static void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

private:
    uint32_t HeaderLength(size_t bodySize) const;

    uint8_t m_version = 10;
    std::vector<uint8_t> m_rect = Rect(0, 11000, 0, 8000);
    uint16_t m_rate = 24 << 8;
    uint16_t m_count = 1;
    std::vector<uint8_t> m_tags;
    std::optional<uint32_t> m_lengthField;
};
