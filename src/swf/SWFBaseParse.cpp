#include "swf/SWFBaseParse.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "swf/TagCode.h"

namespace {

// Tag codes above a version's entry need at least that version (versions 6 to 10). Bounds, not
// tags: 67 names none.
constexpr uint16_t minSWFTagCodeTable[5] = {56, 67, 67, 86, 89};
// Codes past this one leave the lowest version as it is.
constexpr TagCode kLastVersionedTag = TagCode::DefineFont4;

constexpr size_t kHeaderSize = 8;
constexpr uint32_t kMinHeaderLength = 21;
constexpr size_t kInputChunk = size_t{256} * 1024;
// What the header facts need: the 8-byte header, a frame rectangle of at most 5 + 4 * 31 bits
// (17 bytes), the frame rate and the frame count.
constexpr uint32_t kHeaderFactsLength = kHeaderSize + 17 + 4;
// Input read at a time when only the header facts are wanted: deflate's block header and the
// first literals fit many times over.
constexpr size_t kHeaderInputChunk = 4096;

uint64_t RoundUp(uint64_t value, uint64_t step) {
    return (value + step - 1) / step * step;
}

std::string SystemError() {
    return std::strerror(errno);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Owns a zlib inflate stream for the duration of one body.
class InflateStream {
public:
    InflateStream() { m_ready = inflateInit(&m_stream) == Z_OK; }
    ~InflateStream() {
        if (m_ready) {
            inflateEnd(&m_stream);
        }
    }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;
    InflateStream(InflateStream&&) = delete;
    InflateStream& operator=(InflateStream&&) = delete;

    bool Ready() const { return m_ready; }
    z_stream& operator*() { return m_stream; }
    z_stream* operator->() { return &m_stream; }

private:
    z_stream m_stream{};
    bool m_ready = false;
};

std::string InflateError(z_stream& stream, int code) {
    if (stream.msg != nullptr) {
        return std::string("cannot inflate: ") + stream.msg;
    }
    return "cannot inflate: zlib error " + std::to_string(code);
}

// What a path names when it is not a plain file, for the refusal.
const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    return "not a plain file";
}

} // namespace

// ---- reading primitives ----------------------------------------------------------------------

uint8_t CSWFBaseParse::ByteAt(int64_t index) const {
    if (index < 0 || static_cast<uint64_t>(index) >= m_image.Capacity()) {
        return 0;
    }
    return m_data[static_cast<size_t>(index)];
}

uint16_t CSWFBaseParse::WordAt(int64_t index) const {
    return static_cast<uint16_t>(ByteAt(index) | (ByteAt(index + 1) << 8));
}

void CSWFBaseParse::SkipBytes(int count) {
    // Wraps instead of overflowing: a wild position simply reads as zeros.
    m_pos = static_cast<int32_t>(static_cast<uint32_t>(m_pos) + static_cast<uint32_t>(count));
}

void CSWFBaseParse::InitBits() {
    m_bitCount = 0;
    m_bitBuffer = 0;
}

uint32_t CSWFBaseParse::GetBits(long n) {
    uint32_t result = 0;
    auto remaining = static_cast<int32_t>(std::clamp(n, 0L, 32L));
    uint32_t current = m_bitBuffer;
    while (remaining > m_bitCount) {
        remaining -= m_bitCount;
        result |= remaining < 32 ? current << remaining : 0;
        current = ByteAt(m_pos);
        SkipBytes(1);
        m_bitBuffer = current;
        m_bitCount = 8;
    }
    result |= current >> (m_bitCount - remaining);
    m_bitCount -= remaining;
    m_bitBuffer = current & (0xFFU >> (8 - m_bitCount));
    return result;
}

int32_t CSWFBaseParse::GetSignedBits(long n) {
    uint32_t value = GetBits(n);
    if (n >= 1 && n < 32 && (value & (1U << (n - 1))) != 0) {
        value |= ~0U << n;
    }
    return static_cast<int32_t>(value);
}

uint32_t CSWFBaseParse::GetDWord() {
    InitBits();
    uint32_t value = static_cast<uint32_t>(WordAt(m_pos)) |
                     (static_cast<uint32_t>(WordAt(int64_t{m_pos} + 2)) << 16);
    SkipBytes(4);
    return value;
}

char const* CSWFBaseParse::GetString() {
    InitBits();
    if (m_pos < 0 || static_cast<uint64_t>(m_pos) >= m_image.Capacity()) {
        SkipBytes(1); // Past the image every byte is zero: the terminator is right here.
        return "";
    }
    // The zero guard after the capacity guarantees a terminator inside the image memory.
    auto* start = m_data + m_pos;
    size_t length = std::strlen(reinterpret_cast<char const*>(start));
    SkipBytes(static_cast<int>(length + 1));
    return reinterpret_cast<char const*>(start);
}

uint32_t CSWFBaseParse::GetColor(bool withAlpha) {
    InitBits();
    uint32_t red = ByteAt(m_pos);
    uint32_t green = ByteAt(int64_t{m_pos} + 1);
    uint32_t blue = ByteAt(int64_t{m_pos} + 2);
    uint32_t alpha = withAlpha ? ByteAt(int64_t{m_pos} + 3) : 0xFF;
    SkipBytes(withAlpha ? 4 : 3);
    return alpha << 24 | red << 16 | green << 8 | blue;
}

void CSWFBaseParse::GetRect(SRECT* rect) {
    InitBits();
    long nbits = GetBits(5);
    int32_t x1 = GetSignedBits(nbits);
    int32_t x2 = GetSignedBits(nbits);
    int32_t y1 = GetSignedBits(nbits);
    int32_t y2 = GetSignedBits(nbits);
    rect->xmin = std::min(x1, x2);
    rect->xmax = std::max(x1, x2);
    rect->ymin = std::min(y1, y2);
    rect->ymax = std::max(y1, y2);
}

void CSWFBaseParse::GetMatrix(MATRIX* matrix) {
    InitBits();
    if (GetBits(1) != 0) {
        long n = GetBits(5);
        matrix->scaleX = GetSignedBits(n);
        matrix->scaleY = GetSignedBits(n);
    } else {
        matrix->scaleX = 0x10000;
        matrix->scaleY = 0x10000;
    }
    if (GetBits(1) != 0) {
        long n = GetBits(5);
        matrix->rotateSkew0 = GetSignedBits(n);
        matrix->rotateSkew1 = GetSignedBits(n);
    } else {
        matrix->rotateSkew0 = 0;
        matrix->rotateSkew1 = 0;
    }
    long n = GetBits(5);
    matrix->translateX = GetSignedBits(n);
    matrix->translateY = GetSignedBits(n);
}

void CSWFBaseParse::GetCxform(CXFORM* cxform, bool withAlpha) {
    InitBits();
    bool hasAdd = GetBits(1) != 0;
    bool hasMult = GetBits(1) != 0;
    long n = GetBits(4);
    auto term = [&] { return static_cast<int16_t>(GetSignedBits(n)); };
    cxform->alphaMult = 256;
    cxform->alphaAdd = 0;
    if (hasMult) {
        cxform->redMult = term();
        cxform->greenMult = term();
        cxform->blueMult = term();
        if (withAlpha) {
            cxform->alphaMult = term();
        }
    } else {
        cxform->redMult = cxform->greenMult = cxform->blueMult = 256;
    }
    if (hasAdd) {
        cxform->redAdd = term();
        cxform->greenAdd = term();
        cxform->blueAdd = term();
        if (withAlpha) {
            cxform->alphaAdd = term();
        }
    } else {
        cxform->redAdd = cxform->greenAdd = cxform->blueAdd = 0;
    }
}

uint16_t CSWFBaseParse::GetTag() {
    InitBits();
    m_tagStart = m_pos;
    uint16_t header = WordAt(m_pos);
    SkipBytes(2);
    auto code = static_cast<uint16_t>(header >> 6);
    uint32_t length = header & 0x3FU;
    if (length == 0x3F) {
        length = GetDWord();
    }
    uint64_t end = uint64_t{static_cast<uint32_t>(m_pos)} + length;
    m_tagLength = static_cast<int32_t>(length);
    m_tagEnd = static_cast<uint32_t>(end);
    m_savedTagStart = m_tagStart;
    m_savedTagSize = static_cast<int32_t>(m_tagEnd - static_cast<uint32_t>(m_tagStart));
    if (end >= m_dataLength) { // also catches an end beyond 32 bits
        m_tagEnd = m_dataLength;
        code = CodeOf(TagCode::End);
    }
    if (code > CodeOf(kLastVersionedTag)) {
        return code;
    }
    for (uint8_t version = 6; version <= 10; ++version) {
        if (code > minSWFTagCodeTable[version - 6] && version > m_minVersion) {
            m_minVersion = version;
        }
    }
    // The new virtual machine's code and its class table need version 9.
    if (m_minVersion <= 8 &&
        (code == CodeOf(TagCode::SymbolClass) || code == CodeOf(TagCode::DoABC))) {
        m_minVersion = 9;
    }
    return code;
}

void CSWFBaseParse::SaveTag(int& counter, char const* /*unused1*/, char const* /*unused2*/) {
    ++counter;
    m_savedTagStart = m_tagStart;
    m_savedTagSize = static_cast<int32_t>(m_tagEnd - static_cast<uint32_t>(m_tagStart));
}

void CSWFBaseParse::where() {
}

// ---- the file --------------------------------------------------------------------------------

bool CSWFBaseParse::ParseFile(char const* path) {
    bool ok = ParseFileStructure(path, true);
    ReleaseImage();
    m_pos = 0;
    m_bitCount = 0;
    m_bitBuffer = 0;
    return ok;
}

bool CSWFBaseParse::ParseTags(bool /*flag*/, unsigned long /*first*/, unsigned long /*last*/) {
    return true;
}

bool CSWFBaseParse::Uncompress(unsigned char* /*dest*/, unsigned long& /*destLength*/,
                               unsigned char* /*source*/, unsigned long /*sourceLength*/) {
    return true;
}

void CSWFBaseParse::ReleaseImage() {
    m_image.Release();
    m_data = nullptr;
    m_dataLength = 0;
}

bool CSWFBaseParse::Fail(std::string reason) {
    m_failureReason = std::move(reason);
    return false;
}

bool CSWFBaseParse::AllocateImage(uint64_t capacity) {
    bool ok = m_image.Allocate(capacity);
    m_data = m_image.Data();
    return ok || Fail("cannot allocate " + std::to_string(capacity) + " bytes");
}

bool CSWFBaseParse::GrowImage(uint64_t newCapacity) {
    bool ok = m_image.Grow(newCapacity);
    m_data = m_image.Data();
    return ok || Fail("cannot allocate " + std::to_string(newCapacity) + " bytes");
}

bool CSWFBaseParse::ParseFileStructure(char const* path, bool /*flag*/) {
    return ReadMovie(path, Extent::kWholeMovie);
}

bool CSWFBaseParse::ParseHeader(char const* path) {
    return ReadMovie(path, Extent::kHeaderFacts);
}

bool CSWFBaseParse::ReadMovie(char const* path, Extent extent) {
    ReleaseImage();
    m_isCompressed = false;
    m_failureReason.clear();

    // Opened without blocking: a FIFO would otherwise wait for a writer that may never come, and
    // only a regular file can be read as a movie.
    int descriptor = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return Fail("cannot open: " + SystemError());
    }
    struct stat info {};
    if (::fstat(descriptor, &info) != 0) {
        std::string reason = SystemError();
        ::close(descriptor);
        return Fail("cannot read: " + reason);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(descriptor);
        return Fail(std::string("not a regular file (") + KindOf(info.st_mode) + ")");
    }
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    FilePtr file(::fdopen(descriptor, "rb"));
    if (!file) {
        std::string reason = SystemError();
        ::close(descriptor);
        return Fail("cannot open: " + reason);
    }
    if (fseeko(file.get(), 0, SEEK_END) != 0) {
        return Fail("cannot read: " + SystemError());
    }
    off_t sizeOnDisk = ftello(file.get());
    if (sizeOnDisk < 0 || fseeko(file.get(), 0, SEEK_SET) != 0) {
        return Fail("cannot read: " + SystemError());
    }

    unsigned char header[kHeaderSize];
    if (std::fread(header, 1, kHeaderSize, file.get()) != kHeaderSize) {
        return Fail(std::ferror(file.get()) != 0 ? "cannot read: " + SystemError()
                                                 : std::string("shorter than a header"));
    }
    if (header[1] != 'W' || header[2] != 'S' || (header[0] != 'F' && header[0] != 'C')) {
        return Fail("not a SWF file");
    }
    m_isCompressed = header[0] == 'C';
    m_version = header[3];
    uint32_t headerLength =
        header[4] | header[5] << 8 | header[6] << 16 | static_cast<uint32_t>(header[7]) << 24;
    m_dataLength = headerLength;
    m_fileLength = headerLength;
    if (headerLength < kMinHeaderLength) {
        return Fail("length field too small (" + std::to_string(headerLength) + " bytes)");
    }

    const uint32_t wanted =
        extent == Extent::kHeaderFacts ? std::min(headerLength, kHeaderFactsLength) : headerLength;
    bool read = m_isCompressed
                    ? InflateBody(file.get(), static_cast<uint64_t>(sizeOnDisk) - kHeaderSize,
                                  wanted, extent)
                    : ReadPlainBody(file.get(), static_cast<uint64_t>(sizeOnDisk), wanted);
    if (!read) {
        return false;
    }
    std::memcpy(m_data, header, kHeaderSize);

    m_pos = kHeaderSize;
    GetRect(&m_frameRect);
    m_frameWidth = static_cast<int32_t>((int64_t{m_frameRect.xmax} - m_frameRect.xmin) / 20);
    m_frameHeight = static_cast<int32_t>((int64_t{m_frameRect.ymax} - m_frameRect.ymin) / 20);
    InitBits();
    uint16_t rate = WordAt(m_pos);
    uint16_t count = WordAt(int64_t{m_pos} + 2);
    SkipBytes(4);
    m_frameRate = static_cast<float>(rate / 256.0);
    m_frameCount = count;
    return true;
}

bool CSWFBaseParse::ReadPlainBody(std::FILE* file, uint64_t sizeOnDisk, uint32_t wanted) {
    uint64_t count = wanted < sizeOnDisk ? wanted - kHeaderSize : sizeOnDisk - kHeaderSize;
    // Only what the file can fill is allocated: a short file claiming gigabytes costs little,
    // and its missing tail reads as zeros all the same.
    count = std::min(count, kImageCeiling - kHeaderSize);
    if (!AllocateImage(kHeaderSize + count + kTailPadding)) {
        return false;
    }
    if (std::fread(m_data + kHeaderSize, 1, count, file) != count) {
        return Fail("cannot read: " + SystemError());
    }
    return true;
}

bool CSWFBaseParse::InflateBody(std::FILE* file, uint64_t bodyOnDisk, uint32_t wanted,
                                Extent extent) {
    const bool headerOnly = extent == Extent::kHeaderFacts;
    uint64_t capacity =
        wanted > kGrowthStep ? uint64_t{kGrowthStep} : uint64_t{wanted} + kTailPadding;
    // Output beyond the declared length (rounded up to the growth step) lies after the movie's
    // end and is not kept: a small file must not be able to claim unbounded memory. For the
    // header alone, the first buffer is all there is.
    uint64_t bound =
        headerOnly ? capacity
                   : std::min(std::max(RoundUp(wanted, kGrowthStep), capacity), kImageCeiling);
    if (!AllocateImage(capacity)) {
        return false;
    }
    InflateStream stream;
    if (!stream.Ready()) {
        return Fail(InflateError(*stream, Z_MEM_ERROR));
    }
    stream->next_out = m_data + kHeaderSize;
    stream->avail_out = static_cast<uInt>(capacity - kHeaderSize);

    // Left uninitialised: fread fills what inflate reads.
    size_t inputSize = static_cast<size_t>(
        std::clamp<uint64_t>(bodyOnDisk, 1, headerOnly ? kHeaderInputChunk : kInputChunk));
    auto input = std::make_unique_for_overwrite<unsigned char[]>(inputSize);
    bool inputEnded = false;
    auto inflateAll = [&]() -> bool {
        for (;;) {
            if (stream->avail_in == 0 && !inputEnded) {
                size_t got = std::fread(input.get(), 1, inputSize, file);
                if (got < inputSize) {
                    if (std::ferror(file) != 0) {
                        return Fail("cannot read: " + SystemError());
                    }
                    inputEnded = true;
                }
                stream->next_in = input.get();
                stream->avail_in = static_cast<uInt>(got);
            }
            int code = inflate(&*stream, Z_SYNC_FLUSH);
            if (code == Z_STREAM_END) {
                return true;
            }
            bool starved = stream->avail_in == 0 && inputEnded;
            // A body that ends before yielding a byte holds no movie: it must not pass as a movie
            // of zeros.
            if ((starved || code == Z_STREAM_END) && stream->total_out == 0) {
                return Fail("cannot inflate: the compressed body ends before any data");
            }
            if (code == Z_BUF_ERROR && starved) {
                return true; // the stream is cut short: keep what it produced
            }
            if (code != Z_OK) {
                return Fail(InflateError(*stream, code));
            }
            if (stream->avail_out == 0) {
                if (m_image.Capacity() >= bound) {
                    return true;
                }
                uint64_t used = m_image.Capacity();
                if (!GrowImage(std::min(m_image.Capacity() + kGrowthStep, bound))) {
                    return false;
                }
                stream->next_out = m_data + used;
                stream->avail_out = static_cast<uInt>(m_image.Capacity() - used);
            } else if (starved) {
                return true;
            }
        }
    };
    bool ok = inflateAll();
    m_dataLength = static_cast<uint32_t>(kHeaderSize + stream->total_out);
    return ok;
}

bool CSWFBaseParse::GetSWFInformation() {
    for (;;) {
        const auto code = static_cast<TagCode>(GetTag());
        uint32_t next = m_tagEnd;
        if (code == TagCode::SetBackgroundColor) {
            m_backgroundColor = static_cast<uint32_t>(ByteAt(m_pos)) << 16 |
                                static_cast<uint32_t>(ByteAt(int64_t{m_pos} + 1)) << 8 |
                                ByteAt(int64_t{m_pos} + 2);
        } else if (code == TagCode::Protect) {
            m_isProtected = true;
        } else if (code == TagCode::ProductInfo) {
            m_hasTag41 = true;
        }
        m_pos = static_cast<int32_t>(next);
        if (code == TagCode::End) {
            return true;
        }
    }
}
