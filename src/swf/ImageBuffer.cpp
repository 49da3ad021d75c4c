#include "swf/ImageBuffer.h"

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

bool ImageBuffer::Allocate(uint64_t capacity) {
    Release();
    size_t length = MappedLengthFor(capacity);
    void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        return false;
    }
    AdviseHugePages(base, length);
    m_base = base;
    m_mappedLength = length;
    m_capacity = capacity;
    return true;
}

bool ImageBuffer::Grow(uint64_t newCapacity) {
    if (m_base == nullptr) {
        return Allocate(newCapacity);
    }
    size_t length = MappedLengthFor(newCapacity);
    if (length > m_mappedLength) {
        void* base = mremap(m_base, m_mappedLength, length, MREMAP_MAYMOVE);
        if (base == MAP_FAILED) {
            return false;
        }
        AdviseHugePages(base, length);
        m_base = base;
        m_mappedLength = length;
    }
    m_capacity = newCapacity;
    return true;
}

void ImageBuffer::Release() {
    if (m_base != nullptr) {
        munmap(m_base, m_mappedLength);
    }
    m_base = nullptr;
    m_mappedLength = 0;
    m_capacity = 0;
}
