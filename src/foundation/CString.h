// CString: the program's byte string (Mac Roman text or raw bytes without NUL).
//
// Three states: null (no block), empty-but-allocated, and non-empty. They
// behave differently under concatenation: a null operand makes `+` give null
// and makes `+=` leave self unchanged, so a string that is built piece by
// piece starts from Init(""), an assignment or append(), never from null.
#pragma once

#include <cstddef>

class CString {
public:
    CString() = default;
    CString(char const* s) { Init(s); }  // NOLINT: implicit like a C string
    CString(char const* s, int n) { Init(s, n); }
    CString(CString const& other) { Init(other.mString); }
    CString(CString&& other) noexcept;
    ~CString();

    CString& operator=(CString const& other);
    CString& operator=(CString&& other) noexcept;
    CString& operator=(char const* s);
    // Length-prefixed string: a length byte, then the bytes.
    CString& operator=(unsigned char const* ps);

    // Self becomes a copy of s; a null s gives the null state.
    void Init(char const* s);
    // Copy of the first n bytes of s plus a NUL; s must not be null.
    void Init(char const* s, int n);
    // A block of n + 1 zero bytes: empty, with room for n bytes.
    void Init(int n);
    void Create(char const* s, int n) { Init(s, n); }
    void Clear();

    // Bytes before the NUL; -1 for the null state.
    long Length() const;
    bool Empty() const { return mString == nullptr || mString[0] == 0; }
    bool IsNull() const { return mString == nullptr; }
    // Reads the byte at i (0 past the end or for a null string).
    char operator[](long i) const;

    // The text, or null in the null state.
    char const* c_str() const { return mString; }
    // Writable block for callers that fill a string (see ExtendBy, Capacity).
    char* Buffer() { return mString; }
    // Bytes the block can hold before its NUL; -1 for the null state.
    long Capacity() const { return mString ? static_cast<long>(mSize) - 1 : -1; }
    explicit operator char const*() const { return mString; }
    explicit operator char*() const { return mString; }

    void ShortenTo(long n);
    // Drops the last n bytes; a string shorter than n becomes null.
    void ShortenBy(long n);
    // Keeps the last n bytes; with ellipsis, the first of them becomes 0xC9.
    void ShortenAtFrontTo(long n, bool ellipsis);
    // Writes a length-prefixed copy into buf, which holds max + 1 bytes (max is
    // taken as 0..255). Too long: length max, an ellipsis, the last max - 1 bytes.
    unsigned char* ToPString(unsigned char* buf, int max) const;
    void Replace(char a, char b);
    // Stores c at pos, which must lie inside the string.
    void Set(long pos, char c);
    // Room for n more bytes behind the text; null becomes an empty block.
    void ExtendBy(long n);
    void ToLower();
    bool HasChars(char const* set) const;
    bool HasPrefix(char const* prefix, bool proper) const;
    bool HasPrefix(CString const& prefix, bool proper) const { return HasPrefix(prefix.mString, proper); }
    // Builds lists: empty self takes s; otherwise a non-empty s is added after sep.
    void append(char const* s, char const* sep);
    void append(CString const& s, char const* sep) { append(s.mString, sep); }

    CString& operator+=(CString const& s) { return *this += s.mString; }
    CString& operator+=(char const* s);
    CString& operator+=(char c);
    CString operator+(CString const& s) const { return *this + s.mString; }
    CString operator+(char const* s) const;

    // Byte comparison; null equals only null.
    friend bool operator==(CString const& a, CString const& b);
    friend bool operator==(CString const& a, char const* b);

private:
    void Adopt(char* block, size_t size);

    char* mString = nullptr;
    size_t mSize = 0;  // bytes allocated for mString (text + NUL + spare)
};

// Order for sorted arrays of strings: strcmp on unsigned bytes, null first.
int parr_compare(CString& a, CString& b);
