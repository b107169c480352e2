#include "foundation/CString.h"

#include <cstring>
#include <utility>

#include "foundation/Log.h"

namespace {
constexpr char kEllipsis = static_cast<char>(0xC9);
}

CString::CString(CString&& other) noexcept : mString(other.mString), mSize(other.mSize) {
    other.mString = nullptr;
    other.mSize = 0;
}

CString::~CString() {
    delete[] mString;
}

void CString::Adopt(char* block, size_t size) {
    delete[] mString;
    mString = block;
    mSize = size;
}

CString& CString::operator=(CString const& other) {
    if (this != &other) Init(other.mString);
    return *this;
}

CString& CString::operator=(CString&& other) noexcept {
    if (this != &other) {
        delete[] mString;
        mString = std::exchange(other.mString, nullptr);
        mSize = std::exchange(other.mSize, 0);
    }
    return *this;
}

CString& CString::operator=(char const* s) {
    if (s != mString) Init(s);
    return *this;
}

CString& CString::operator=(unsigned char const* ps) {
    if (!FW_CHECK((char const*)ps != mString)) return *this;
    if (!ps) {
        Clear();
    } else {
        Init(reinterpret_cast<char const*>(ps + 1), ps[0]);
    }
    return *this;
}

void CString::Init(char const* s) {
    if (!s) {
        Clear();
        return;
    }
    size_t n = std::strlen(s);
    char* block = new char[n + 1];
    std::memcpy(block, s, n + 1);  // s may be our own block: copy before freeing
    Adopt(block, n + 1);
}

void CString::Init(char const* s, int n) {
    if (!FW_CHECK(s)) {
        Clear();
        return;
    }
    if (n < 0) n = 0;
    char* block = new char[static_cast<size_t>(n) + 1];
    std::memcpy(block, s, static_cast<size_t>(n));
    block[n] = 0;
    Adopt(block, static_cast<size_t>(n) + 1);
}

void CString::Init(int n) {
    if (n < 0) n = 0;
    char* block = new char[static_cast<size_t>(n) + 1]();
    Adopt(block, static_cast<size_t>(n) + 1);
}

void CString::Clear() {
    Adopt(nullptr, 0);
}

long CString::Length() const {
    return mString ? static_cast<long>(std::strlen(mString)) : -1;
}

char CString::operator[](long i) const {
    // Every byte of the block is initialised, so reading up to its end is safe
    // and costs no strlen.
    if (!mString || i < 0 || static_cast<size_t>(i) >= mSize) return 0;
    return mString[i];
}

void CString::ShortenTo(long n) {
    if (n < 0) n = 0;
    if (Length() > n) mString[n] = 0;
}

void CString::ShortenBy(long n) {
    if (!mString || n <= 0) return;
    long len = Length();
    if (len < n)
        Clear();
    else
        mString[len - n] = 0;
}

void CString::ShortenAtFrontTo(long n, bool ellipsis) {
    if (n < 0) n = 0;
    long len = Length();
    if (len <= n) return;
    std::memmove(mString, mString + (len - n), static_cast<size_t>(n) + 1);
    if (ellipsis && n >= 1) mString[0] = kEllipsis;
}

unsigned char* CString::ToPString(unsigned char* buf, int max) const {
    if (!buf) return buf;
    if (max < 0) max = 0;
    if (max > 255) max = 255;
    long len = mString ? Length() : 0;
    if (len > max) {
        buf[0] = static_cast<unsigned char>(max);
        if (max >= 1) {
            buf[1] = static_cast<unsigned char>(kEllipsis);
            std::memcpy(buf + 2, mString + (len - (max - 1)), static_cast<size_t>(max - 1));
        }
    } else {
        buf[0] = static_cast<unsigned char>(len);
        if (len > 0) std::memcpy(buf + 1, mString, static_cast<size_t>(len));
    }
    return buf;
}

void CString::Replace(char a, char b) {
    if (!mString) return;
    for (char* p = mString; *p; ++p)
        if (*p == a) *p = b;
}

void CString::Set(long pos, char c) {
    if (!FW_CHECK(pos >= 0 && pos < Length())) return;
    mString[pos] = c;
}

void CString::ExtendBy(long n) {
    if (n < 0) n = 0;
    long len = mString ? Length() : 0;
    size_t need = static_cast<size_t>(len) + static_cast<size_t>(n) + 1;
    if (mString && need <= mSize) return;
    char* block = new char[need]();
    if (mString) std::memcpy(block, mString, static_cast<size_t>(len));
    Adopt(block, need);
}

void CString::ToLower() {
    if (!mString) return;
    for (char* p = mString; *p; ++p)
        if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
}

bool CString::HasChars(char const* set) const {
    if (!mString || !set) return false;
    return std::strpbrk(mString, set) != nullptr;
}

bool CString::HasPrefix(char const* prefix, bool proper) const {
    if (!prefix || !*prefix) return true;
    if (Empty()) return false;
    size_t plen = std::strlen(prefix);
    if (std::strncmp(mString, prefix, plen) != 0) return false;
    size_t len = std::strlen(mString);
    return len > plen || !proper;
}

void CString::append(char const* s, char const* sep) {
    if (Length() < 1) {
        Init(s);
    } else if (s && *s) {
        if (sep) *this += sep;
        *this += s;
    }
}

CString& CString::operator+=(char const* s) {
    if (!mString || !s) return *this;
    size_t a = std::strlen(mString);
    size_t b = std::strlen(s);
    char* block = new char[a + b + 1];
    std::memcpy(block, mString, a);
    std::memcpy(block + a, s, b + 1);  // s may point into our own block
    Adopt(block, a + b + 1);
    return *this;
}

CString& CString::operator+=(char c) {
    char s[2] = {c, 0};
    return *this += s;
}

CString CString::operator+(char const* s) const {
    CString out;
    if (!mString || !s) return out;
    size_t a = std::strlen(mString);
    size_t b = std::strlen(s);
    char* block = new char[a + b + 1];
    std::memcpy(block, mString, a);
    std::memcpy(block + a, s, b + 1);
    out.Adopt(block, a + b + 1);
    return out;
}

bool operator==(CString const& a, CString const& b) {
    return a == b.mString;
}

bool operator==(CString const& a, char const* b) {
    if (!a.mString || !b) return a.mString == nullptr && b == nullptr;
    return std::strcmp(a.mString, b) == 0;
}

int parr_compare(CString& a, CString& b) {
    if (a.IsNull() || b.IsNull()) return (a.IsNull() ? 0 : 1) - (b.IsNull() ? 0 : 1);
    return std::strcmp(a.c_str(), b.c_str());  // strcmp compares as unsigned char
}
