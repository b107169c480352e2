// Text, date and revision utilities.
//
// Dates are Mac clock seconds (unsigned 32-bit, since 1904-01-01, local time);
// the date texts are pure calendar arithmetic, without any time zone.
#pragma once

#include <cstdint>
#include <cstdio>

#include "foundation/CString.h"
#include "foundation/TPtrArray.h"

// ---------------------------------------------------------------------------
// Dates

// "5 Jan 2004 07:03:09"
CString SecondsToRFC1123(unsigned long secs);
// "2004-01-05"
CString SecondsToYYYY_MM_DD(unsigned long secs);
// "5-Jan-2004", "05 January 04" ... (annotate dates); time of day 0:00:00.
unsigned long SecondsFromDD_MMM_YYYY(CString text);
// "2004-01-05"; time of day 0:00:00.
unsigned long SecondsFromYYYY_MM_DD(CString const& text);
// Two-digit years: 0-80 -> 2000-2080, 81-1903 -> +1900. Years the Mac clock
// cannot hold (after early 2040) are left to the date functions, which
// saturate at the clock's last second instead of wrapping.
void FixupYear(unsigned long& year);

// "", "Jan" .. "Dec"
extern char const* const kMonthNames[13];

// ---------------------------------------------------------------------------
// Revisions

// Each non-zero component of rev as 8 lower-case hex digits (bitwise inverted
// when invert). False when a non-numeric character stopped the reading, or
// rev is null or empty.
bool MakeComparableRevisionId(CString const& rev, CString& out, bool invert);
// a and b are comparable ids. True when a lies before b on b's line of descent.
bool RevisionIdOnBranchBefore(CString const& a, CString const& b, bool ifEqual);

// ---------------------------------------------------------------------------
// Names, roots and paths

bool IsProperTag(char const* tag);
bool IsUNIXName(char const* name);
// Removes "./" at the start or after "/", and "//" runs; returns the number of
// characters removed.
long NormalizePath(CString& path);
bool IsNiceCVSRoot(CString root);
void SplitPath(CString const& path, CString& dir, CString& name);
void RelativeTo(CString const& full, CString const& base, CString& rel);
// prefix + base + "-" + suffix + extension, the base cut to fit maxLen.
void FrameFileName(CString const& prefix, CString const& suffix, CString& name, unsigned short maxLen);

// ---------------------------------------------------------------------------
// Tokens and entries

// token = text from index up to the next sep; returns the index after that
// sep, or -1 at the end of the text. index -1 gives a null token and -1.
long NextToken(CString const& text, CString& token, char sep, long index);

// Splits "/name/revision/timestamp/options/tagdate". Returns what reading the
// tag field returned (-1 when it ends the line, as usual), or -2 when the
// line is malformed (it does not begin with "/" or a field's "/" is missing);
// then all five fields are null. Entry lines come from servers and disks, so
// a malformed one is reported to the caller, never asserted.
constexpr long kBadCVSEntry = -2;
long DecodeCVSEntry(CString const& entry, CString& name, CString& revision, CString& timestamp,
                    CString& options, CString& tagdate);

// ---------------------------------------------------------------------------
// Lines and environment

// Reads to LF, CR or EOF; keeps at most max - 1 bytes (drops the rest of the
// line); false only at EOF with nothing read.
bool GetLineTrunc(FILE* f, char* buf, unsigned long max);
// Reads one line into a growing malloc()ed buffer (grow bytes at a time; free
// it with free()). Returns '\n', '\r' or EOF, whichever ended the line.
int GetMacOrUnixLine(FILE* f, char*& buf, unsigned long& size, unsigned long grow);
// New environment: copies of add (NAME=value) in order, then the entries of
// env whose name is not taken yet, then a null. Free with FreeEnvironment.
char** AddToEnvironment(char** env, TPtrArray<CString>& add);
void FreeEnvironment(char** env);
// Reads the line at pos of a CR-separated text block of size bytes; pos becomes
// the start of the next line, or -1 after the last one.
bool AskLine(long& pos, char const* text, long size, CString& line);
bool AskLine(long& pos, CString const& text, CString& line);

// ---------------------------------------------------------------------------
// Other

namespace fw {
// Shell pattern match; 0 match, 1 no match, -1 and errno EINVAL for bad flags.
// ASCII compares without regard to case; bytes 128-255 compare exactly.
enum { kFnmPathname = 1, kFnmNoEscape = 2, kFnmPeriod = 4 };
int fnmatch(char const* pattern, char const* string, int flags);
}  // namespace fw

// strcmp folding ASCII A-Z to lower case (bytes compared unsigned).
int StrCmpNoCase(char const* a, char const* b);
unsigned long ConvertChars(char* buf, unsigned long len, char from, char to);
CString GetHostNameWithHint(CString const& hint);

struct NumVersion {
    uint8_t majorRev;
    uint8_t minorAndBugRev;
    uint8_t stage;  // 0x20 develop, 0x40 alpha, 0x60 beta, 0x80 final
    uint8_t nonRelRev;
};
enum : uint8_t { developStage = 0x20, alphaStage = 0x40, betaStage = 0x60, finalStage = 0x80 };
// Length-prefixed "1.2.3 (beta 4)" style text into out (256 bytes).
void VersionToString(NumVersion const& v, unsigned char* out);
// Packed BCD system version, e.g. 0x1043 -> "10.4.3".
void VersionToString(unsigned long bcd, unsigned char* out);

// One row of a hex dump (see the implementation for the layout).
void DataToHexBlock(unsigned char const* data, long offset, short width, short end, char* out, short outSize);
// "changed, preload, ..." for the set resource attribute bits (per-thread buffer).
char const* ResourcesAttributesString(short attrs);
