// The bounded formatter behind every message of the program.
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <cstddef>
#include <cwchar>
#include <string>

#include "foundation/Log.h"
#include "foundation/CString.h"

namespace {

class Writer {
public:
    Writer(char* out, size_t outSize) : mOut(out), mCap(outSize ? outSize - 1 : 0), mValid(out && outSize) {}

    void Put(char const* s, size_t n) {
        if (!mValid) return;
        size_t room = mCap - mPos;
        if (n > room) n = room;
        std::memcpy(mOut + mPos, s, n);
        mPos += n;
    }
    char* Cursor() { return mOut + mPos; }
    size_t Room() const { return mValid ? mCap - mPos + 1 : 0; }  // including the NUL
    void Advance(int written) {
        if (written <= 0 || !mValid) return;
        size_t n = static_cast<size_t>(written);
        size_t room = mCap - mPos;
        mPos += n > room ? room : n;
    }
    size_t Finish() {
        if (mValid) mOut[mPos] = 0;
        return mPos;
    }

private:
    char* mOut;
    size_t mCap;
    size_t mPos = 0;
    bool mValid;
};

// Formats one conversion with the C library into the writer. spec is a
// NUL-terminated conversion specification such as "%-08.3lx".
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
template <class T>
void Emit(Writer& w, char const* spec, bool starW, int width, bool starP, int prec, T value) {
    char* at = w.Cursor();
    size_t room = w.Room();
    int n;
    if (room == 0) return;
    if (starW && starP)
        n = std::snprintf(at, room, spec, width, prec, value);
    else if (starW)
        n = std::snprintf(at, room, spec, width, value);
    else if (starP)
        n = std::snprintf(at, room, spec, prec, value);
    else
        n = std::snprintf(at, room, spec, value);
    w.Advance(n);
}
#pragma GCC diagnostic pop

}  // namespace

size_t FormatBounded(char* out, size_t outSize, char const* fmt, va_list args) {
    Writer w(out, outSize);
    if (!fmt) return w.Finish();
    char const* p = fmt;
    while (*p) {
        if (*p != '%') {
            char const* q = std::strchr(p, '%');
            size_t n = q ? static_cast<size_t>(q - p) : std::strlen(p);
            w.Put(p, n);
            p += n;
            continue;
        }
        char const* start = p++;
        // Flags
        bool pstring = false;
        std::string spec = "%";
        while (*p && std::strchr("-+ #0'", *p)) {
            if (*p == '#')
                pstring = true;  // kept for numbers; dropped for "%#s"
            spec += *p++;
        }
        bool starW = false, starP = false;
        int width = 0, prec = 0;
        if (*p == '*') {
            starW = true;
            width = va_arg(args, int);
            spec += *p++;
        } else {
            while (*p >= '0' && *p <= '9') spec += *p++;
        }
        if (*p == '.') {
            spec += *p++;
            if (*p == '*') {
                starP = true;
                prec = va_arg(args, int);
                spec += *p++;
            } else {
                while (*p >= '0' && *p <= '9') spec += *p++;
            }
        }
        // Length modifier
        enum { kNone, kHH, kH, kL, kLL, kJ, kZ, kT, kBigL } len = kNone;
        if (*p == 'h') {
            spec += *p++;
            len = kH;
            if (*p == 'h') { spec += *p++; len = kHH; }
        } else if (*p == 'l') {
            spec += *p++;
            len = kL;
            if (*p == 'l') { spec += *p++; len = kLL; }
        } else if (*p == 'q') {
            ++p;
            spec += "ll";
            len = kLL;
        } else if (*p == 'j') { spec += *p++; len = kJ; }
        else if (*p == 'z') { spec += *p++; len = kZ; }
        else if (*p == 't') { spec += *p++; len = kT; }
        else if (*p == 'L') { spec += *p++; len = kBigL; }

        char conv = *p;
        if (!conv) {  // a lone "%" at the end: print it as it stands
            w.Put(start, static_cast<size_t>(p - start));
            break;
        }
        ++p;
        switch (conv) {
        case '%':
            w.Put("%", 1);
            break;
        case 'd':
        case 'i':
            spec += conv;
            switch (len) {
            case kL: Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, long)); break;
            case kLL: Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, long long)); break;
            case kJ: Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, intmax_t)); break;
            case kZ: Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, ptrdiff_t)); break;
            case kT: Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, ptrdiff_t)); break;
            default: Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, int)); break;
            }
            break;
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            spec += conv;
            switch (len) {
            case kL: Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, unsigned long)); break;
            case kLL: Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, unsigned long long)); break;
            case kJ: Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, uintmax_t)); break;
            case kZ: Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, size_t)); break;
            case kT: Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, size_t)); break;
            default: Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, unsigned int)); break;
            }
            break;
        case 'c':
            spec += conv;
            if (len == kL)
                Emit(w, spec.c_str(), starW, width, starP, prec, static_cast<wint_t>(va_arg(args, wint_t)));
            else
                Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, int));
            break;
        case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A':
            spec += conv;
            if (len == kBigL)
                Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, long double));
            else
                Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, double));
            break;
        case 'p':
            spec += conv;
            Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, void*));
            break;
        case 's':
            if (pstring) {
                // Length-prefixed string: width and precision apply as for %s.
                auto const* ps = va_arg(args, unsigned char const*);
                char text[256];
                size_t n = 0;
                if (ps) {
                    n = ps[0];
                    std::memcpy(text, ps + 1, n);
                }
                text[n] = 0;
                std::string plain;
                for (char c : spec)
                    if (c != '#') plain += c;
                plain += 's';
                Emit(w, plain.c_str(), starW, width, starP, prec, static_cast<char const*>(text));
            } else if (len == kL) {
                spec += conv;
                Emit(w, spec.c_str(), starW, width, starP, prec, va_arg(args, wchar_t const*));
            } else {
                spec += conv;
                char const* s = va_arg(args, char const*);
                Emit(w, spec.c_str(), starW, width, starP, prec, s ? s : "(null)");
            }
            break;
        case 'n':
            (void)va_arg(args, void*);  // never written through
            break;
        default:
            // Unknown conversion: show it as written and take no argument.
            w.Put(start, static_cast<size_t>(p - start));
            break;
        }
    }
    return w.Finish();
}

size_t FormatBoundedF(char* out, size_t outSize, char const* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    size_t n = FormatBounded(out, outSize, fmt, ap);
    va_end(ap);
    return n;
}

CString FormatCString(char const* fmt, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    FormatBounded(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return CString(buf);
}

short vpsprintf(unsigned char* out, char const* fmt, va_list args) {
    char buf[256];
    size_t n = FormatBounded(buf, sizeof buf, fmt, args);
    if (!out) return static_cast<short>(n);
    out[0] = static_cast<unsigned char>(n);
    std::memcpy(out + 1, buf, n);
    return static_cast<short>(n);
}

short psprintf(unsigned char* out, char const* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    short n = vpsprintf(out, fmt, ap);
    va_end(ap);
    return n;
}
