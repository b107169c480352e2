// CRefCountedCharPtr: a shared C string for the line documents' string pool.
// Borrowed pointers stay the caller's (count starts at 0); otherwise the object
// keeps its own copy (count starts at 1). The owner raises and lowers the
// count; the count must be back at 0 when the object is destroyed.
#pragma once

#include <cstdint>

class CRefCountedCharPtr {
public:
    CRefCountedCharPtr(char const* s, bool borrowed);
    ~CRefCountedCharPtr();
    CRefCountedCharPtr(CRefCountedCharPtr const&) = delete;
    CRefCountedCharPtr& operator=(CRefCountedCharPtr const&) = delete;

    char const* Get() const { return mString; }
    operator char const*() const { return mString; }  // NOLINT
    bool IsBorrowed() const { return mBorrowed != 0; }
    uint32_t Count() const { return mCount; }
    uint32_t Retain() { return ++mCount; }
    // Lowers the count (not below 0) and returns the new count.
    uint32_t Release();

private:
    char* mString;
    uint32_t mCount : 31;
    uint32_t mBorrowed : 1;
};

// Equal pointers compare equal; otherwise strcmp of the two strings.
int parr_compare(CRefCountedCharPtr& a, CRefCountedCharPtr& b);
