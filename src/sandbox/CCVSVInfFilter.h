#pragma once
// The view filter of a sandbox folder: which nodes its list shows.

#include "foundation/CString.h"

class CCVSVInfTree;

class CCVSVInfFilter {
public:
    static constexpr unsigned long sCVSVInfFilterVersion = 0;

    enum : unsigned long { kModeOff = 0, kModeShow = 1, kModeHide = 2 };
    enum : unsigned long { kCombineOr = 0, kCombineAnd = 1 };
    enum : unsigned long {
        kModified = 0x1,
        kConflict = 0x2,
        kNotInCVS = 0x4,
        kLost = 0x8,
        kHasLog = 0x10,
        kHasDiff = 0x20,
        kPattern = 0x40,
        kFolders = 0x80,
        kDataFork = 0x100,
        kAppleSingle = 0x200,
        kRBL = 0x400,
        kKeywordDefault = 0x800,
        kKeywordV = 0x1000,
        kKeywordK = 0x2000,
        kKeywordO = 0x4000,
        kKeywordKV = 0x8000,
        kKeywordKVL = 0x10000,
        kKeywordB = 0x20000,
        kAdded = 0x40000,
        kRemoved = 0x80000,
        kHasAnnotation = 0x100000,
        kEditing = 0x400000,
        kEditedByOthers = 0x800000,
        kWatchedByMe = 0x1000000,
        kWatchedByOthers = 0x2000000,
        kNeedsUpdate = 0x4000000,
    };

    CCVSVInfFilter() : mPattern("") {}
    CCVSVInfFilter(unsigned long mode, unsigned long combination, unsigned long criteria, CString const& pattern)
        : mMode(mode), mCombination(combination), mCriteria(criteria), mPattern(pattern)
    {
    }

    bool operator==(CCVSVInfFilter const& o) const
    {
        return mMode == o.mMode && mCombination == o.mCombination && mCriteria == o.mCriteria &&
               mPattern == o.mPattern;
    }
    bool operator!=(CCVSVInfFilter const& o) const { return !(*this == o); }

    // Whether the node passes (is shown).
    bool FilterNode(CCVSVInfTree const* node) const;

    // "%08x,%08x,%08x,%08x," (version, mode, criteria, combination) + pattern.
    CString ToString() const;
    // Reads the stored form; false (filter unchanged) when a part is missing.
    bool FromString(char const* text);

    unsigned long Mode() const { return mMode; }
    unsigned long Combination() const { return mCombination; }
    unsigned long Criteria() const { return mCriteria; }
    CString Pattern() const { return mPattern; }

private:
    unsigned long mMode = kModeOff;
    unsigned long mCombination = kCombineOr;
    unsigned long mCriteria = 0;
    CString mPattern;
};
