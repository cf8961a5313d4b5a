#include "core/TextCompare.h"

namespace {

// Names come in Windows-1252, Latin-1 with more letters in 0x80-0x9F: Š, Œ
// and Ž pair with š, œ and ž 0x10 above them, and Ÿ (0x9F) with ÿ (0xFF).
// In 0xC0-0xFE the capitals fold 0x20 up, except the multiplication sign
// 0xD7 (its partner 0xF7 is the division sign).
constexpr bool Is1252Upper(unsigned char c) { return c == 0x8A || c == 0x8C || c == 0x8E; }
constexpr bool Is1252Lower(unsigned char c) { return c == 0x9A || c == 0x9C || c == 0x9E; }
constexpr bool IsLatin1Upper(unsigned char c) { return c >= 0xC0 && c <= 0xDE && c != 0xD7; }
constexpr bool IsLatin1Lower(unsigned char c) { return c >= 0xE0 && c <= 0xFE && c != 0xF7; }

} // namespace

unsigned char FoldCase(unsigned char c) {
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + 32);
    if (IsLatin1Upper(c))
        return static_cast<unsigned char>(c + 32);
    if (Is1252Upper(c))
        return static_cast<unsigned char>(c + 0x10);
    if (c == 0x9F)
        return 0xFF;
    return c;
}

unsigned char UpperCase(unsigned char c) {
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 32);
    if (IsLatin1Lower(c))
        return static_cast<unsigned char>(c - 32);
    if (Is1252Lower(c))
        return static_cast<unsigned char>(c - 0x10);
    if (c == 0xFF)
        return 0x9F;
    return c;
}

bool IsLetter(unsigned char c) {
    // Besides the pairs: ƒ, ª, µ, º and ß, letters without a capital here.
    return FoldCase(c) != UpperCase(c) || c == 0x83 || c == 0xAA || c == 0xB5 || c == 0xBA ||
           c == 0xDF;
}

bool IsUpperCaseLetter(unsigned char c) { return FoldCase(c) != c; }

bool IsLowerCaseLetter(unsigned char c) { return IsLetter(c) && FoldCase(c) == c; }

namespace {

// Sorting large lists compares names millions of times: fold through a table.
struct FoldTable {
    unsigned char fold[256];
    FoldTable() {
        for (int c = 0; c < 256; ++c)
            fold[c] = FoldCase(static_cast<unsigned char>(c));
    }
};
const FoldTable kFold;

} // namespace

int CompareNoCase(std::string_view a, std::string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    const auto* pa = reinterpret_cast<const unsigned char*>(a.data());
    const auto* pb = reinterpret_cast<const unsigned char*>(b.data());
    for (size_t i = 0; i < n; ++i) {
        if (pa[i] == pb[i])
            continue;
        const unsigned char ca = kFold.fold[pa[i]];
        const unsigned char cb = kFold.fold[pb[i]];
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

std::string ToLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
    return out;
}
