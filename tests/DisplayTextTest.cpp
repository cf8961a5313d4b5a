#include <gtest/gtest.h>

#include "core/DisplayText.h"

TEST(DisplayText, Utf8WhenValidElseWindows1252) {
    EXPECT_EQ(DisplayText("plain"), QString("plain"));
    EXPECT_EQ(DisplayText("J\xC3\xBCrgen"), QString::fromUtf8("J\xC3\xBCrgen")) << "valid UTF-8";
    EXPECT_EQ(DisplayText("J\xFCrgen"), QString::fromUtf8("J\xC3\xBCrgen")) << "Latin-1 byte";
    EXPECT_EQ(DisplayText("\x80uro"), QString::fromUtf8("\xE2\x82\xAC"
                                                        "uro"))
        << "1252 euro";
    EXPECT_EQ(DisplayText(std::string("a\0b", 3)).size(), 3);
}

TEST(DisplayText, TypedTextIsStoredInTheServersCodePage) {
    EXPECT_EQ(StoredText(QString::fromUtf8("J\xC3\xBCrgen")), "J\xFCrgen");
    EXPECT_EQ(StoredText(QString::fromUtf8("\xE2\x82\xAC")), "\x80");
    // Characters the code page lacks keep the whole text as UTF-8.
    EXPECT_EQ(StoredText(QString::fromUtf8("\xE2\x98\x83 x")), "\xE2\x98\x83 x");
    for (int b = 0x20; b < 0x100; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(StoredText(DisplayText(one)), one) << b;
    }
}
