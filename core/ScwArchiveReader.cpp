#include "core/ScwArchiveReader.h"

#include <array>
#include <cstring>

namespace {

constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigTag = 0x7FFF;
constexpr uint32_t kBigClassTag = 0x80000000;
constexpr uint16_t kUtf16Escape = 0xFFFE;

// Unicode code points of the Windows-1252 bytes 0x80-0x9F. The five bytes
// the code page leaves undefined map to the control code of the same value,
// as Windows itself converts them.
constexpr std::array<uint16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char ToCp1252(uint16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return static_cast<char>(unit);
    for (size_t i = 0; i < kCp1252High.size(); ++i)
        if (kCp1252High[i] == unit)
            return static_cast<char>(0x80 + i);
    return '?';
}

bool IsHighSurrogate(uint16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(uint16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

const uint8_t* ScwArchiveReader::Take(size_t n) {
    if (m_failed || n > m_bytes.size() - m_pos) {
        m_failed = true;
        return nullptr;
    }
    const uint8_t* p = m_bytes.data() + m_pos;
    m_pos += n;
    return p;
}

uint8_t ScwArchiveReader::ReadByte() {
    const uint8_t* p = Take(1);
    return p ? p[0] : 0;
}

uint16_t ScwArchiveReader::ReadWord() {
    const uint8_t* p = Take(2);
    return p ? static_cast<uint16_t>(p[0] | p[1] << 8) : 0;
}

uint32_t ScwArchiveReader::ReadDword() {
    const uint8_t* p = Take(4);
    return p ? static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                   static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24
             : 0;
}

uint32_t ScwArchiveReader::ReadLength() {
    const uint8_t b = ReadByte();
    if (b < 0xFF)
        return b;
    const uint16_t w = ReadWord();
    if (w < 0xFFFF)
        return w;
    return ReadDword();
}

std::string ScwArchiveReader::ReadString() {
    const uint8_t b = ReadByte();
    if (b < 0xFF)
        return ReadText(b);
    const uint16_t w = ReadWord();
    if (w == kUtf16Escape)
        return ReadUtf16Text(ReadLength());
    return ReadText(w < 0xFFFF ? w : ReadDword());
}

std::string ScwArchiveReader::ReadText(uint32_t length) {
    // Checked before anything is allocated: a damaged length must not
    // reserve more than the file still holds.
    if (length > Remaining()) {
        m_failed = true;
        return {};
    }
    const uint8_t* p = Take(length);
    return std::string(reinterpret_cast<const char*>(p), length);
}

std::string ScwArchiveReader::ReadUtf16Text(uint32_t units) {
    if (units > Remaining() / 2) {
        m_failed = true;
        return {};
    }
    const uint8_t* p = Take(size_t{units} * 2);
    std::string text;
    text.reserve(units);
    for (uint32_t i = 0; i < units; ++i) {
        const auto unit = static_cast<uint16_t>(p[2 * i] | p[2 * i + 1] << 8);
        // A surrogate pair is one character beyond the code page: one '?'.
        if (IsHighSurrogate(unit) && i + 1 < units) {
            const auto next = static_cast<uint16_t>(p[2 * i + 2] | p[2 * i + 3] << 8);
            if (IsLowSurrogate(next))
                ++i;
        }
        text.push_back(ToCp1252(unit));
    }
    return text;
}

uint32_t ScwArchiveReader::ReadCount() {
    const uint16_t w = ReadWord();
    return w < 0xFFFF ? w : ReadDword();
}

uint16_t ScwArchiveReader::ReadClass(std::string_view expected) {
    const uint16_t tag = ReadWord();
    if (m_failed)
        return 0;
    if (tag == kNewClassTag) {
        const uint16_t schema = ReadWord();
        const uint16_t length = ReadWord();
        const uint8_t* name = length == expected.size() ? Take(length) : nullptr;
        if (!name || std::memcmp(name, expected.data(), length) != 0) {
            m_failed = true;
            return 0;
        }
        m_indices.push_back(static_cast<int32_t>(m_classes.size()));
        m_classes.push_back({std::string(expected), schema});
        return schema;
    }

    uint32_t index = 0;
    if (tag == kBigTag) {
        const uint32_t big = ReadDword();
        // Without the class bit this would be a reference to an object.
        if (!(big & kBigClassTag)) {
            m_failed = true;
            return 0;
        }
        index = big & ~kBigClassTag;
    } else if (tag & kClassTag) {
        index = tag & ~kClassTag;
    } else {
        // The null tag (0) and references to earlier objects: the program
        // never writes either, and honouring them would leave an empty slot
        // or the same record twice.
        m_failed = true;
        return 0;
    }
    if (m_failed || index == 0 || index > m_indices.size() || m_indices[index - 1] < 0 ||
        m_classes[static_cast<size_t>(m_indices[index - 1])].name != expected) {
        m_failed = true;
        return 0;
    }
    return m_classes[static_cast<size_t>(m_indices[index - 1])].schema;
}

uint16_t ScwArchiveReader::ReadObjectClass(std::string_view expected) {
    const uint16_t schema = ReadClass(expected);
    if (!m_failed)
        m_indices.push_back(-1);
    return schema;
}
