#include "core/TextCompare.h"

namespace {

// Latin-1 letters: 0xC0-0xDE fold to 0xE0-0xFE, except the multiplication
// sign 0xD7 (its partner 0xF7 is the division sign).
constexpr bool IsLatin1Upper(unsigned char c) { return c >= 0xC0 && c <= 0xDE && c != 0xD7; }
constexpr bool IsLatin1Lower(unsigned char c) { return c >= 0xE0 && c <= 0xFE && c != 0xF7; }

} // namespace

unsigned char FoldCase(unsigned char c) {
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + 32);
    if (IsLatin1Upper(c))
        return static_cast<unsigned char>(c + 32);
    return c;
}

unsigned char UpperCase(unsigned char c) {
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 32);
    if (IsLatin1Lower(c))
        return static_cast<unsigned char>(c - 32);
    return c;
}

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
