#pragma once

#include <cstdint>
#include <vector>

// Writes SWF bit fields most significant bit first, the way the reader consumes them.
class BitWriter {
public:
    void WriteBits(uint32_t value, int count);
    void WriteSigned(int32_t value, int count) { WriteBits(static_cast<uint32_t>(value), count); }
    // Pads the byte in progress with zero bits.
    void Align();
    std::vector<uint8_t> Take();

    // Smallest field width that holds every value as a signed bit field.
    static int SignedWidth(std::initializer_list<int32_t> values);

private:
    std::vector<uint8_t> m_bytes;
    int m_used = 0; // bits used in the last byte, 0 when byte aligned
};
