#include "core/ScwArchiveWriter.h"

#include <algorithm>

namespace {

constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigTag = 0x7FFF;
constexpr uint32_t kBigClassTag = 0x80000000;

} // namespace

void ScwArchiveWriter::WriteByte(uint8_t value) {
    m_bytes.push_back(value);
}

void ScwArchiveWriter::WriteWord(uint16_t value) {
    m_bytes.push_back(static_cast<uint8_t>(value));
    m_bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void ScwArchiveWriter::WriteDword(uint32_t value) {
    WriteWord(static_cast<uint16_t>(value));
    WriteWord(static_cast<uint16_t>(value >> 16));
}

void ScwArchiveWriter::WriteString(std::string_view text) {
    // Record strings come from datagrams and dialogs, far below 4 GB.
    const auto length = static_cast<uint32_t>(text.size());
    if (length < 0xFF) {
        WriteByte(static_cast<uint8_t>(length));
    } else if (length < 0xFFFE) {
        WriteByte(0xFF);
        WriteWord(static_cast<uint16_t>(length));
    } else {
        // 0xFFFE after the first FF announces UTF-16 text to a reader, so
        // 65534 itself already needs the long form.
        WriteByte(0xFF);
        WriteWord(0xFFFF);
        WriteDword(length);
    }
    m_bytes.insert(m_bytes.end(), text.begin(), text.end());
}

void ScwArchiveWriter::WriteCount(uint32_t count) {
    if (count < 0xFFFF) {
        WriteWord(static_cast<uint16_t>(count));
    } else {
        WriteWord(0xFFFF);
        WriteDword(count);
    }
}

void ScwArchiveWriter::WriteClass(std::string_view name, uint16_t schema) {
    const auto known = std::find_if(m_classes.begin(), m_classes.end(),
                                    [&](const auto& entry) { return entry.first == name; });
    if (known != m_classes.end()) {
        WriteClassReference(known->second);
        return;
    }
    WriteWord(kNewClassTag);
    WriteWord(schema);
    WriteWord(static_cast<uint16_t>(name.size()));
    m_bytes.insert(m_bytes.end(), name.begin(), name.end());
    m_classes.emplace_back(std::string(name), m_nextIndex++);
}

void ScwArchiveWriter::WriteObjectClass(std::string_view name, uint16_t schema) {
    WriteClass(name, schema);
    ++m_nextIndex;
}

void ScwArchiveWriter::WriteClassReference(uint32_t index) {
    if (index < kBigTag) {
        WriteWord(static_cast<uint16_t>(kClassTag + index));
    } else {
        WriteWord(kBigTag);
        WriteDword(kBigClassTag + index);
    }
}
