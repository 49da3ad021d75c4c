#include "SwfWriter.h"

#include <fstream>
#include <stdexcept>

#include <zlib.h>

#include "BitWriter.h"

namespace {

void AppendLE(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

} // namespace

SwfWriter& SwfWriter::Version(uint8_t version) {
    m_version = version;
    return *this;
}

SwfWriter& SwfWriter::Frame(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax,
                            std::optional<int> nbits) {
    m_rect = Rect(xmin, xmax, ymin, ymax, nbits);
    return *this;
}

SwfWriter& SwfWriter::FrameSizePixels(int32_t width, int32_t height) {
    return Frame(0, width * 20, 0, height * 20);
}

SwfWriter& SwfWriter::FrameRate(uint16_t fixed8_8) {
    m_rate = fixed8_8;
    return *this;
}

SwfWriter& SwfWriter::FrameCount(uint16_t count) {
    m_count = count;
    return *this;
}

SwfWriter& SwfWriter::Tag(uint16_t code, const std::vector<uint8_t>& data, bool longForm) {
    if (longForm || data.size() >= 0x3F) {
        AppendLE(m_tags, static_cast<uint32_t>(code << 6 | 0x3F), 2);
        AppendLE(m_tags, static_cast<uint32_t>(data.size()), 4);
    } else {
        AppendLE(m_tags, static_cast<uint32_t>(code << 6 | data.size()), 2);
    }
    m_tags.insert(m_tags.end(), data.begin(), data.end());
    return *this;
}

SwfWriter& SwfWriter::Tag(TagCode code, const std::vector<uint8_t>& data, bool longForm) {
    return Tag(CodeOf(code), data, longForm);
}

SwfWriter& SwfWriter::BackgroundColor(uint8_t red, uint8_t green, uint8_t blue) {
    return Tag(TagCode::SetBackgroundColor, {red, green, blue});
}

SwfWriter& SwfWriter::ShowFrame() {
    return Tag(TagCode::ShowFrame, {});
}

SwfWriter& SwfWriter::End() {
    return Tag(TagCode::End, {});
}

SwfWriter& SwfWriter::LengthField(uint32_t length) {
    m_lengthField = length;
    return *this;
}

std::vector<uint8_t> SwfWriter::Body() const {
    std::vector<uint8_t> body = m_rect;
    AppendLE(body, m_rate, 2);
    AppendLE(body, m_count, 2);
    body.insert(body.end(), m_tags.begin(), m_tags.end());
    return body;
}

uint32_t SwfWriter::HeaderLength(size_t bodySize) const {
    return m_lengthField.value_or(static_cast<uint32_t>(bodySize + 8));
}

std::vector<uint8_t> SwfWriter::Fws() const {
    std::vector<uint8_t> body = Body();
    std::vector<uint8_t> file = Header('F', m_version, HeaderLength(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

std::vector<uint8_t> SwfWriter::Cws(int level) const {
    std::vector<uint8_t> body = Body();
    std::vector<uint8_t> file = Header('C', m_version, HeaderLength(body.size()));
    std::vector<uint8_t> packed = Deflate(body, level);
    file.insert(file.end(), packed.begin(), packed.end());
    return file;
}

std::vector<uint8_t> SwfWriter::Rect(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax,
                                     std::optional<int> nbits) {
    int width = nbits.value_or(BitWriter::SignedWidth({xmin, xmax, ymin, ymax}));
    BitWriter bits;
    bits.WriteBits(static_cast<uint32_t>(width), 5);
    for (int32_t value : {xmin, xmax, ymin, ymax}) {
        bits.WriteSigned(value, width);
    }
    return bits.Take();
}

std::vector<uint8_t> SwfWriter::Matrix(const MATRIX& m, bool hasScale, bool hasRotate) {
    BitWriter bits;
    // Each pair of terms is stored as a 5-bit width and two signed fields of that width.
    auto pair = [&bits](int32_t first, int32_t second) {
        int width = BitWriter::SignedWidth({first, second});
        bits.WriteBits(static_cast<uint32_t>(width), 5);
        bits.WriteSigned(first, width);
        bits.WriteSigned(second, width);
    };
    bits.WriteBits(hasScale ? 1 : 0, 1);
    if (hasScale) {
        pair(m.scaleX, m.scaleY);
    }
    bits.WriteBits(hasRotate ? 1 : 0, 1);
    if (hasRotate) {
        pair(m.rotateSkew0, m.rotateSkew1);
    }
    pair(m.translateX, m.translateY);
    return bits.Take();
}

std::vector<uint8_t> SwfWriter::Cxform(const CXFORM& c, bool hasAdd, bool hasMult, bool withAlpha) {
    int width = BitWriter::SignedWidth({c.redMult, c.greenMult, c.blueMult, c.alphaMult, c.redAdd,
                                        c.greenAdd, c.blueAdd, c.alphaAdd});
    BitWriter bits;
    bits.WriteBits(hasAdd ? 1 : 0, 1);
    bits.WriteBits(hasMult ? 1 : 0, 1);
    bits.WriteBits(static_cast<uint32_t>(width), 4);
    if (hasMult) {
        for (int32_t v : {c.redMult, c.greenMult, c.blueMult}) {
            bits.WriteSigned(v, width);
        }
        if (withAlpha) {
            bits.WriteSigned(c.alphaMult, width);
        }
    }
    if (hasAdd) {
        for (int32_t v : {c.redAdd, c.greenAdd, c.blueAdd}) {
            bits.WriteSigned(v, width);
        }
        if (withAlpha) {
            bits.WriteSigned(c.alphaAdd, width);
        }
    }
    return bits.Take();
}

std::vector<uint8_t> SwfWriter::Header(char signature, uint8_t version, uint32_t length) {
    std::vector<uint8_t> header = {static_cast<uint8_t>(signature), 'W', 'S', version};
    AppendLE(header, length, 4);
    return header;
}

std::vector<uint8_t> SwfWriter::Deflate(const std::vector<uint8_t>& data, int level) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::vector<uint8_t> out(size);
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), level) != Z_OK) {
        throw std::runtime_error("deflate failed");
    }
    out.resize(size);
    return out;
}

void SwfWriter::WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}
