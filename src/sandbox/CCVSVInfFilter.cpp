#include "sandbox/CCVSVInfFilter.h"

#include "foundation/TextUtils.h"
#include "sandbox/CCVSVInfTree.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char const* Text(CString const& s)
{
    return s.IsNull() ? "" : s.c_str();
}

// The criteria a file node has, among the selected ones.
unsigned long FileCriteria(CCVSVInfTree const* n, unsigned long selected, CString const& pattern)
{
    char const* options = Text(n->mOptions);
    struct {
        unsigned long bit;
        bool has;
    } const table[] = {
        {CCVSVInfFilter::kModified, n->IsModified()},
        {CCVSVInfFilter::kConflict, !n->mConflict.Empty()},
        {CCVSVInfFilter::kNotInCVS, !n->InCVS()},
        {CCVSVInfFilter::kLost, n->mLost != 0 && n->InCVS()},
        {CCVSVInfFilter::kHasLog, n->Spec(kSpecLog) != nullptr},
        {CCVSVInfFilter::kHasDiff, n->Spec(kSpecDiff) != nullptr},
        {CCVSVInfFilter::kDataFork, n->mStorage == kStorageDataFork},
        {CCVSVInfFilter::kAppleSingle, n->mStorage == kStorageAppleSingle},
        {CCVSVInfFilter::kRBL, n->mStorage == kStorageRBL},
        {CCVSVInfFilter::kKeywordDefault, options[0] == 0},
        {CCVSVInfFilter::kKeywordV, std::strcmp(options, "-kv") == 0},
        {CCVSVInfFilter::kKeywordK, std::strcmp(options, "-kk") == 0},
        {CCVSVInfFilter::kKeywordO, std::strcmp(options, "-ko") == 0},
        {CCVSVInfFilter::kKeywordKV, std::strcmp(options, "-kkv") == 0},
        {CCVSVInfFilter::kKeywordKVL, std::strcmp(options, "-kkvl") == 0},
        {CCVSVInfFilter::kKeywordB, std::strcmp(options, "-kb") == 0},
        {CCVSVInfFilter::kAdded, n->mRevision == "0"},
        {CCVSVInfFilter::kRemoved, n->mRevision[0] == '-'},
        {CCVSVInfFilter::kHasAnnotation, n->Spec(kSpecAnnotate) != nullptr},
        {CCVSVInfFilter::kEditing, !n->mBaseRevision.Empty()},
        {CCVSVInfFilter::kEditedByOthers, n->EditedByOthers()},
        {CCVSVInfFilter::kWatchedByMe, n->Watched(true)},
        {CCVSVInfFilter::kWatchedByOthers, n->Watched(false)},
        {CCVSVInfFilter::kNeedsUpdate, n->mNeedsUpdate != 0},
    };
    unsigned long b = 0;
    for (auto const& row : table)
        if ((selected & row.bit) && row.has)
            b |= row.bit;
    if ((selected & CCVSVInfFilter::kPattern) && fw::fnmatch(Text(pattern), Text(n->mName), 0) == 0)
        b |= CCVSVInfFilter::kPattern;
    return b;
}

} // namespace

bool CCVSVInfFilter::FilterNode(CCVSVInfTree const* node) const
{
    if (mMode == kModeOff || !node)
        return true;
    unsigned long b;
    if (node->IsDir()) {
        b = mCriteria & kFolders;
        if ((mCriteria & kNotInCVS) && !node->InCVS())
            b |= kNotInCVS;
    } else {
        b = FileCriteria(node, mCriteria, mPattern);
    }
    const bool match = mCombination == kCombineAnd ? b == mCriteria : b != 0;
    if (mMode == kModeShow)
        return match;
    if (mMode == kModeHide)
        return !match;
    return true;
}

CString CCVSVInfFilter::ToString() const
{
    char head[48];
    std::snprintf(head, sizeof head, "%08lx,%08lx,%08lx,%08lx,", sCVSVInfFilterVersion & 0xFFFFFFFFul,
                  mMode & 0xFFFFFFFFul, mCriteria & 0xFFFFFFFFul, mCombination & 0xFFFFFFFFul);
    CString s(head);
    s += Text(mPattern);
    return s;
}

bool CCVSVInfFilter::FromString(char const* text)
{
    if (!text)
        return false;
    unsigned long parts[4];
    char const* p = text;
    for (unsigned long& part : parts) {
        char const* comma = std::strchr(p, ',');
        if (!comma)
            return false;
        part = std::strtoul(CString(p, static_cast<int>(comma - p)).c_str(), nullptr, 16);
        p = comma + 1;
    }
    // parts[0] is the version; there is only one so far.
    mMode = parts[1];
    mCriteria = parts[2];
    mCombination = parts[3];
    mPattern = p;
    return true;
}
