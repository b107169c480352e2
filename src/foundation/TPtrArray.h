// TPtrArray<ELM>: a growable array of element pointers, kept in insertion
// order or sorted by parr_compare(ELM&, ELM&), optionally owning (deleting)
// its elements.
//
// Unsorted removal moves the last element into the hole (order not kept);
// sorted removal keeps the order. Storage grows by 32 slots and is freed when
// the array becomes empty through remove() or clear(). Not copyable.
#pragma once

#include <cstdlib>
#include <cstring>
#include <utility>

#include "foundation/Log.h"

enum : unsigned int {
    kPArrOwning = 1,  // the array deletes its elements
    kPArrSorted = 2   // kept in parr_compare order
};

template <class ELM>
class TPtrArray {
public:
    static constexpr int kGrowBy = 32;

    TPtrArray() : TPtrArray(0) {}
    explicit TPtrArray(int flags) : mFlags(static_cast<unsigned int>(flags)) {}
    ~TPtrArray() { clear(); }
    TPtrArray(TPtrArray const&) = delete;
    TPtrArray& operator=(TPtrArray const&) = delete;
    TPtrArray(TPtrArray&& o) noexcept
        : mFlags(o.mFlags), mCapacity(o.mCapacity), mCount(o.mCount), mSlots(o.mSlots) {
        o.mCapacity = o.mCount = 0;
        o.mSlots = nullptr;
    }
    TPtrArray& operator=(TPtrArray&& o) noexcept {
        if (this != &o) {
            clear();
            mFlags = o.mFlags;
            mCapacity = o.mCapacity;
            mCount = o.mCount;
            mSlots = o.mSlots;
            o.mCapacity = o.mCount = 0;
            o.mSlots = nullptr;
        }
        return *this;
    }

    bool IsSorted() const { return (mFlags & kPArrSorted) != 0; }
    bool IsOwning() const { return (mFlags & kPArrOwning) != 0; }
    int Count() const { return mCount; }
    int count() const { return mCount; }
    int Capacity() const { return mCapacity; }
    ELM* operator[](int i) const { return mSlots[i]; }
    ELM* at(int i) const { return (i >= 0 && i < mCount) ? mSlots[i] : nullptr; }
    ELM** begin() const { return mSlots; }
    ELM** end() const { return mSlots + mCount; }

    // Unsorted arrays: stores elm at the end and returns 1.
    int append(ELM* elm) {
        if (!FW_CHECK_MSG(!IsSorted(), "TPtrArray<ELM>::append(): operation not allowed on sorted list.\n"))
            return 0;
        if (mCount == mCapacity) Grow(mCount);
        mSlots[mCount++] = elm;
        return 1;
    }

    // Sorted arrays: stores elm at pos(elm) and returns that index.
    int insert(ELM* elm) {
        if (!FW_CHECK_MSG(IsSorted(), "TPtrArray<ELM>::insert(): operation not allowed on unsorted list.\n"))
            return -1;
        int at = pos(elm);
        if (mCount == mCapacity) {
            Grow(at);
        } else {
            std::memmove(mSlots + at + 1, mSlots + at, sizeof(ELM*) * static_cast<size_t>(mCount - at));
        }
        mSlots[at] = elm;
        ++mCount;
        return at;
    }

    // Sorted: index of an equal element, else where elm would go. Unsorted: -1.
    int pos(ELM* elm) const {
        if (!IsSorted()) return -1;
        int lo = 0;
        int hi = mCount - 1;
        while (hi >= lo) {
            int mid = (lo + hi) / 2;
            int c = parr_compare(*mSlots[mid], *elm);
            if (c == 0) return mid;
            if (c > 0)
                hi = mid - 1;
            else
                lo = mid + 1;
        }
        return lo;
    }

    // Index of an element comparing equal, else -1.
    int find(ELM* elm) const {
        if (IsSorted()) {
            int p = pos(elm);
            return (p < mCount && parr_compare(*mSlots[p], *elm) == 0) ? p : -1;
        }
        for (int i = 0; i < mCount; ++i)
            if (parr_compare(*mSlots[i], *elm) == 0) return i;
        return -1;
    }

    int remove(int index, int deleteIt) {
        if (index < 0 || index >= mCount) return 0;
        if (IsOwning() && deleteIt) delete mSlots[index];
        if (IsSorted()) {
            std::memmove(mSlots + index, mSlots + index + 1, sizeof(ELM*) * static_cast<size_t>(mCount - index - 1));
        } else {
            mSlots[index] = mSlots[mCount - 1];
        }
        --mCount;
        if (mCount == 0) clear();
        return 1;
    }

    int remove(ELM* elm, int deleteIt) {
        int i = find(elm);
        return i < 0 ? 0 : remove(i, deleteIt);
    }

    void clear() {
        if (IsOwning())
            for (int i = 0; i < mCount; ++i) delete mSlots[i];
        delete[] mSlots;
        mSlots = nullptr;
        mCount = mCapacity = 0;
    }

    // Unsorted arrays: qsort with cmp receiving pointers to two slots (ELM**).
    void do_sort(int (*cmp)(void const*, void const*)) {
        if (!FW_CHECK_MSG(!IsSorted(), "TPtrArray<ELM>::do_sort(): operation not allowed on sorted list.\n"))
            return;
        if (mCount > 1) std::qsort(mSlots, static_cast<size_t>(mCount), sizeof(ELM*), cmp);
    }

private:
    // Adds kGrowBy slots, leaving a one-slot gap at index gap.
    void Grow(int gap) {
        ELM** grown = new ELM*[static_cast<size_t>(mCapacity + kGrowBy)];
        if (mSlots) {
            std::memcpy(grown, mSlots, sizeof(ELM*) * static_cast<size_t>(gap));
            std::memcpy(grown + gap + 1, mSlots + gap, sizeof(ELM*) * static_cast<size_t>(mCount - gap));
        }
        delete[] mSlots;
        mSlots = grown;
        mCapacity += kGrowBy;
    }

    unsigned int mFlags = 0;
    int mCapacity = 0;
    int mCount = 0;
    ELM** mSlots = nullptr;
};
