#include "platform/MacRoman.h"

#include <gtest/gtest.h>

TEST(MacRoman, EveryByteRoundTripsThroughUtf8) {
    for (int b = 0; b < 256; ++b) {
        std::string one(1, static_cast<char>(b));
        std::string utf8 = MacRomanToUtf8(one);
        bool lossless = false;
        EXPECT_EQ(Utf8ToMacRoman(utf8, &lossless), one) << "byte " << b;
        EXPECT_TRUE(lossless) << "byte " << b;
    }
    // All 256 bytes at once, and the mapping is one-to-one.
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToMacRoman(MacRomanToUtf8(all)), all);
}

TEST(MacRoman, AppleTableWhereOthersDiffer) {
    struct { unsigned char byte; char const* utf8; } cases[] = {
        {0xF0, "\xEF\xA3\xBF"},  // U+F8FF, the Apple logo (iconv says U+F01E)
        {0xDB, "\xE2\x82\xAC"},  // euro sign
        {0xC9, "\xE2\x80\xA6"},  // ellipsis
        {0xD2, "\xE2\x80\x9C"},  // left double quote
        {0xD3, "\xE2\x80\x9D"},  // right double quote
        {0x8E, "\xC3\xA9"},      // e acute
        {0xBD, "\xCE\xA9"},      // Omega
        {0xCA, "\xC2\xA0"},      // no-break space
    };
    for (auto const& c : cases) {
        EXPECT_EQ(MacRomanToUtf8(std::string(1, static_cast<char>(c.byte))), c.utf8) << int(c.byte);
    }
}

TEST(MacRoman, UnmappableAndMalformedInputBecomesQuestionMark) {
    struct { char const* utf8; char const* mac; } cases[] = {
        {"a\xE4\xB8\xAD" "b", "a?b"},           // CJK character
        {"\xF0\x9F\x98\x80", "?"},              // emoji (4 bytes)
        {"x\xC3", "x?"},                        // truncated sequence
        {"\xC0\xAF", "?"},                      // overlong "/" must not become "/"
        {"\xED\xA0\x80", "?"},                  // surrogate
        {"\xFF" "a", "?a"},                     // invalid lead byte
        {"e\xCC\x81", "e?"},                    // decomposed accent: caller composes first
    };
    for (auto const& c : cases) {
        bool lossless = true;
        EXPECT_EQ(Utf8ToMacRoman(c.utf8, &lossless), c.mac) << c.mac;
        EXPECT_FALSE(lossless) << c.mac;
    }
    bool lossless = false;
    EXPECT_EQ(Utf8ToMacRoman("plain", &lossless), "plain");
    EXPECT_TRUE(lossless);
}
