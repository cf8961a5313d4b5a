#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Writes the object archive's encodings: little-endian integers, strings and
// counts with their escalating length prefixes, and class markers that keep
// the archive's running index (classes and objects share one numbering that
// starts at 1).
class ScwArchiveWriter {
public:
    void WriteByte(uint8_t value);
    void WriteWord(uint16_t value);
    void WriteDword(uint32_t value);
    // L < 255: byte L; L < 65534: FF, word L; else FF, FFFF, dword L.
    void WriteString(std::string_view text);
    // n < 0xFFFF: word n; else FFFF, dword n.
    void WriteCount(uint32_t count);

    // The class alone (the document and the filters): its record the first
    // time, a reference afterwards. Only a new record takes an index.
    void WriteClass(std::string_view name, uint16_t schema);
    // An object's class marker; the object itself takes the next index too.
    void WriteObjectClass(std::string_view name, uint16_t schema);

    // The index the next class record or object would take.
    uint32_t NextIndex() const { return m_nextIndex; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    std::vector<uint8_t> TakeBytes() { return std::move(m_bytes); }

private:
    void WriteClassReference(uint32_t index);

    std::vector<uint8_t> m_bytes;
    std::vector<std::pair<std::string, uint32_t>> m_classes; // name, index
    uint32_t m_nextIndex = 1;
};
