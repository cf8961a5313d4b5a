#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace lab {

// Builds one datagram: the four-byte header (FF FF FF FF for a whole reply,
// FE FF FF FF for a piece of a split one), then little-endian numbers and
// NUL-terminated strings.
class ByteWriter {
public:
    // Reserving first also keeps GCC 12's -O3 from a false stringop-overflow
    // warning on the vector that started as a 4-byte initializer list.
    explicit ByteWriter(uint8_t first = 0xFF) {
        m_bytes.reserve(64);
        m_bytes.assign({first, 0xFF, 0xFF, 0xFF});
    }
    void U8(uint8_t value) { m_bytes.push_back(value); }
    void U16(uint16_t value) {
        U8(static_cast<uint8_t>(value));
        U8(static_cast<uint8_t>(value >> 8));
    }
    void U32(uint32_t value) {
        U16(static_cast<uint16_t>(value));
        U16(static_cast<uint16_t>(value >> 16));
    }
    void U64(uint64_t value) {
        U32(static_cast<uint32_t>(value));
        U32(static_cast<uint32_t>(value >> 32));
    }
    void I32(int32_t value) { U32(static_cast<uint32_t>(value)); }
    void F32(float value) {
        uint32_t bits = 0;
        static_assert(sizeof bits == sizeof value);
        std::memcpy(&bits, &value, sizeof bits);
        U32(bits);
    }
    void Raw(const std::string& text) { m_bytes.insert(m_bytes.end(), text.begin(), text.end()); }
    void String(const std::string& text) {
        Raw(text);
        U8(0);
    }
    void Append(const uint8_t* data, size_t length) {
        m_bytes.insert(m_bytes.end(), data, data + length);
    }
    size_t Size() const { return m_bytes.size(); }
    std::vector<uint8_t> Take() { return std::move(m_bytes); }

private:
    std::vector<uint8_t> m_bytes;
};

} // namespace lab
