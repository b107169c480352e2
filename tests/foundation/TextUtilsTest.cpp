#include "foundation/TextUtils.h"

#include <gtest/gtest.h>

#include <fnmatch.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/RefCountedCharPtr.h"
#include "platform/MacClock.h"

namespace {

std::string Str(CString const& s) {
    return s.IsNull() ? std::string("<null>") : std::string(s.c_str());
}

unsigned long Mac(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    fw::SMacDateTime dt;
    dt.year = y, dt.month = mo, dt.day = d, dt.hour = h, dt.minute = mi, dt.second = s;
    return fw::MacSecondsFromDate(dt);
}

// A FILE* over fixed bytes.
struct MemFile {
    explicit MemFile(std::string const& bytes) : data(bytes) {
        f = fmemopen(data.data(), data.size(), "rb");
    }
    ~MemFile() {
        if (f) std::fclose(f);
    }
    std::string data;
    FILE* f;
};

}  // namespace

TEST(TextDates, FormatsAndParses) {
    EXPECT_EQ(Str(SecondsToRFC1123(Mac(2004, 1, 5, 7, 3, 9))), "5 Jan 2004 07:03:09");
    EXPECT_EQ(Str(SecondsToYYYY_MM_DD(Mac(2004, 1, 5, 7, 3, 9))), "2004-01-05");
    EXPECT_EQ(Str(SecondsToRFC1123(0)), "1 Jan 1904 00:00:00");

    struct { char const* text; unsigned long expected; } annotate[] = {
        {"05-Jan-04", Mac(2004, 1, 5)},
        {"5 December 1999", Mac(1999, 12, 5)},
        {"28-Feb-81", Mac(1981, 2, 28)},
        {"1-xyz-2003", Mac(2003, 1, 1)},   // unknown month: January
        {"3-jan-2003", Mac(2003, 1, 3)},   // month names are case-sensitive
        {"", Mac(1904, 1, 1)},
        {"31-Dec-9999", 0xFFFFFFFFul},      // past the clock's end: saturates, never wraps
        {"1-Jan-80", 0xFFFFFFFFul},         // 2080
    };
    for (auto const& c : annotate)
        EXPECT_EQ(SecondsFromDD_MMM_YYYY(c.text), c.expected) << c.text;
    EXPECT_EQ(SecondsFromDD_MMM_YYYY(CString()), Mac(1904, 1, 1));

    EXPECT_EQ(SecondsFromYYYY_MM_DD("2004-01-05"), Mac(2004, 1, 5));
    EXPECT_EQ(SecondsFromYYYY_MM_DD("99-7-4"), Mac(1999, 7, 4));
    EXPECT_EQ(SecondsFromYYYY_MM_DD("garbage"), Mac(1904, 1, 1));
}

TEST(TextDates, FixupYear) {
    struct { unsigned long in, out; } cases[] = {
        {99, 1999}, {5, 2005}, {0, 2000}, {80, 2080}, {81, 1981},
        {2003, 2003}, {1904, 1904}, {200, 2100}, {1903, 3803},
    };
    for (auto const& c : cases) {
        unsigned long y = c.in;
        FixupYear(y);
        EXPECT_EQ(y, c.out) << c.in;
    }
}

TEST(TextRevisions, ComparableIds) {
    struct { char const* rev; bool invert; char const* out; bool ok; } cases[] = {
        {"1.10", false, "000000010000000a", true},
        {"1.10", true, "fffffffefffffff5", true},
        {"1.2.0.4", false, "000000010000000200000004", true},
        {"1.2a", false, "0000000100000002", false},
        {"", false, "", false},
        {"x", false, "", false},
    };
    for (auto const& c : cases) {
        CString out;
        EXPECT_EQ(MakeComparableRevisionId(c.rev, out, c.invert), c.ok) << c.rev;
        EXPECT_EQ(Str(out), c.out) << c.rev;
    }
    CString out;
    EXPECT_FALSE(MakeComparableRevisionId(CString(), out, false));
    EXPECT_EQ(Str(out), "");
}

TEST(TextRevisions, OnBranchBefore) {
    struct { char const* a; char const* b; bool ifEqual; bool expected; } cases[] = {
        {"1.2", "1.3", false, true},
        {"1.3", "1.2", false, false},
        {"1.2", "1.2.2.1", false, true},
        {"1.2.2.1", "1.3", false, false},
        {"1.2", "1.2", true, true},
        {"1.2", "1.2", false, false},
        {"1.9", "1.10", false, true},    // numeric, not textual, order
        {"1.2.2.1", "1.3.2.2", false, false},  // different branches
        {"1.3", "1.2.2.1", false, false},
    };
    for (auto const& c : cases) {
        CString a, b;
        MakeComparableRevisionId(c.a, a, false);
        MakeComparableRevisionId(c.b, b, false);
        EXPECT_EQ(RevisionIdOnBranchBefore(a, b, c.ifEqual), c.expected) << c.a << " vs " << c.b;
    }
}

TEST(TextNames, TagsAndUnixNames) {
    struct { char const* tag; bool proper; } tags[] = {
        {"rel-1_0", true}, {"_x", true}, {"", true}, {"1.0", false}, {"a.b", false},
        {"9lives", false}, {"t\xE9", false}, {"a b", false},
    };
    for (auto const& t : tags) EXPECT_EQ(IsProperTag(t.tag), t.proper) << t.tag;

    struct { char const* name; bool unix; } names[] = {
        {"\x8E.c", true},        // Mac Roman e acute: high bytes are allowed
        {"plain", true}, {"a/b", false}, {"tab\there", false}, {"cr\r", false}, {"\x7F", true},
    };
    for (auto const& n : names) EXPECT_EQ(IsUNIXName(n.name), n.unix) << n.name;

    unsigned long before = CheckFailureCount();
    EXPECT_FALSE(IsProperTag(nullptr));
    EXPECT_FALSE(IsUNIXName(nullptr));
    EXPECT_EQ(CheckFailureCount() - before, 2u);
}

TEST(TextPaths, NormalizeAndNiceRoots) {
    struct { char const* in; char const* out; long removed; } cases[] = {
        {"/a//b/./c", "/a/b/c", 3},
        {"./x", "x", 2},
        {"a/././b", "a/b", 4},
        {"../a/..//b", "../a/../b", 1},
        {"a/.", "a/.", 0},
        {"a/", "a/", 0},
        {".hidden/x", ".hidden/x", 0},
        {"a/.//b", "a/b", 3},
    };
    for (auto const& c : cases) {
        CString p(c.in);
        EXPECT_EQ(NormalizePath(p), c.removed) << c.in;
        EXPECT_EQ(Str(p), c.out) << c.in;
    }
    EXPECT_TRUE(IsNiceCVSRoot("/var/cvs"));
    EXPECT_FALSE(IsNiceCVSRoot("/var/cvs/"));
    EXPECT_FALSE(IsNiceCVSRoot("/var//cvs"));
    EXPECT_FALSE(IsNiceCVSRoot(""));
    EXPECT_FALSE(IsNiceCVSRoot(CString()));
}

TEST(TextPaths, SplitRelativeAndFrame) {
    struct { char const* path; char const* dir; char const* name; } splits[] = {
        {"a/b/c", "a/b", "c"}, {"/c", "", "/c"}, {"c", "", "c"}, {"a/", "a", ""},
    };
    for (auto const& s : splits) {
        CString dir, name;
        SplitPath(s.path, dir, name);
        EXPECT_EQ(Str(dir), s.dir) << s.path;
        EXPECT_EQ(Str(name), s.name) << s.path;
    }

    CString rel;
    RelativeTo("/r/a/b", "/r", rel);
    EXPECT_EQ(Str(rel), "a/b");
    RelativeTo("/r", "/r", rel);
    EXPECT_EQ(Str(rel), "");
    unsigned long before = CheckFailureCount();
    RelativeTo("/rx/a", "/r", rel);
    EXPECT_EQ(Str(rel), "");
    EXPECT_EQ(CheckFailureCount() - before, 1u);

    struct { char const* prefix; char const* suffix; char const* name; unsigned short max; char const* out; } frames[] = {
        {"#", "1.3", "file.c", 31, "#file-1.3.c"},
        {"", "bak", ".profile", 31, ".profile-bak"},  // a leading "." is no extension
        {"#", "1.3", "averyveryverylongfilename.txt", 20, "#averyveryve-1.3.txt"},
        {"", "x", "noext", 31, "noext-x"},
    };
    for (auto const& f : frames) {
        CString name(f.name);
        FrameFileName(f.prefix, f.suffix, name, f.max);
        EXPECT_EQ(Str(name), f.out) << f.name;
        EXPECT_LE(name.Length(), f.max);
    }
    before = CheckFailureCount();
    CString name("n");
    FrameFileName("prefixprefix", "suffixsuffix", name, 10);
    EXPECT_EQ(Str(name), "prefixpref");
    EXPECT_EQ(CheckFailureCount() - before, 1u);
}

TEST(TextEntries, NextToken) {
    CString tok;
    EXPECT_EQ(NextToken("a/b", tok, '/', 0), 2);
    EXPECT_EQ(Str(tok), "a");
    EXPECT_EQ(NextToken("a/b", tok, '/', 2), -1);
    EXPECT_EQ(Str(tok), "b");
    EXPECT_EQ(NextToken("a/b", tok, '/', -1), -1);
    EXPECT_TRUE(tok.IsNull());
    EXPECT_EQ(NextToken("a/", tok, '/', 2), -1);
    EXPECT_EQ(Str(tok), "");
    EXPECT_EQ(NextToken("ab", tok, '/', 99), -1);  // past the end: empty, no overrun
    EXPECT_EQ(Str(tok), "");
}

TEST(TextEntries, DecodeCVSEntryReportsMalformedLines) {
    CString name, rev, ts, opts, tag;
    long r = DecodeCVSEntry("/a.c/1.4/Result of merge/-kb/Trel", name, rev, ts, opts, tag);
    EXPECT_EQ(r, -1);
    EXPECT_EQ(Str(name), "a.c");
    EXPECT_EQ(Str(rev), "1.4");
    EXPECT_EQ(Str(ts), "Result of merge");
    EXPECT_EQ(Str(opts), "-kb");
    EXPECT_EQ(Str(tag), "Trel");

    EXPECT_EQ(DecodeCVSEntry("/b////", name, rev, ts, opts, tag), -1);
    EXPECT_EQ(Str(name), "b");
    EXPECT_EQ(Str(rev), "");
    EXPECT_EQ(Str(tag), "");

    unsigned long before = CheckFailureCount();
    for (char const* bad : {"", "a.c/1.4////", "/a.c/1.4/ts", "/a.c", "/a.c/1.4/ts/-kb"}) {
        EXPECT_EQ(DecodeCVSEntry(bad, name, rev, ts, opts, tag), kBadCVSEntry) << bad;
        EXPECT_TRUE(name.IsNull() && rev.IsNull() && ts.IsNull() && opts.IsNull() && tag.IsNull()) << bad;
    }
    EXPECT_EQ(DecodeCVSEntry(CString(), name, rev, ts, opts, tag), kBadCVSEntry);
    EXPECT_EQ(CheckFailureCount(), before);  // server data is not a programming error
}

TEST(TextLines, GetLineTrunc) {
    MemFile m("short\nthis line is too long\r\nlast");
    char buf[8];
    std::vector<std::string> lines;
    while (GetLineTrunc(m.f, buf, sizeof buf)) lines.emplace_back(buf);
    EXPECT_EQ(lines, (std::vector<std::string>{"short", "this li", "", "last"}));

    MemFile empty("");
    buf[0] = 'x';
    EXPECT_FALSE(GetLineTrunc(empty.f, buf, sizeof buf));
    EXPECT_EQ(buf[0], 0);
    MemFile blank("\n");
    EXPECT_TRUE(GetLineTrunc(blank.f, buf, sizeof buf));
    EXPECT_FALSE(GetLineTrunc(blank.f, buf, sizeof buf));
}

TEST(TextLines, GetMacOrUnixLineGrows) {
    std::string longLine(1000, 'z');
    MemFile m("mac\runix\n" + longLine);
    char* buf = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(GetMacOrUnixLine(m.f, buf, size, 16), '\r');
    EXPECT_STREQ(buf, "mac");
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(GetMacOrUnixLine(m.f, buf, size, 16), '\n');
    EXPECT_STREQ(buf, "unix");
    EXPECT_EQ(GetMacOrUnixLine(m.f, buf, size, 16), EOF);
    EXPECT_EQ(std::string(buf), longLine);
    EXPECT_GT(size, 1000u);
    std::free(buf);
}

TEST(TextLines, AskLineWalksCarriageReturnLines) {
    CString text("first\rsecond\r\rlast");
    long pos = 0;
    CString line;
    std::vector<std::string> lines;
    while (AskLine(pos, text, line)) lines.push_back(Str(line));
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "second", "", "last"}));
    EXPECT_EQ(pos, -1);
    EXPECT_FALSE(AskLine(pos, text, line));
    EXPECT_EQ(Str(line), "");
    pos = 0;
    EXPECT_FALSE(AskLine(pos, nullptr, 0, line));
    EXPECT_EQ(pos, -1);
}

TEST(TextEnvironment, AddedVariablesOverride) {
    char const* envInit[] = {"PATH=/bin", "DISPLAY=:0", "HOME=/h", "PATH=/other", nullptr};
    TPtrArray<CString> add(kPArrOwning);
    add.append(new CString("DISPLAY=localhost"));
    add.append(new CString("CVS_RSH=ssh"));
    char** env = AddToEnvironment(const_cast<char**>(envInit), add);
    std::vector<std::string> got;
    for (char** p = env; *p; ++p) got.emplace_back(*p);
    EXPECT_EQ(got, (std::vector<std::string>{"DISPLAY=localhost", "CVS_RSH=ssh", "PATH=/bin", "HOME=/h"}));
    FreeEnvironment(env);

    TPtrArray<CString> none;
    env = AddToEnvironment(nullptr, none);
    EXPECT_EQ(env[0], nullptr);
    FreeEnvironment(env);
}

TEST(TextMatch, ShellPatterns) {
    using fw::fnmatch;
    struct { char const* pattern; char const* string; int flags; int expected; } cases[] = {
        {"*.C", "file.c", 0, 0},              // ASCII ignores case
        {"a/*", "a/b/c", 1, 1},               // "/" only by a literal "/" in path mode
        {"a/*", "a/b/c", 0, 0},
        {"a/*/c", "a/b/c", 1, 0},
        {"*c", "a/b/c", 1, 1},
        {"\xC9*", "\xC9xyz", 0, 0},
        {"\x83", "\x8E", 0, 1},               // high bytes compare exactly: E-acute is not e-acute
        {"?", "\x8E", 0, 0},
        {"[a-c]x", "Bx", 0, 0},
        {"[!a-c]x", "dx", 0, 0},
        {"[^a-c]x", "bx", 0, 1},
        {"[]]", "]", 0, 0},
        {"[a-]", "-", 0, 0},
        {"[", "[", 0, 0},                    // malformed set: literal
        {"[ab", "[ab", 0, 0},
        {"\\*", "*", 0, 0},
        {"\\*", "x", 0, 1},
        {"\\*", "\\x", 2, 0},                // backslash ordinary with flag 2
        {"*", ".profile", 4, 1},              // leading period needs a literal "."
        {".*", ".profile", 4, 0},
        {"a/*", "a/.x", 5, 1},
        {"a/*", "a/.x", 4, 0},               // not leading without path mode
        {"*.o", "x.o", 4, 0},
        {"", "", 0, 0},
        {"", "a", 0, 1},
        {"*", "", 0, 0},
        {"a*b*c", "aXbYbZc", 0, 0},
        {"a*b*c", "aXbYbZ", 0, 1},
        {"CVS", "cvs", 0, 0},
    };
    for (auto const& c : cases)
        EXPECT_EQ(fnmatch(c.pattern, c.string, c.flags), c.expected)
            << "'" << c.pattern << "' vs '" << c.string << "' flags " << c.flags;

    errno = 0;
    EXPECT_EQ(fnmatch("*", "x", 8), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST(TextMatch, ManyStarsStayFast) {
    // A pattern from a repository's ignore file must not take exponential time.
    std::string pattern;
    for (int i = 0; i < 30; ++i) pattern += "*a";
    pattern += "b";
    std::string subject(5000, 'a');
    EXPECT_EQ(fw::fnmatch(pattern.c_str(), subject.c_str(), 0), 1);
}

TEST(TextMatch, CLibraryMatcherKeepsItsCase) {
    // The program's matcher lives in its own namespace: the C library's stays exact.
    EXPECT_NE(::fnmatch("*.C", "file.c", 0), 0);
    EXPECT_EQ(fw::fnmatch("*.C", "file.c", 0), 0);
}

TEST(TextOther, CaseFoldingAndConversion) {
    EXPECT_EQ(StrCmpNoCase("ABC", "abc"), 0);
    EXPECT_LT(StrCmpNoCase("abc", "ABD"), 0);
    EXPECT_GT(StrCmpNoCase("\xE9", "z"), 0);  // high bytes are unsigned
    EXPECT_LT(StrCmpNoCase("ab", "abc"), 0);
    EXPECT_EQ(StrCmpNoCase("\x8E", "\x83"), 0x8E - 0x83);

    char text[] = "a\rb\rc";
    EXPECT_EQ(ConvertChars(text, 4, '\r', '\n'), 2u);  // only the first four bytes
    EXPECT_STREQ(text, "a\nb\nc");
    EXPECT_FALSE(GetHostNameWithHint("joe").Empty());
}

TEST(TextOther, VersionStrings) {
    struct { NumVersion v; char const* out; } cases[] = {
        {{1, 0x23, finalStage, 0}, "1.2.3"},
        {{2, 0x10, betaStage, 4}, "2.1 (beta 4)"},
        {{3, 0x01, alphaStage, 2}, "3.0.1 (alpha 2)"},
        {{1, 0x00, developStage, 7}, "1.0 (develop 7)"},
        {{1, 0x00, 0, 0}, "1.0"},
        {{1, 0x00, 0x11, 0}, "1.0***"},
    };
    unsigned char out[256];
    for (auto const& c : cases) {
        VersionToString(c.v, out);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 1), out[0]), c.out);
    }
    VersionToString(0x1043ul, out);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 1), out[0]), "10.4.3");
    VersionToString(0x0920ul, out);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 1), out[0]), "9.2");
}

TEST(TextOther, HexBlockRows) {
    unsigned char data[20];
    for (int i = 0; i < 20; ++i) data[i] = static_cast<unsigned char>(i < 10 ? i : 'A' + i);
    char out[100];
    DataToHexBlock(data, 18, 8, 4, out, sizeof out);  // the row of 16..19, shown from 18
    EXPECT_STREQ(out, "00000010        53 54                ST    ");
    DataToHexBlock(data, 2, 8, 6, out, sizeof out);  // control bytes show as "."
    EXPECT_STREQ(out, "00000000        02 03 04 05          ....  ");

    // A row address beyond 32 bits keeps its eight digits and the row its size.
    DataToHexBlock(data, 0x100000010L, 4, 0, out, 30);
    EXPECT_STREQ(out, "00000010                   ");

    unsigned long before = CheckFailureCount();
    char small[20];
    DataToHexBlock(data, 0, 8, 8, small, sizeof small);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(CheckFailureCount() - before, 1u);

    EXPECT_STREQ(ResourcesAttributesString(0x02 | 0x10 | 0x40), "changed, locked, sysheap");
    EXPECT_STREQ(ResourcesAttributesString(0x01), "");
}

TEST(RefCountedCharPtr, OwnsOrBorrows) {
    char text[] = "shared";
    CRefCountedCharPtr borrowed(text, true);
    CRefCountedCharPtr own(text, false);
    EXPECT_EQ(borrowed.Get(), text);
    EXPECT_NE(own.Get(), text);
    EXPECT_EQ(borrowed.Count(), 0u);
    EXPECT_EQ(own.Count(), 1u);
    EXPECT_EQ(parr_compare(borrowed, own), 0);
    CRefCountedCharPtr other("other", true);
    EXPECT_LT(parr_compare(other, own), 0);
    own.Retain();
    EXPECT_EQ(own.Release(), 1u);
    EXPECT_EQ(own.Release(), 0u);
    EXPECT_EQ(own.Release(), 0u);  // not below 0
}
