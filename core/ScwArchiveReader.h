#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Reads the object archive's encodings from a byte span, never past its end.
// The first problem (end of data, an unexpected class, a bad index) sets a
// sticky failure; from then on every read returns zero or empty and
// Remaining() is 0, so a caller checks Failed() once per record instead of
// after every field.
class ScwArchiveReader {
public:
    explicit ScwArchiveReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    bool Failed() const { return m_failed; }
    void Fail() { m_failed = true; }
    size_t Remaining() const { return m_failed ? 0 : m_bytes.size() - m_pos; }
    bool AtEnd() const { return !m_failed && m_pos == m_bytes.size(); }

    uint8_t ReadByte();
    uint16_t ReadWord();
    uint32_t ReadDword();
    // 8-bit text as stored, or UTF-16 text converted to Windows-1252 with
    // '?' for characters it lacks.
    std::string ReadString();
    uint32_t ReadCount();

    // A class marker (record or reference) where the class alone is
    // expected; fails unless it names `expected`. Returns the schema of the
    // class's record.
    uint16_t ReadClass(std::string_view expected);
    // An object's class marker; the object then takes the next index, which
    // nothing may refer to.
    uint16_t ReadObjectClass(std::string_view expected);

private:
    const uint8_t* Take(size_t n);
    uint32_t ReadLength();
    std::string ReadText(uint32_t length);
    std::string ReadUtf16Text(uint32_t units);

    struct ClassEntry {
        std::string name;
        uint16_t schema;
    };

    std::span<const uint8_t> m_bytes;
    size_t m_pos = 0;
    bool m_failed = false;
    std::vector<ClassEntry> m_classes;
    // Running index - 1 -> position in m_classes, or -1 for an object.
    std::vector<int32_t> m_indices;
};
