#include "foundation/RefCountedCharPtr.h"

#include <cstring>

#include "foundation/Log.h"

CRefCountedCharPtr::CRefCountedCharPtr(char const* s, bool borrowed) : mCount(0), mBorrowed(borrowed ? 1 : 0) {
    if (borrowed || s == nullptr) {
        mString = const_cast<char*>(s);
    } else {
        size_t n = std::strlen(s);
        mString = new char[n + 1];
        std::memcpy(mString, s, n + 1);
        mCount = 1;
    }
}

CRefCountedCharPtr::~CRefCountedCharPtr() {
    FW_CHECK(mCount == 0);
    if (!mBorrowed) delete[] mString;
}

uint32_t CRefCountedCharPtr::Release() {
    if (mCount > 0) --mCount;
    return mCount;
}

int parr_compare(CRefCountedCharPtr& a, CRefCountedCharPtr& b) {
    if (a.Get() == b.Get()) return 0;
    if (!a.Get()) return -1;
    if (!b.Get()) return 1;
    return std::strcmp(a.Get(), b.Get());
}
