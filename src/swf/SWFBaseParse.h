#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "swf/ImageBuffer.h"

// The frame rectangle and shape bounds, in twips (1/20 pixel), normalised so min <= max.
struct SRECT {
    int32_t xmin;
    int32_t xmax;
    int32_t ymin;
    int32_t ymax;
};

// Scale and rotate/skew terms are 16.16 fixed point; translation is in twips.
struct MATRIX {
    int32_t scaleX;
    int32_t rotateSkew0;
    int32_t rotateSkew1;
    int32_t scaleY;
    int32_t translateX;
    int32_t translateY;
};

// Multipliers are 8.8 fixed point (256 = 1.0); additive terms are plain offsets.
struct CXFORM {
    int16_t alphaMult;
    int16_t alphaAdd;
    int16_t redMult;
    int16_t redAdd;
    int16_t greenMult;
    int16_t greenAdd;
    int16_t blueMult;
    int16_t blueAdd;
};

// Holds a whole SWF image (8-byte header plus the plain or inflated body) and reads it with a
// cursor. Reads never leave the buffer: every byte past what is held reads as zero, which is what
// the zero-filled tail of the image promises anyway.
class CSWFBaseParse {
public:
    // The first image allocation for a compressed movie, and the step it grows by.
    static constexpr uint32_t kGrowthStep = 0xA00000;
    // No image ever holds more than this, whatever the header claims: a hostile file must not be
    // able to exhaust memory. The header facts sit in the first bytes, so they are never affected.
    static constexpr uint64_t kImageCeiling = uint64_t{kGrowthStep} * 12;
    // Zero bytes kept beyond the declared length of a plain movie.
    static constexpr uint32_t kTailPadding = 256;

    CSWFBaseParse() = default;
    // Deliberately not virtual: the parser is only ever destroyed through its own type.
    ~CSWFBaseParse() = default;
    CSWFBaseParse(const CSWFBaseParse&) = delete;
    CSWFBaseParse& operator=(const CSWFBaseParse&) = delete;
    CSWFBaseParse(CSWFBaseParse&&) = delete;
    CSWFBaseParse& operator=(CSWFBaseParse&&) = delete;

    // The four virtual operations, in this slot order.
    virtual bool ParseFile(char const* path);
    virtual bool ParseFileStructure(char const* path, bool flag);
    virtual bool ParseTags(bool flag, unsigned long first, unsigned long last);
    virtual bool GetSWFInformation();

    static bool Uncompress(unsigned char* dest, unsigned long& destLength, unsigned char* source,
                           unsigned long sourceLength);

    // Reading primitives.
    void InitBits();
    uint32_t GetBits(long n);
    uint32_t GetDWord();
    char const* GetString();
    uint32_t GetColor(bool withAlpha);
    void GetRect(SRECT* rect);
    void GetMatrix(MATRIX* matrix);
    void GetCxform(CXFORM* cxform, bool withAlpha);
    uint16_t GetTag();
    void SkipBytes(int count);
    void SaveTag(int& counter, char const* unused1, char const* unused2);
    void where();

    // ParseFileStructure for the header facts alone: reads only the bytes they stand in (a
    // compressed movie is inflated only that far), fails as ParseFileStructure fails on what it
    // reads, and sets the same information fields. The tags are not held: GetSWFInformation must
    // not follow.
    bool ParseHeader(char const* path);

    // Why the last ParseFileStructure failed ("" after a success), for callers that want more
    // than the success flag: "cannot open: ...", "not a SWF file", ...
    const std::string& FailureReason() const { return m_failureReason; }
    // Bytes actually held in the image (reads at or beyond this read as zero).
    uint64_t HeldBytes() const { return m_image.Capacity(); }

    uint8_t m_minVersion = 0;
    int32_t m_frameWidth = 0;
    int32_t m_frameHeight = 0;
    int32_t m_frameCount = 0;
    uint32_t m_fileLength = 0;
    int32_t m_version = 0;
    uint32_t m_backgroundColor = 0;
    bool m_isCompressed = false;
    bool m_isProtected = false;
    bool m_hasTag41 = false;
    float m_frameRate = 0.0F;
    SRECT m_frameRect{};

    // The image's first byte, or null; the memory belongs to the image buffer below.
    unsigned char* m_data = nullptr;
    uint32_t m_dataLength = 0;
    int32_t m_pos = 0;
    int32_t m_bitCount = 0;
    uint32_t m_bitBuffer = 0;
    int32_t m_tagStart = 0;
    uint32_t m_tagEnd = 0;
    int32_t m_tagLength = 0;
    int32_t m_savedTagStart = 0;
    int32_t m_savedTagSize = 0;

protected:
    void ReleaseImage();

private:
    bool Fail(std::string reason);
    bool AllocateImage(uint64_t capacity);
    bool GrowImage(uint64_t newCapacity);
    enum class Extent { kWholeMovie, kHeaderFacts };
    // Reads the file (all of it, or only what the header facts need) and decodes the header.
    bool ReadMovie(char const* path, Extent extent);
    bool ReadPlainBody(std::FILE* file, uint64_t sizeOnDisk, uint32_t wanted);
    bool InflateBody(std::FILE* file, uint64_t bodyOnDisk, uint32_t wanted, Extent extent);
    uint8_t ByteAt(int64_t index) const;
    uint16_t WordAt(int64_t index) const;
    int32_t GetSignedBits(long n);

    ImageBuffer m_image;
    std::string m_failureReason;
};
