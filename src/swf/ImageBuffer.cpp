#include "swf/ImageBuffer.h"

#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

namespace {

size_t MappedLengthFor(uint64_t capacity) {
    static const auto page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    return static_cast<size_t>((capacity + 1 + page - 1) / page * page); // +1: the zero guard
}

void AdviseHugePages(void* base, size_t length) {
    // Only a hint: without transparent huge pages the image simply uses ordinary ones.
    (void)madvise(base, length, MADV_HUGEPAGE);
}

} // namespace

unsigned char* ImageBuffer::Map(uint64_t capacity, size_t& mappedLength) {
    size_t length = MappedLengthFor(capacity);
    void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        return nullptr;
    }
    AdviseHugePages(base, length);
    mappedLength = length;
    return static_cast<unsigned char*>(base);
}

// Small images live on the heap so that they can grow in place with realloc; large ones are mapped
// and grow with mremap. Neither has a container equivalent.
// NOLINTBEGIN(cppcoreguidelines-no-malloc)
bool ImageBuffer::Allocate(uint64_t capacity) {
    Release();
    size_t mappedLength = 0;
    unsigned char* base = capacity >= kMapThreshold
                              ? Map(capacity, mappedLength)
                              : static_cast<unsigned char*>(std::calloc(capacity + 1, 1));
    if (base == nullptr) {
        return false;
    }
    m_base = base;
    m_mappedLength = mappedLength;
    m_capacity = capacity;
    return true;
}

bool ImageBuffer::Grow(uint64_t newCapacity) {
    if (m_base == nullptr) {
        return Allocate(newCapacity);
    }
    if (m_mappedLength != 0) {
        size_t length = MappedLengthFor(newCapacity);
        if (length > m_mappedLength) {
            void* base = mremap(m_base, m_mappedLength, length, MREMAP_MAYMOVE);
            if (base == MAP_FAILED) {
                return false;
            }
            AdviseHugePages(base, length);
            m_base = static_cast<unsigned char*>(base);
            m_mappedLength = length;
        }
    } else if (newCapacity < kMapThreshold) {
        auto* base = static_cast<unsigned char*>(std::realloc(m_base, newCapacity + 1));
        if (base == nullptr) {
            return false;
        }
        std::memset(base + m_capacity, 0, newCapacity + 1 - m_capacity);
        m_base = base;
    } else {
        size_t mappedLength = 0;
        unsigned char* base = Map(newCapacity, mappedLength);
        if (base == nullptr) {
            return false;
        }
        std::memcpy(base, m_base, m_capacity); // small: the heap holds only small images
        std::free(m_base);
        m_base = base;
        m_mappedLength = mappedLength;
    }
    m_capacity = newCapacity;
    return true;
}

void ImageBuffer::Release() {
    if (m_mappedLength != 0) {
        munmap(m_base, m_mappedLength);
    } else {
        std::free(m_base);
    }
    m_base = nullptr;
    m_mappedLength = 0;
    m_capacity = 0;
}
// NOLINTEND(cppcoreguidelines-no-malloc)
