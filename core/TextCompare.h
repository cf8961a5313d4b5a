#pragma once

#include <string>
#include <string_view>

// Record strings hold the bytes a server sent or a file stored. Names, games,
// maps, rules and filter texts compare without regard to case; the folding
// covers the letters of Windows-1252, the code page names come in: ASCII, the
// Latin-1 letters and Š, Œ, Ž, Ÿ, so "ÄRGER" and "ärger" are one name.

unsigned char FoldCase(unsigned char c);
unsigned char UpperCase(unsigned char c);
// Letters of that code page, with their case where they have one.
bool IsLetter(unsigned char c);
bool IsUpperCaseLetter(unsigned char c);
bool IsLowerCaseLetter(unsigned char c);

// -1, 0 or 1, comparing byte by byte after folding.
int CompareNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(std::string_view a, std::string_view b);

std::string ToLower(std::string_view text);
