#include "BitWriter.h"

#include <algorithm>

void BitWriter::WriteBits(uint32_t value, int count) {
    for (int bit = count - 1; bit >= 0; --bit) {
        if (m_used == 0) {
            m_bytes.push_back(0);
        }
        if (((value >> bit) & 1U) != 0) {
            m_bytes.back() |= static_cast<uint8_t>(0x80U >> m_used);
        }
        m_used = (m_used + 1) % 8;
    }
}

void BitWriter::Align() {
    m_used = 0;
}

std::vector<uint8_t> BitWriter::Take() {
    Align();
    return std::move(m_bytes);
}

int BitWriter::SignedWidth(std::initializer_list<int32_t> values) {
    int width = 0;
    for (int32_t value : values) {
        int needed = 1;
        while (needed < 32 && (value < -(1LL << (needed - 1)) || value >= (1LL << (needed - 1)))) {
            ++needed;
        }
        width = std::max(width, value == 0 ? 0 : needed);
    }
    return width;
}
