#include "platform/MacRoman.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

// Apple's Mac OS Roman mapping of the bytes 0x80..0xFF (the euro variant).
constexpr char32_t kHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1,
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC,
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211,
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8,
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153,
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4,
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

// Code point -> byte, sorted by code point for binary search.
using Pair = std::pair<char32_t, unsigned char>;
const std::array<Pair, 128>& ReverseTable() {
    static const std::array<Pair, 128> table = [] {
        std::array<Pair, 128> t{};
        for (int i = 0; i < 128; ++i) t[i] = {kHigh[i], static_cast<unsigned char>(0x80 + i)};
        std::sort(t.begin(), t.end());
        return t;
    }();
    return table;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 sequence at s[i]; returns the code point or -1 for a
// malformed sequence (overlong, surrogate, truncated, out of range). Advances i.
long DecodeUtf8(std::string_view s, size_t& i) {
    auto b0 = static_cast<unsigned char>(s[i++]);
    if (b0 < 0x80) return b0;
    int extra;
    char32_t cp;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) { extra = 1; cp = b0 & 0x1F; min = 0x80; }
    else if ((b0 & 0xF0) == 0xE0) { extra = 2; cp = b0 & 0x0F; min = 0x800; }
    else if ((b0 & 0xF8) == 0xF0) { extra = 3; cp = b0 & 0x07; min = 0x10000; }
    else return -1;
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size()) return -1;
        auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0) != 0x80) return -1;  // leave the byte for the next round
        cp = (cp << 6) | (b & 0x3F);
        ++i;
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    return static_cast<long>(cp);
}

}  // namespace

namespace fw {

char32_t MacRomanToUnicode(unsigned char c) {
    return c < 0x80 ? c : kHigh[c - 0x80];
}

int UnicodeToMacRoman(char32_t cp) {
    if (cp < 0x80) return static_cast<int>(cp);
    const auto& t = ReverseTable();
    auto it = std::lower_bound(t.begin(), t.end(), Pair{cp, 0},
                               [](Pair const& a, Pair const& b) { return a.first < b.first; });
    if (it != t.end() && it->first == cp) return it->second;
    return -1;
}

}  // namespace fw

std::string MacRomanToUtf8(std::string_view macRoman) {
    std::string out;
    out.reserve(macRoman.size() + macRoman.size() / 2);
    for (char c : macRoman) AppendUtf8(out, fw::MacRomanToUnicode(static_cast<unsigned char>(c)));
    return out;
}

std::string Utf8ToMacRoman(std::string_view utf8, bool* lossless) {
    if (lossless) *lossless = true;
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        long cp = DecodeUtf8(utf8, i);
        int b = cp < 0 ? -1 : fw::UnicodeToMacRoman(static_cast<char32_t>(cp));
        if (b < 0) {
            out += '?';
            if (lossless) *lossless = false;
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}
