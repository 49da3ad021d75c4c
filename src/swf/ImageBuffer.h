#pragma once

#include <cstddef>
#include <cstdint>

// The memory a movie image lives in: an anonymous mapping, so that it starts out zero without
// being written, grows in place or moves without copying (mremap), and can use huge pages, which
// makes filling a large image with inflated data nearly as cheap as inflating into warm memory.
// Bytes past the capacity, up to the end of the last page, are zero too: at least one always
// exists, so a NUL-terminated read can never run off the mapping.
class ImageBuffer {
public:
    ImageBuffer() = default;
    ~ImageBuffer() { Release(); }
    ImageBuffer(const ImageBuffer&) = delete;
    ImageBuffer& operator=(const ImageBuffer&) = delete;
    ImageBuffer(ImageBuffer&&) = delete;
    ImageBuffer& operator=(ImageBuffer&&) = delete;

    // Replaces any held image with `capacity` zero bytes. False when memory is refused.
    bool Allocate(uint64_t capacity);
    // Keeps the contents; the added bytes are zero. False (image unchanged) when refused.
    bool Grow(uint64_t newCapacity);
    void Release();

    unsigned char* Data() const { return static_cast<unsigned char*>(m_base); }
    uint64_t Capacity() const { return m_capacity; }

private:
    void* m_base = nullptr;
    size_t m_mappedLength = 0;
    uint64_t m_capacity = 0;
};
