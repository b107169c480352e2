// Mac OS Roman <-> UTF-8 through Apple's own table (not iconv's "MACINTOSH",
// which differs: 0xF0 is U+F8FF here, 0xDB the euro sign).
#pragma once

#include <string>
#include <string_view>

namespace fw {

// The Unicode code point of a Mac Roman byte (bytes below 0x80 are ASCII).
char32_t MacRomanToUnicode(unsigned char c);

// The Mac Roman byte of a code point, or -1 when it has none.
int UnicodeToMacRoman(char32_t cp);

}  // namespace fw

// Every Mac Roman byte string converts; the result is valid UTF-8.
std::string MacRomanToUtf8(std::string_view macRoman);

// Code points without a Mac Roman equivalent, and malformed UTF-8 sequences,
// become "?" and clear *lossless (which is set to true first). No
// normalisation is done here: compose to NFC before calling.
std::string Utf8ToMacRoman(std::string_view utf8, bool* lossless = nullptr);
