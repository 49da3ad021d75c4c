#pragma once

#include <cstddef>
#include <cstdint>

// The memory a movie image lives in, always zero where nothing has been written. Bytes past the
// capacity are zero too: at least one always exists, so a NUL-terminated read can never run off
// the end.
//
// Large images live in an anonymous mapping: it starts out zero without being written, grows in
// place or moves without copying (mremap), and can use huge pages, which makes filling it with
// inflated data nearly as cheap as inflating into warm memory. Small images come from the heap,
// where the mapping's system calls would cost more than the whole parse.
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

    unsigned char* Data() const { return m_base; }
    uint64_t Capacity() const { return m_capacity; }

    // Images at least this large are mapped rather than taken from the heap (one huge page).
    static constexpr uint64_t kMapThreshold = uint64_t{2} << 20;

private:
    static unsigned char* Map(uint64_t capacity, size_t& mappedLength);

    unsigned char* m_base = nullptr;
    size_t m_mappedLength = 0; // 0 when the image is on the heap
    uint64_t m_capacity = 0;
};
