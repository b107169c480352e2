// One line of the check list shown before an add or an import: what the
// translators and filters will do with an item, and whether that loses data.
#pragma once

#include <string>

#include "foundation/CString.h"
#include "platform/MacFiles.h"

// Why an item is not added.
enum : unsigned char {
    kFTSkipNone = 0,          // it will be added
    kFTSkipFiltered = 1,      // excluded by the filters or translators
    kFTSkipReservedName = 2,
    kFTSkipBadName = 3,       // non-ASCII characters or a "/"
    kFTSkipSandbox = 4        // a folder that holds an item named "CVS"
};

// The views of the check list.
enum : short {
    kFTViewAll = 1,
    kFTViewFolders = 2,
    kFTViewDanger = 3,
    kFTViewSkipped = 4,
    kFTViewAdded = 5
};

class CFileTyperTestEntry {
public:
    CFileTyperTestEntry() = default;
    CFileTyperTestEntry(FSSpec const& location, CString const& name, unsigned long rsrcSize, unsigned long dataSize,
                        unsigned long type, unsigned long creator, unsigned char storage, unsigned char keyword,
                        bool isFolder, unsigned char skip);

    bool BinDataCorrupted() const;
    bool DataForkDiscarded() const;
    bool ResourceForkDiscarded() const;
    bool Danger() const;
    bool MatchesFilter(short which) const;
    // The item on disk.
    void FileFSSpec(FSSpec& spec) const { spec = mLocation; }

    // The two comment lines the check list shows for the selected entry
    // (the second may be empty). Mac Roman.
    std::string CommentLine1() const;
    std::string CommentLine2() const;

    FSSpec mLocation;
    CString mName;
    unsigned long mRsrcSize = 0;
    unsigned long mDataSize = 0;
    unsigned long mType = 0;
    unsigned long mCreator = 0;
    unsigned char mStorage = 0;
    unsigned char mKeyword = 0;
    bool mIsFolder = false;
    unsigned char mSkip = kFTSkipNone;

    // Whether sorted lists of entries compare names with regard to case (the
    // application's case-sensitive file list preference).
    static bool sCaseSensitive;
};

int parr_compare(CFileTyperTestEntry& a, CFileTyperTestEntry& b);
