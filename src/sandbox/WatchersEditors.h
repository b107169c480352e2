#pragma once
// Who watches and who edits a file, as the server last reported it. A file
// node of the sandbox tree owns at most one list of each; null means nothing
// is known (an empty answer is stored as null too).

#include "foundation/CString.h"
#include "foundation/Log.h"
#include "foundation/TPtrArray.h"

#include <utility>

// One watch of one user on one file. Flags: 1 edit, 2 commit, 4 unedit
// (permanent), 8 tedit, 16 tcommit, 32 tunedit (temporary, end with the edit).
struct SWatcher {
    CString mUser;
    unsigned long mFlags = 0;
};

// One editor of one file, as the server printed it.
struct SEditor {
    CString mUser;
    CString mDate;
    CString mHost;
    CString mDir;
};

// A compact read-only list made from a TPtrArray, whose elements are moved in
// (the array is left empty). The count sits in the upper 28 bits of a word
// whose lower 4 bits are flags for the owner.
template <class T>
class THelperList {
public:
    explicit THelperList(TPtrArray<T>& from, unsigned flags = 0)
    {
        const unsigned long n = static_cast<unsigned long>(from.Count());
        mWord = (n << 4) | (flags & 0xF);
        mItems = n ? new T[n] : nullptr;
        for (unsigned long i = 0; i < n; ++i)
            mItems[i] = std::move(*from[static_cast<int>(i)]);
        from.clear();
    }
    ~THelperList() { delete[] mItems; }
    THelperList(THelperList const&) = delete;
    THelperList& operator=(THelperList const&) = delete;

    unsigned long Count() const { return mWord >> 4; }
    unsigned Flags() const { return static_cast<unsigned>(mWord & 0xF); }
    void SetFlags(unsigned flags) { mWord = (mWord & ~0xFul) | (flags & 0xF); }
    T const* operator[](unsigned long i) const
    {
        if (!FW_CHECK_MSG(i < Count(), "!(inIndex < mCount)"))
            return nullptr;
        return &mItems[i];
    }

private:
    unsigned long mWord = 0;
    T* mItems = nullptr;
};

// Flag bits: 1 the session's user watches the file, 2 someone else does.
class CWatchersList : public THelperList<SWatcher> {
public:
    enum : unsigned { kWatchedByMe = 1, kWatchedByOthers = 2 };
    using THelperList<SWatcher>::THelperList;
};

class CEditorsList : public THelperList<SEditor> {
public:
    using THelperList<SEditor>::THelperList;
};
