#include "foundation/TextUtils.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "foundation/Log.h"
#include "platform/MacClock.h"

char const* const kMonthNames[13] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

namespace {

unsigned long SecondsFromDate(long year, long month, long day) {
    fw::SMacDateTime dt;
    dt.year = static_cast<int>(year);
    dt.month = static_cast<int>(month);
    dt.day = static_cast<int>(day);
    return fw::MacSecondsFromDate(dt);
}

inline unsigned char Fold(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

// ---------------------------------------------------------------------------
// Dates

CString SecondsToRFC1123(unsigned long secs) {
    fw::SMacDateTime dt = fw::MacSecondsToDate(static_cast<uint32_t>(secs));
    return FormatCString("%d %s %d %02d:%02d:%02d", dt.day, kMonthNames[dt.month], dt.year, dt.hour, dt.minute,
                     dt.second);
}

CString SecondsToYYYY_MM_DD(unsigned long secs) {
    fw::SMacDateTime dt = fw::MacSecondsToDate(static_cast<uint32_t>(secs));
    return FormatCString("%04d-%02d-%02d", dt.year, dt.month, dt.day);
}

void FixupYear(unsigned long& year) {
    if (year <= 80)
        year += 2000;
    else if (year < 1904)
        year += 1900;
}

unsigned long SecondsFromDD_MMM_YYYY(CString text) {
    if (text.IsNull()) text = "";
    text.Replace('-', ' ');
    int day = 1;
    int year = 1904;
    char month[16] = {};
    std::sscanf(text.c_str(), "%d %15s %d", &day, month, &year);
    unsigned long y = year < 0 ? 1904 : static_cast<unsigned long>(year);
    FixupYear(y);
    int m = 1;
    for (int i = 1; i <= 12; ++i) {
        if (std::strncmp(month, kMonthNames[i], 3) == 0) {
            m = i;
            break;
        }
    }
    return SecondsFromDate(static_cast<long>(y), m, day);
}

unsigned long SecondsFromYYYY_MM_DD(CString const& text) {
    int year = 1904;
    int month = 1;
    int day = 1;
    if (!text.IsNull()) std::sscanf(text.c_str(), "%d-%d-%d", &year, &month, &day);
    unsigned long y = year < 0 ? 1904 : static_cast<unsigned long>(year);
    FixupYear(y);
    return SecondsFromDate(static_cast<long>(y), month, day);
}

// ---------------------------------------------------------------------------
// Revisions

bool MakeComparableRevisionId(CString const& rev, CString& out, bool invert) {
    out = "";
    if (rev.Empty()) return false;
    char const* p = rev.c_str();
    for (;;) {
        if (*p < '0' || *p > '9') return false;
        unsigned long long n = 0;
        while (*p >= '0' && *p <= '9') {
            n = n * 10 + static_cast<unsigned>(*p - '0');
            if (n > 0xFFFFFFFFull) n = 0xFFFFFFFFull;
            ++p;
        }
        if (n != 0) {
            uint32_t v = static_cast<uint32_t>(n);
            if (invert) v = ~v;
            char hex[9];
            FormatBoundedF(hex, sizeof hex, "%08x", v);
            out += hex;
        }
        if (*p == 0) return true;
        if (*p != '.') return false;
        ++p;
        if (*p == 0) return true;
    }
}

bool RevisionIdOnBranchBefore(CString const& a, CString const& b, bool ifEqual) {
    char const* sa = a.IsNull() ? "" : a.c_str();
    char const* sb = b.IsNull() ? "" : b.c_str();
    size_t la = std::strlen(sa);
    size_t lb = std::strlen(sb);
    if (la == lb && std::strcmp(sa, sb) == 0) return ifEqual;
    if (la > lb) return false;
    if (la == lb) {
        size_t stem = la >= 8 ? la - 8 : 0;
        return std::strncmp(sa, sb, stem) == 0 && std::strcmp(sa, sb) < 0;
    }
    return std::strncmp(sa, sb, la) == 0;
}

// ---------------------------------------------------------------------------
// Names, roots and paths

bool IsProperTag(char const* tag) {
    if (!FW_CHECK(tag)) return false;
    if (*tag >= '0' && *tag <= '9') return false;
    for (auto const* p = reinterpret_cast<unsigned char const*>(tag); *p; ++p) {
        unsigned char c = *p;
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok) return false;
    }
    return true;
}

bool IsUNIXName(char const* name) {
    if (!FW_CHECK(name)) return false;
    for (auto const* p = reinterpret_cast<unsigned char const*>(name); *p; ++p)
        if (*p == '/' || *p < 32) return false;
    return true;
}

long NormalizePath(CString& path) {
    if (!FW_CHECK(!path.IsNull())) return 0;
    char* s = path.Buffer();
    long r = 0;
    long w = 0;
    long removed = 0;
    while (s[r]) {
        bool segmentStart = r == 0 || s[r - 1] == '/';
        if (segmentStart && s[r] == '.' && s[r + 1] == '/') {
            r += 2;
            removed += 2;
        } else if (r > 0 && s[r] == '/' && s[r - 1] == '/') {
            ++r;
            ++removed;
        } else {
            s[w++] = s[r++];
        }
    }
    // Reading stays ahead of writing, so the look-behind above sees the input.
    s[w] = 0;
    return removed;
}

bool IsNiceCVSRoot(CString root) {
    if (root.Empty()) return false;
    if (root[root.Length() - 1] == '/') return false;
    return NormalizePath(root) == 0;
}

void SplitPath(CString const& path, CString& dir, CString& name) {
    char const* s = path.c_str();
    char const* slash = s ? std::strrchr(s, '/') : nullptr;
    if (slash && slash > s) {
        CString d(s, static_cast<int>(slash - s));
        CString n(slash + 1);
        dir = std::move(d);
        name = std::move(n);
    } else {
        CString n(path);
        dir = "";
        name = std::move(n);
    }
}

void RelativeTo(CString const& full, CString const& base, CString& rel) {
    long lf = full.IsNull() ? 0 : full.Length();
    long lb = base.IsNull() ? 0 : base.Length();
    if (lf <= lb) {
        rel = "";
        return;
    }
    if (!FW_CHECK_MSG(full[lb] == '/', "!(inFullPath[i] =='/')")) {
        rel = "";
        return;
    }
    CString r(full.c_str() + lb + 1);
    rel = std::move(r);
}

void FrameFileName(CString const& prefix, CString const& suffix, CString& name, unsigned short maxLen) {
    long lp = prefix.IsNull() ? 0 : prefix.Length();
    long ls = suffix.IsNull() ? 0 : suffix.Length();
    char const* p = prefix.IsNull() ? "" : prefix.c_str();
    char const* s = suffix.IsNull() ? "" : suffix.c_str();
    char const* n = name.IsNull() ? "" : name.c_str();
    if (lp + ls > maxLen) {
        FW_FAIL("Shucks! Very long file name.");
        CString whole = CString(p) + n + s;
        whole.ShortenTo(maxLen);
        name = std::move(whole);
        return;
    }
    char const* dot = std::strrchr(n, '.');
    if (dot == n) dot = nullptr;
    CString ext(dot ? dot : "");
    CString base = dot ? CString(n, static_cast<int>(dot - n)) : CString(n);
    long room = static_cast<long>(maxLen) - lp - 1 - ls - ext.Length();
    if (room < 0) {
        // The extension does not fit either: keep what fits of it.
        ext.ShortenTo(ext.Length() + room);
        room = 0;
    }
    base.ShortenTo(room);
    CString result = CString(p) + base + "-" + s + ext;
    result.ShortenTo(maxLen);
    name = std::move(result);
}

// ---------------------------------------------------------------------------
// Tokens and entries

long NextToken(CString const& text, CString& token, char sep, long index) {
    if (index < 0 || text.IsNull()) {
        token.Clear();
        return -1;
    }
    long len = text.Length();
    if (index > len) index = len;
    char const* start = text.c_str() + index;
    char const* hit = std::strchr(start, sep);
    if (sep == 0) hit = nullptr;
    if (hit) {
        token.Init(start, static_cast<int>(hit - start));
        return static_cast<long>(hit - text.c_str()) + 1;
    }
    token.Init(start);
    return -1;
}

long DecodeCVSEntry(CString const& entry, CString& name, CString& revision, CString& timestamp, CString& options,
                    CString& tagdate) {
    auto fail = [&] {
        name.Clear();
        revision.Clear();
        timestamp.Clear();
        options.Clear();
        tagdate.Clear();
        return kBadCVSEntry;
    };
    if (entry.IsNull() || entry[0] != '/') return fail();
    long next = NextToken(entry, name, '/', 1);
    if (next <= 0) return fail();
    next = NextToken(entry, revision, '/', next);
    if (next <= 0) return fail();
    next = NextToken(entry, timestamp, '/', next);
    if (next <= 0) return fail();
    next = NextToken(entry, options, '/', next);
    if (next <= 0) return fail();
    return NextToken(entry, tagdate, '/', next);
}

// ---------------------------------------------------------------------------
// Lines and environment

bool GetLineTrunc(FILE* f, char* buf, unsigned long max) {
    if (!FW_CHECK_MSG(buf, "!(inBuffer)")) return false;
    if (!FW_CHECK_MSG(max > 0, "!(inMaxLength > 0)")) return false;
    unsigned long n = 0;
    bool any = false;
    for (;;) {
        int c = f ? std::getc(f) : EOF;
        if (c == EOF) break;
        any = true;
        if (c == '\n' || c == '\r') break;
        if (n < max - 1) buf[n++] = static_cast<char>(c);
    }
    buf[n] = 0;
    return any;
}

int GetMacOrUnixLine(FILE* f, char*& buf, unsigned long& size, unsigned long grow) {
    if (grow == 0) grow = 256;
    if (size == 0 || !buf) {
        std::free(buf);
        buf = static_cast<char*>(std::malloc(grow));
        if (!buf) throw std::bad_alloc();
        size = grow;
    }
    unsigned long n = 0;
    int end = EOF;
    for (;;) {
        int c = f ? std::getc(f) : EOF;
        if (c == EOF) break;
        if (c == '\n' || c == '\r') {
            end = c;
            break;
        }
        if (n + 1 >= size) {
            char* bigger = static_cast<char*>(std::realloc(buf, size + grow));
            if (!bigger) throw std::bad_alloc();
            buf = bigger;
            size += grow;
        }
        buf[n++] = static_cast<char>(c);
    }
    buf[n] = 0;
    return end;
}

char** AddToEnvironment(char** env, TPtrArray<CString>& add) {
    size_t envCount = 0;
    if (env)
        while (env[envCount]) ++envCount;
    size_t total = static_cast<size_t>(add.Count()) + envCount + 1;
    auto** out = static_cast<char**>(std::calloc(total, sizeof(char*)));
    if (!out) throw std::bad_alloc();
    size_t k = 0;
    auto nameLen = [](char const* e) {
        char const* eq = std::strchr(e, '=');
        return eq ? static_cast<size_t>(eq - e) + 1 : std::strlen(e);
    };
    auto taken = [&](char const* e) {
        size_t n = nameLen(e);
        for (size_t i = 0; i < k; ++i)
            if (nameLen(out[i]) == n && std::strncmp(out[i], e, n) == 0) return true;
        return false;
    };
    for (CString* s : add) {
        if (!s || s->IsNull()) continue;
        out[k++] = strdup(s->c_str());
    }
    for (size_t i = 0; i < envCount; ++i) {
        if (taken(env[i])) continue;
        out[k++] = strdup(env[i]);
    }
    out[k] = nullptr;
    return out;
}

void FreeEnvironment(char** env) {
    if (!env) return;
    for (char** p = env; *p; ++p) std::free(*p);
    std::free(env);
}

bool AskLine(long& pos, char const* text, long size, CString& line) {
    if (!text || pos < 0 || pos >= size) {
        line = "";
        pos = -1;
        return false;
    }
    auto const* start = text + pos;
    auto const* cr = static_cast<char const*>(std::memchr(start, '\r', static_cast<size_t>(size - pos)));
    if (cr) {
        line.Init(start, static_cast<int>(cr - start));
        pos = (cr + 1 - text) < size ? static_cast<long>(cr + 1 - text) : -1;
    } else {
        line.Init(start, static_cast<int>(size - pos));
        pos = -1;
    }
    return true;
}

bool AskLine(long& pos, CString const& text, CString& line) {
    return AskLine(pos, text.c_str(), text.IsNull() ? 0 : text.Length(), line);
}

// ---------------------------------------------------------------------------
// Pattern matching

namespace {

using uchar = unsigned char;

inline bool SameChar(uchar a, uchar b) {
    if (a < 128 && b < 128) return Fold(a) == Fold(b);
    return a == b;
}

inline bool InRange(uchar lo, uchar hi, uchar t) {
    if (t >= 128) return lo <= t && t <= hi;
    uchar lower = Fold(t);
    uchar upper = (t >= 'a' && t <= 'z') ? static_cast<uchar>(t - 'a' + 'A') : t;
    return (lo <= t && t <= hi) || (lo <= lower && lower <= hi) || (lo <= upper && upper <= hi);
}

// p points after the "[". Returns 1 match, 0 no match, -1 malformed set (then
// the "[" is an ordinary character).
int MatchSet(uchar const* p, uchar t, int flags, uchar const** rest) {
    bool negate = *p == '!' || *p == '^';
    if (negate) ++p;
    bool ok = false;
    bool first = true;
    for (;;) {
        uchar c = *p;
        if (c == 0) return -1;
        if (c == ']' && !first) {
            ++p;
            break;
        }
        first = false;
        ++p;
        if (c == '\\' && !(flags & fw::kFnmNoEscape)) {
            c = *p++;
            if (c == 0) return -1;
        }
        if (*p == '-' && p[1] != 0 && p[1] != ']') {
            uchar hi = p[1];
            p += 2;
            if (hi == '\\' && !(flags & fw::kFnmNoEscape)) {
                hi = *p++;
                if (hi == 0) return -1;
            }
            if (InRange(c, hi, t)) ok = true;
        } else if (SameChar(c, t)) {
            ok = true;
        }
    }
    *rest = p;
    return ok != negate ? 1 : 0;
}

}  // namespace

namespace fw {

int fnmatch(char const* pattern, char const* string, int flags) {
    if (flags < 0 || flags > 7) {
        errno = EINVAL;
        return -1;
    }
    if (!pattern || !string) return 1;
    bool const pathname = flags & kFnmPathname;
    bool const period = flags & kFnmPeriod;
    auto const* p = reinterpret_cast<uchar const*>(pattern);
    auto const* s = reinterpret_cast<uchar const*>(string);
    auto const* begin = s;
    auto leadingDot = [&](uchar const* at) {
        return period && *at == '.' && (at == begin || (pathname && at[-1] == '/'));
    };
    // Backtracking goes only to the most recent "*": O(pattern x string).
    uchar const* starP = nullptr;
    uchar const* starS = nullptr;
    for (;;) {
        if (*p == '*') {
            while (*p == '*') ++p;
            if (leadingDot(s)) return 1;
            starP = p;
            starS = s;
            continue;
        }
        bool ok = true;
        if (*p == 0) {
            if (*s == 0) return 0;
            ok = false;
        } else if (*s == 0) {
            ok = false;
        } else if (*p == '?') {
            if ((pathname && *s == '/') || leadingDot(s)) {
                ok = false;
            } else {
                ++p;
                ++s;
            }
        } else if (*p == '[') {
            uchar const* rest = nullptr;
            int r = (pathname && *s == '/') || leadingDot(s) ? 0 : MatchSet(p + 1, *s, flags, &rest);
            if (r < 0) {
                ok = *s == '[';  // malformed set: "[" stands for itself
                if (ok) {
                    ++p;
                    ++s;
                }
            } else if (r == 0) {
                ok = false;
            } else {
                p = rest;
                ++s;
            }
        } else {
            uchar c = *p;
            uchar const* next = p + 1;
            if (c == '\\' && !(flags & kFnmNoEscape) && p[1] != 0) {
                c = p[1];
                next = p + 2;
            }
            if (!SameChar(c, *s)) {
                ok = false;
            } else {
                p = next;
                ++s;
                // A "*" never reaches across a "/" in path name mode.
                if (pathname && c == '/') starP = nullptr;
            }
        }
        if (ok) continue;
        if (!starP || *starS == 0 || (pathname && *starS == '/')) return 1;
        p = starP;
        s = ++starS;
    }
}

}  // namespace fw

// ---------------------------------------------------------------------------
// Other

int StrCmpNoCase(char const* a, char const* b) {
    auto const* x = reinterpret_cast<uchar const*>(a ? a : "");
    auto const* y = reinterpret_cast<uchar const*>(b ? b : "");
    for (;; ++x, ++y) {
        int d = static_cast<int>(Fold(*x)) - static_cast<int>(Fold(*y));
        if (d != 0 || *x == 0) return d;
    }
}

unsigned long ConvertChars(char* buf, unsigned long len, char from, char to) {
    if (!buf) return 0;
    unsigned long count = 0;
    for (unsigned long i = 0; i < len; ++i) {
        if (buf[i] == from) {
            buf[i] = to;
            ++count;
        }
    }
    return count;
}

CString GetHostNameWithHint(CString const& hint) {
    char name[257];
    if (gethostname(name, 256) == 0) {
        name[256] = 0;
        return CString(name);
    }
    if (hint.Empty()) return CString("a Mac");
    return FormatCString("%s's Mac", hint.c_str());
}

void VersionToString(NumVersion const& v, unsigned char* out) {
    unsigned char stage[64];
    switch (v.stage) {
    case developStage: psprintf(stage, " (develop %d)", v.nonRelRev); break;
    case alphaStage: psprintf(stage, " (alpha %d)", v.nonRelRev); break;
    case betaStage: psprintf(stage, " (beta %d)", v.nonRelRev); break;
    case finalStage:
    case 0: stage[0] = 0; break;
    default: psprintf(stage, "***"); break;
    }
    int minor = v.minorAndBugRev >> 4;
    int bug = v.minorAndBugRev & 0x0F;
    if (bug)
        psprintf(out, "%d.%d.%d%#s", v.majorRev, minor, bug, stage);
    else
        psprintf(out, "%d.%d%#s", v.majorRev, minor, stage);
}

void VersionToString(unsigned long bcd, unsigned char* out) {
    short major = static_cast<short>(((bcd >> 12) & 0xF) * 10 + ((bcd >> 8) & 0xF));
    short minor = static_cast<short>((bcd >> 4) & 0xF);
    short bug = static_cast<short>(bcd & 0xF);
    if (bug)
        psprintf(out, "%hd.%hd.%hd", major, minor, bug);
    else
        psprintf(out, "%hd.%hd", major, minor);
}

void DataToHexBlock(unsigned char const* data, long offset, short width, short end, char* out, short outSize) {
    if (!out || outSize <= 0) return;
    out[0] = 0;
    if (!FW_CHECK_MSG(width > 0 && 8 + 2 + width * 4 + 2 + 1 < outSize,
                      "!(8 + 2 + inBlockWidth * 4 + 2 + 1 < inOutBuffSize)") ||
        !data || offset < 0)
        return;
    size_t const size = static_cast<size_t>(outSize);
    size_t at = 0;
    auto put = [&](char c) {
        if (at + 1 < size) out[at++] = c;
    };
    long row = offset - offset % width;
    at = FormatBoundedF(out, size, "%08x ", static_cast<unsigned>(row & 0xFFFFFFFF));
    auto shown = [&](int i) { return row + i >= offset && i < end; };
    static char const kHex[] = "0123456789abcdef";
    for (int i = 0; i < width; ++i) {
        put(' ');
        put(shown(i) ? kHex[data[row + i] >> 4] : ' ');
        put(shown(i) ? kHex[data[row + i] & 15] : ' ');
    }
    put(' ');
    put(' ');
    for (int i = 0; i < width; ++i) {
        unsigned char c = shown(i) ? data[row + i] : ' ';
        put(c < 32 ? '.' : static_cast<char>(c));
    }
    out[at] = 0;
}

char const* ResourcesAttributesString(short attrs) {
    static constexpr struct {
        short bit;
        char const* name;
    } kBits[] = {{0x02, "changed"}, {0x04, "preload"},   {0x08, "protected"},
                 {0x10, "locked"},  {0x20, "purgeable"}, {0x40, "sysheap"}};
    thread_local char buf[80];
    buf[0] = 0;
    for (auto const& b : kBits) {
        if (!(attrs & b.bit)) continue;
        if (buf[0]) std::strcat(buf, ", ");
        std::strcat(buf, b.name);
    }
    return buf;
}
