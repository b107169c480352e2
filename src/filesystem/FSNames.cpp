#include "filesystem/FSNames.h"

#include "foundation/CString.h"
#include "foundation/Log.h"
#include "platform/MacClock.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {
unsigned long sCrypticCounter = 0;
}

void NewUniqueName(unsigned char const* base, unsigned short inMaxNameLen, unsigned long& counter,
                   unsigned char* out) {
    unsigned short maxLen = FW_CHECK(inMaxNameLen <= 255) ? inMaxNameLen : 255;
    if (counter < 2) {
        std::memmove(out, base, static_cast<size_t>(base[0]) + 1);
        ++counter;
        return;
    }
    char num[24];
    int numLen = std::snprintf(num, sizeof num, "%lu", counter);
    int room = static_cast<int>(maxLen) - numLen - 1;
    if (room < 0)
        room = 0;
    int baseLen = base[0] < room ? base[0] : room;
    unsigned char cut[256];
    cut[0] = static_cast<unsigned char>(baseLen);
    std::memcpy(cut + 1, base + 1, static_cast<size_t>(baseLen));
    unsigned char pnum[32];
    pnum[0] = static_cast<unsigned char>(numLen);
    std::memcpy(pnum + 1, num, static_cast<size_t>(numLen));
    psprintf(out, "%#s %#s", cut, pnum);
    ++counter;
}

void NewCrypticName(unsigned char* out) {
    ++sCrypticCounter;
    psprintf(out, "Fennel.%lx.%lx.%lx", sCrypticCounter, static_cast<unsigned long>(fw::MacNow()),
             static_cast<unsigned long>(std::clock()));
}

short BiteOffPathComponent(char const* path, CString& component, unsigned short maxLen) {
    // A component may be as long as a name can be: look at one byte more than
    // that for the separator.
    long i = 0;
    while (i <= maxLen && path[i] != 0 && path[i] != '/')
        ++i;
    if (i > maxLen) {
        GLogPrintf(2, "First component in path \xD2%s\xD3 is longer than %hd characters.", path,
                   static_cast<short>(maxLen));
        return -1;
    }
    component.Init(path, static_cast<int>(i));
    return static_cast<short>(i);
}

unsigned short PrivsString2Bits(CString const& text) {
    unsigned short bits = 0;
    int shift = 0;
    char const* p = text.c_str();
    if (!p)
        return 0;
    for (; *p; ++p) {
        switch (*p) {
        case 'u': shift = 6; break;
        case 'g': shift = 3; break;
        case 'o': shift = 0; break;
        case 'r': bits |= static_cast<unsigned short>(1u << (shift + 2)); break;
        case 'w': bits |= static_cast<unsigned short>(1u << (shift + 1)); break;
        case 'x': bits |= static_cast<unsigned short>(1u << shift); break;
        case ',':
        case '=': break;
        default:
            GLogPrintf(2, "Funny character '%c' (0x%02x) found in file privilege string.", *p,
                       static_cast<unsigned>(static_cast<unsigned char>(*p)));
            break;
        }
    }
    return bits;
}

CString PrivsBits2String(unsigned short bits, unsigned char compact) {
    static char const kClass[3] = {'u', 'g', 'o'};
    CString out("");
    for (int c = 0; c < 3; ++c) {
        int shift = 6 - 3 * c;
        if (!compact) {
            if (!out.Empty())
                out += ',';
            out += kClass[c];
            out += '=';
        }
        if (bits & (1u << (shift + 2)))
            out += 'r';
        if (bits & (1u << (shift + 1)))
            out += 'w';
        if (bits & (1u << shift))
            out += 'x';
    }
    return out;
}
