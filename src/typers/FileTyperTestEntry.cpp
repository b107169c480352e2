#include "typers/FileTyperTestEntry.h"

#include <cstring>

#include "foundation/Log.h"
#include "foundation/TextUtils.h"
#include "platform/MacTypes.h"
#include "typers/FileTyper.h"

bool CFileTyperTestEntry::sCaseSensitive = true;

CFileTyperTestEntry::CFileTyperTestEntry(FSSpec const& location, CString const& name, unsigned long rsrcSize,
                                         unsigned long dataSize, unsigned long type, unsigned long creator,
                                         unsigned char storage, unsigned char keyword, bool isFolder,
                                         unsigned char skip)
    : mLocation(location), mName(name), mRsrcSize(rsrcSize), mDataSize(dataSize), mType(type), mCreator(creator),
      mStorage(storage), mKeyword(keyword), mIsFolder(isFolder), mSkip(skip) {}

bool CFileTyperTestEntry::BinDataCorrupted() const {
    return !mIsFolder && mSkip == kFTSkipNone && mType != 0 && mType != FourCC("TEXT") && mStorage != kSFResByLine &&
           mKeyword != kKWBinary;
}

bool CFileTyperTestEntry::DataForkDiscarded() const {
    return !mIsFolder && mSkip == kFTSkipNone && mStorage == kSFResByLine &&
           (mType == FourCC("TEXT") || mDataSize != 0);
}

bool CFileTyperTestEntry::ResourceForkDiscarded() const {
    return !mIsFolder && mSkip == kFTSkipNone && mType != FourCC("TEXT") && mStorage == kSFDataFork && mRsrcSize != 0;
}

bool CFileTyperTestEntry::Danger() const {
    return BinDataCorrupted() || DataForkDiscarded() || ResourceForkDiscarded() || mSkip == kFTSkipSandbox;
}

bool CFileTyperTestEntry::MatchesFilter(short which) const {
    switch (which) {
        case kFTViewAll: return true;
        case kFTViewFolders: return mIsFolder;
        case kFTViewDanger: return Danger();
        case kFTViewSkipped: return mSkip != kFTSkipNone;
        case kFTViewAdded: return mSkip == kFTSkipNone;
        default: return false;
    }
}

std::string CFileTyperTestEntry::CommentLine1() const {
    if (mIsFolder) return "This item is a folder.";
    char sizes[80];
    if (mDataSize && mRsrcSize)
        FormatBoundedF(sizes, sizeof sizes, "sizes: D = %ld, R = %ld", long(mDataSize), long(mRsrcSize));
    else if (mDataSize)
        FormatBoundedF(sizes, sizeof sizes, "size: D = %ld", long(mDataSize));
    else if (mRsrcSize)
        FormatBoundedF(sizes, sizeof sizes, "size: R = %ld", long(mRsrcSize));
    else
        std::strcpy(sizes, "empty file");
    char out[256];
    FormatBoundedF(out, sizeof out, "File by creator '%s' of type '%s' [%s].",
                   OSTypeAsString(mCreator, false).c_str(), OSTypeAsString(mType, false).c_str(), sizes);
    return out;
}

std::string CFileTyperTestEntry::CommentLine2() const {
    if (BinDataCorrupted())
        return "Adding this file to the repository is very likely to corrupt its binary data contents. Please check "
               "storage format and keyword substitution settings in the Filters/Translators.";
    if (DataForkDiscarded())
        return "Adding this file to the repository will loose its data fork. Please check storage format setting in "
               "the Filters/Translators.";
    if (ResourceForkDiscarded())
        return "Adding this file to the repository will loose its resource fork. Please check storage format setting "
               "in the Filters/Translators.";
    switch (mSkip) {
        case kFTSkipSandbox:
            return "It contains an item named \xD2" "CVS\xD3 and seems to be checked out from a CVS repository. It "
                   "can't be added again.";
        case kFTSkipBadName:
            return "The selected file's name has non-ASCII characters or a '/' in it. Therefore the file cannot be "
                   "added to the repository.";
        case kFTSkipReservedName:
            return "The selected file has got a reserved name. It cannot be added to the repository.";
        case kFTSkipFiltered:
            return std::string("According to the current Filters/Translators settings, this ") +
                   (mIsFolder ? "folder" : "file") + " will not be added to the repository.";
        default: return std::string();
    }
}

int parr_compare(CFileTyperTestEntry& a, CFileTyperTestEntry& b) {
    char const* x = a.mName.IsNull() ? "" : a.mName.c_str();
    char const* y = b.mName.IsNull() ? "" : b.mName.c_str();
    return CFileTyperTestEntry::sCaseSensitive ? std::strcmp(x, y) : StrCmpNoCase(x, y);
}
