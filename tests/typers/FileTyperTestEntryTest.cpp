#include <gtest/gtest.h>

#include "foundation/TPtrArray.h"
#include "platform/MacTypes.h"
#include "typers/FileTyper.h"
#include "typers/FileTyperTestEntry.h"

namespace {

CFileTyperTestEntry File(unsigned long type, unsigned char storage, unsigned char keyword, unsigned long data,
                         unsigned long rsrc, unsigned char skip = kFTSkipNone) {
    return CFileTyperTestEntry(FSSpec(), CString("f"), rsrc, data, type, FourCC("ABCD"), storage, keyword,
                               false, skip);
}

TEST(FileTyperTestEntry, DangerRules) {
    const unsigned long TEXT = FourCC("TEXT"), APPL = FourCC("APPL");
    struct {
        char const* what;
        CFileTyperTestEntry e;
        bool bin, data, rsrc;
    } const cases[] = {
        {"binary type sent as text", File(APPL, kSFDataFork, kKWDefault, 10, 0), true, false, false},
        {"binary type with -kb", File(APPL, kSFDataFork, kKWBinary, 10, 0), false, false, false},
        {"binary type as AppleSingle without -kb", File(APPL, kSFAppleSingle, kKWDefault, 10, 5), true, false, false},
        {"type 0 as text", File(0, kSFDataFork, kKWDefault, 10, 0), false, false, false},
        {"TEXT as RBL with an empty data fork", File(TEXT, kSFResByLine, kKWDefault, 0, 5), false, true, false},
        {"data fork stored as RBL", File(APPL, kSFResByLine, kKWDefault, 3, 5), false, true, false},
        {"TEXT with a resource fork as data fork", File(TEXT, kSFDataFork, kKWDefault, 3, 5), false, false, false},
        {"resource fork dropped", File(0, kSFDataFork, kKWBinary, 3, 5), false, false, true},
        {"skipped files are never in danger", File(APPL, kSFDataFork, kKWDefault, 3, 5, kFTSkipFiltered), false,
         false, false},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.e.BinDataCorrupted(), c.bin);
        EXPECT_EQ(c.e.DataForkDiscarded(), c.data);
        EXPECT_EQ(c.e.ResourceForkDiscarded(), c.rsrc);
        EXPECT_EQ(c.e.Danger(), c.bin || c.data || c.rsrc);
        EXPECT_EQ(c.e.MatchesFilter(kFTViewDanger), c.e.Danger());
    }
    CFileTyperTestEntry sandbox(FSSpec(), CString("d"), 0, 0, 0, 0, 0, 0, true, kFTSkipSandbox);
    EXPECT_TRUE(sandbox.Danger());
    EXPECT_TRUE(sandbox.MatchesFilter(kFTViewFolders));
    EXPECT_TRUE(sandbox.MatchesFilter(kFTViewSkipped));
    EXPECT_FALSE(sandbox.MatchesFilter(kFTViewAdded));
    EXPECT_TRUE(sandbox.MatchesFilter(kFTViewAll));

    FSSpec where;
    where.parID = 77;
    CFileTyperTestEntry located(where, CString("f"), 0, 0, 0, 0, 0, 0, false, 0);
    FSSpec back;
    located.FileFSSpec(back);
    EXPECT_EQ(back.parID, 77);
}

TEST(FileTyperTestEntry, Comments) {
    EXPECT_EQ(File(0, kSFDataFork, kKWBinary, 10, 5).CommentLine1(),
              "File by creator 'ABCD' of type '*' [sizes: D = 10, R = 5].");
    EXPECT_EQ(File(0, kSFDataFork, kKWBinary, 10, 0).CommentLine1(),
              "File by creator 'ABCD' of type '*' [size: D = 10].");
    EXPECT_EQ(File(0, kSFDataFork, kKWBinary, 0, 0).CommentLine1(), "File by creator 'ABCD' of type '*' [empty file].");
    EXPECT_EQ(File(0, kSFDataFork, kKWBinary, 0, 0).CommentLine2(), "");
    EXPECT_EQ(File(FourCC("TEXT"), kSFResByLine, 0, 1, 0).CommentLine2(),
              "Adding this file to the repository will loose its data fork. Please check storage format setting in "
              "the Filters/Translators.");
    CFileTyperTestEntry folder(FSSpec(), CString("d"), 0, 0, 0, 0, 0, 0, true, kFTSkipFiltered);
    EXPECT_EQ(folder.CommentLine1(), "This item is a folder.");
    EXPECT_EQ(folder.CommentLine2(),
              "According to the current Filters/Translators settings, this folder will not be added to the repository.");
}

TEST(FileTyperTestEntry, SortingFollowsTheCasePreference) {
    for (bool caseSensitive : {true, false}) {
        CFileTyperTestEntry::sCaseSensitive = caseSensitive;
        TPtrArray<CFileTyperTestEntry> list(kPArrOwning | kPArrSorted);
        for (char const* n : {"b", "B", "a"})
            list.insert(new CFileTyperTestEntry(FSSpec(), CString(n), 0, 0, 0, 0, 0, 0, false, 0));
        if (caseSensitive) {
            EXPECT_STREQ(list[0]->mName.c_str(), "B");
            EXPECT_STREQ(list[1]->mName.c_str(), "a");
        } else {
            EXPECT_STREQ(list[0]->mName.c_str(), "a");
        }
    }
    CFileTyperTestEntry::sCaseSensitive = true;
}

}  // namespace
