#pragma once

// The one builder of datagrams and payloads, and exact-size copies for
// sweeping truncations under the sanitizers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

// Remembers where each field or entry ends, so that truncation tests know
// independently which parts a prefix holds whole.
class Payload {
public:
    Payload() = default;
    Payload(std::initializer_list<uint8_t> bytes) { Raw(bytes); }
    // A reply as a server sends it: FF FF FF FF and the type, then the payload.
    static Payload Reply(uint8_t type) { return Payload{0xFF, 0xFF, 0xFF, 0xFF, type}; }

    Payload& U8(uint8_t v) {
        m_bytes.push_back(v);
        return *this;
    }
    Payload& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    Payload& U32(uint32_t v) { return I32(static_cast<int32_t>(v)); }
    Payload& U64(uint64_t v) { return U32(static_cast<uint32_t>(v)).U32(v >> 32); }
    Payload& I32(int32_t v) {
        const auto u = static_cast<uint32_t>(v);
        return U8(u & 0xFF).U8((u >> 8) & 0xFF).U8((u >> 16) & 0xFF).U8(u >> 24);
    }
    Payload& F32(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        return I32(static_cast<int32_t>(u));
    }
    Payload& Str(const std::string& s) {
        m_bytes.insert(m_bytes.end(), s.c_str(), s.c_str() + s.size() + 1);
        return *this;
    }
    Payload& Raw(std::initializer_list<uint8_t> bytes) {
        // Byte by byte: GCC 12 at -O3 takes a range insert into an empty
        // vector for an overflow (-Wstringop-overflow).
        for (uint8_t b : bytes)
            m_bytes.push_back(b);
        return *this;
    }
    // Marks the end of a field or entry.
    Payload& End() {
        m_ends.push_back(m_bytes.size());
        return *this;
    }

    Payload& Text(const std::string& s) { // without the terminator
        for (char c : s)
            m_bytes.push_back(static_cast<uint8_t>(c));
        return *this;
    }

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    operator const std::vector<uint8_t>&() const { return m_bytes; }
    // Of a Reply: its type and what follows the header.
    uint8_t Type() const { return m_bytes.size() > 4 ? m_bytes[4] : 0; }
    std::span<const uint8_t> Body() const {
        return std::span<const uint8_t>(m_bytes).subspan(std::min<size_t>(5, m_bytes.size()));
    }
    size_t Size() const { return m_bytes.size(); }
    // How many marked parts lie wholly inside the first n bytes.
    int WholeIn(size_t n) const {
        int whole = 0;
        for (size_t end : m_ends)
            whole += end <= n ? 1 : 0;
        return whole;
    }

private:
    std::vector<uint8_t> m_bytes;
    std::vector<size_t> m_ends;
};

// The first n bytes in a heap block of exactly n bytes, so that the
// sanitizers catch any read past them.
class ExactCopy {
public:
    ExactCopy(const std::vector<uint8_t>& bytes, size_t n)
        : m_data(std::make_unique<uint8_t[]>(n)), m_size(n) {
        if (n > 0) // an empty vector's data() may be null, which memcpy must not see
            std::memcpy(m_data.get(), bytes.data(), n);
    }
    std::span<const uint8_t> Span() const { return {m_data.get(), m_size}; }

private:
    std::unique_ptr<uint8_t[]> m_data;
    size_t m_size;
};

// Hands every prefix of the bytes, from empty to whole, to check(prefix, n) as
// an exact-size copy; stops once the test has failed, to keep the report short.
template <class Check> void ForEachPrefix(const std::vector<uint8_t>& bytes, Check check) {
    for (size_t n = 0; n <= bytes.size() && !::testing::Test::HasFailure(); ++n) {
        SCOPED_TRACE(::testing::Message() << "prefix " << n);
        const ExactCopy prefix(bytes, n);
        check(prefix.Span(), n);
    }
}
