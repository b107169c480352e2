#pragma once
// The one place where the program's Mac Roman text meets Qt's Unicode.

#include <QString>
#include <string>
#include <string_view>

#include "foundation/CString.h"
#include "platform/MacRoman.h"

inline QString FromMac(std::string_view macRoman)
{
    return QString::fromStdString(MacRomanToUtf8(macRoman));
}

inline QString FromMac(CString const& s)
{
    return s.IsNull() ? QString() : FromMac(std::string_view(s.c_str()));
}

// Characters without a Mac Roman equivalent become "?".
inline std::string ToMac(QString const& text)
{
    return Utf8ToMacRoman(text.normalized(QString::NormalizationForm_C).toStdString());
}

// Text typed into a one-line field: control characters are dropped, so that a
// pasted line break can never reach a protocol line or a stored record.
inline std::string ToMacLine(QString const& text)
{
    std::string s = ToMac(text);
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        unsigned char const u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F)
            out += c;
    }
    return out;
}
