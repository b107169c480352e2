// Trash, delete, copy and move of whole items, with the user's answers scripted.
#include "FsFixture.h"

#include "filesystem/FSItemOperations.h"
#include "filesystem/FreedesktopTrash.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace fstest;

namespace {

class ItemOperations : public FsFixture {
protected:
    void SetUp() override {
        FsFixture::SetUp();
        Save("HOME", mOldHome);
        Save("XDG_DATA_HOME", mOldData);
        setenv("HOME", mHome.path().c_str(), 1);
        setenv("XDG_DATA_HOME", (mHome / "data").c_str(), 1);
    }
    void TearDown() override {
        Restore("HOME", mOldHome);
        Restore("XDG_DATA_HOME", mOldData);
        FsFixture::TearDown();
    }
    static void Save(char const* name, std::pair<bool, std::string>& slot) {
        char const* v = getenv(name);
        slot = {v != nullptr, v ? v : ""};
    }
    static void Restore(char const* name, std::pair<bool, std::string> const& slot) {
        if (slot.first)
            setenv(name, slot.second.c_str(), 1);
        else
            unsetenv(name);
    }
    std::string TrashFiles() const { return mHome / "data/Trash/files"; }
    std::string TrashList() const {
        return RunShell("HOME=" + Quote(mHome.path()) + " XDG_DATA_HOME=" + Quote(mHome / "data") + " trash-list 2>&1");
    }
    // The location of a folder as the operations take it: its own location.
    FSSpec Folder(std::string const& rel) {
        FSSpec spec;
        EXPECT_EQ(noErr, GetDirLocation(DirID(rel), &spec)) << rel;
        return spec;
    }

    ScratchDir mHome;
    CScriptedAlertSink mAlerts{2};
    StAlertSink mSink{&mAlerts};
    std::pair<bool, std::string> mOldHome, mOldData;
};

TEST_F(ItemOperations, TrashFileKeepsSidecarAndRenamesTheOlderItem) {
    WriteMacFile("doc", "first", "first fork");
    ASSERT_EQ(noErr, TrashFile(Spec("doc")));
    WriteMacFile("doc", "second", "second fork");
    ASSERT_EQ(noErr, TrashFile(Spec("doc")));
    EXPECT_TRUE(Names("").empty());

    EXPECT_EQ("second", ReadFile(TrashFiles() + "/doc"));
    EXPECT_EQ("first", ReadFile(TrashFiles() + "/doc 2"));
    EXPECT_TRUE(Exists(TrashFiles() + "/._doc"));
    EXPECT_TRUE(Exists(TrashFiles() + "/._doc 2"));
    // The sidecar still belongs to its file inside the trash.
    FSSpec older;
    ASSERT_EQ(noErr, FSMakeFSSpecFromPath(TrashFiles() + "/doc 2", &older));
    std::vector<uint8_t> fork;
    ASSERT_EQ(noErr, FSpReadFork(older, true, fork));
    EXPECT_EQ("first fork", std::string(fork.begin(), fork.end()));

    std::string list = TrashList();
    EXPECT_NE(std::string::npos, list.find(" " + (mRoot / "doc") + "\n")) << list;
    EXPECT_NE(std::string::npos, list.find(" " + (mRoot / "._doc") + "\n")) << list;

    // Restoring from the desktop brings back the file with its resource fork.
    int rc = 0;
    RunShell("cd " + Quote(mRoot.path()) + " && echo 0 | HOME=" + Quote(mHome.path()) + " XDG_DATA_HOME=" +
                 Quote(mHome / "data") + " trash-restore " + Quote(mRoot / "._doc") + " >/dev/null 2>&1 && " +
                 "echo 0 | HOME=" + Quote(mHome.path()) + " XDG_DATA_HOME=" + Quote(mHome / "data") +
                 " trash-restore " + Quote(mRoot / "doc") + " >/dev/null 2>&1",
             &rc);
    EXPECT_EQ(0, rc);
    EXPECT_EQ(2u, Names("").size());
    EXPECT_EQ("second fork", ReadRsrc("doc"));
    EXPECT_EQ(fnfErr, TrashFile(Spec("missing")));
}

TEST_F(ItemOperations, LinksToOutsideFoldersAreTrashedAndDeletedAsLinks) {
    ScratchDir outside;
    ASSERT_TRUE(WriteFile(outside / "keep", "precious"));
    ASSERT_EQ(0, symlink(outside.path().c_str(), (mRoot / "tlink").c_str()));
    EXPECT_EQ(noErr, TrashFile(Spec("tlink")));
    struct stat st;
    ASSERT_EQ(0, lstat((TrashFiles() + "/tlink").c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    MakeDir("tree");
    MakeDir("tree/sub");
    ASSERT_EQ(0, symlink(outside.path().c_str(), (mRoot / "tree/sub/dlink").c_str()));
    ASSERT_EQ(0, symlink(outside.path().c_str(), (mRoot / "dlink").c_str()));
    EXPECT_EQ(noErr, RecursivelyDeleteItem(Spec("tree")));
    EXPECT_EQ(noErr, RecursivelyDeleteItem(Spec("dlink")));
    EXPECT_TRUE(Names("").empty());
    EXPECT_EQ("precious", ReadFile(outside / "keep"));
}

TEST_F(ItemOperations, RecursiveDeleteEmptiesEverything) {
    MakeDir("top");
    MakeDir("top/a");
    MakeDir("top/a/b");
    WriteMacFile("top/a/b/locked", "x", "fork");
    ASSERT_EQ(noErr, FSpSetFLock(Spec("top/a/b/locked")));
    Write("top/plain", "p");
    Write("top/a/._orphan", "left over");
    ASSERT_EQ(0, mkfifo((mRoot / "top/a/fifo").c_str(), 0600));
    ASSERT_EQ(0, chmod((mRoot / "top/a/b").c_str(), 0500));

    EXPECT_EQ(noErr, RecursivelyDeleteItem(Spec("top")));
    EXPECT_TRUE(Names("").empty());

    WriteMacFile("single", "x", "fork");
    ASSERT_EQ(noErr, FSpSetFLock(Spec("single")));
    EXPECT_EQ(noErr, RecursivelyDeleteItem(Spec("single")));
    EXPECT_TRUE(Names("").empty());
    EXPECT_EQ(fnfErr, RecursivelyDeleteItem(Spec("single")));
}

// A lookup of a missing item gives the location of its folder with an empty name;
// handing that on must never act on the folder.
TEST_F(ItemOperations, EmptyNameNeverStandsForTheFolder) {
    MakeDir("keep");
    Write("keep/f", "f");
    FSSpec missing;
    ASSERT_EQ(fnfErr, MakeLongFSSpec(mVRefNum, DirID("keep"), CString("gone"), missing));
    EXPECT_EQ("", FSpName(missing));
    EXPECT_EQ(paramErr, RecursivelyDeleteItem(missing));
    EXPECT_EQ(paramErr, TrashFile(missing));
    EXPECT_EQ("f", ReadFile(mRoot / "keep/f"));
}

TEST_F(ItemOperations, RecursiveDeleteStopsAtTheFirstFailure) {
    // A name the program cannot spell keeps its folder from being emptied.
    MakeDir("top");
    MakeDir("top/sub");
    Write("top/sub/e\xCC\x81", "nfd");
    Write("top/f", "f");
    EXPECT_EQ(fBsyErr, RecursivelyDeleteItem(Spec("top")));
    EXPECT_FALSE(Exists(mRoot / "top/f"));
    EXPECT_TRUE(Exists(mRoot / "top/sub/e\xCC\x81"));
}

TEST_F(ItemOperations, OverwriteQuestionDecidesPerItem) {
    MakeDir("from");
    MakeDir("to");
    Write("from/f", "new");
    Write("to/f", "old");
    FSSpec to = Folder("to");

    struct Case {
        short answer;
        short result;
        char const* content;
    } const cases[] = {{3, kItemStop, "old"}, {2, kItemFailed, "old"}, {1, kItemDone, "new"}};
    for (auto const& c : cases) {
        mAlerts.Answer(c.answer);
        mAlerts.Forget();
        EXPECT_EQ(c.result, CopyFile(Spec("from/f"), to)) << c.answer;
        EXPECT_EQ(c.content, ReadFile(mRoot / "to/f")) << c.answer;
        ASSERT_EQ(1u, mAlerts.Shown().size());
        EXPECT_EQ(kAlertThreeWay, mAlerts.Shown()[0].first);
        EXPECT_NE(std::string::npos, mAlerts.Shown()[0].second.find("already exists in target folder")) << mAlerts.Shown()[0].second;
    }
    // The replaced file went to the trash, not away.
    EXPECT_EQ("old", ReadFile(TrashFiles() + "/f"));

    // An item dropped on its own folder: nothing to do, nothing asked.
    mAlerts.Forget();
    EXPECT_EQ(kItemFailed, CopyOrMoveItem(Spec("to/f"), to, 0));
    EXPECT_TRUE(mAlerts.Shown().empty());
}

TEST_F(ItemOperations, CopyFolderCopiesTheWholeTreeWithoutFollowingLinks) {
    ScratchDir outside;
    ASSERT_TRUE(WriteFile(outside / "big", "outside"));
    MakeDir("src");
    MakeDir("src/sub");
    MakeDir("dst");
    WriteMacFile("src/mac", "data", "fork");
    Write("src/sub/plain", "plain");
    ASSERT_EQ(0, symlink(outside.path().c_str(), (mRoot / "src/sub/link").c_str()));

    EXPECT_EQ(kItemDone, CopyItem(Folder("src"), Folder("dst")));
    EXPECT_EQ("data", ReadFile(mRoot / "dst/src/mac"));
    EXPECT_EQ("fork", ReadRsrc("dst/src/mac"));
    EXPECT_EQ("plain", ReadFile(mRoot / "dst/src/sub/plain"));
    char target[4096] = {0};
    ASSERT_GT(readlink((mRoot / "dst/src/sub/link").c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(outside.path(), std::string(target));
    EXPECT_EQ((std::set<std::string>{"plain", "link"}), Names("dst/src/sub"));
    EXPECT_TRUE(Exists(mRoot / "src/mac"));  // a copy leaves the source alone

    // Items that could not be copied make the whole copy report failure.
    Write("src/e\xCC\x81", "nfd");
    EXPECT_EQ(kItemFailed, CopyItem(Folder("src"), Folder("dst")));  // in the way: answer 2
    mAlerts.Answer(1);
    EXPECT_EQ(kItemFailed, CopyItem(Folder("src"), Folder("dst")));
    EXPECT_EQ("plain", ReadFile(mRoot / "dst/src/sub/plain"));

    // Stop leaves what is in the way as it is.
    mAlerts.Answer(3);
    EXPECT_EQ(kItemStop, CopyItem(Folder("src"), Folder("dst")));
    EXPECT_EQ("plain", ReadFile(mRoot / "dst/src/sub/plain"));
}

TEST_F(ItemOperations, FoldersNeverGoIntoThemselves) {
    MakeDir("a");
    MakeDir("a/sub");
    Write("a/f", "f");
    EXPECT_EQ(kItemFailed, CopyItem(Folder("a"), Folder("a/sub")));
    EXPECT_EQ(kItemFailed, CopyItem(Folder("a"), Folder("a")));
    EXPECT_TRUE(Names("a/sub").empty());
    EXPECT_EQ(kItemFailed, CopyOrMoveItem(Folder("a"), Folder("a/sub"), 0));
    ASSERT_EQ(3u, mAlerts.Shown().size());
    EXPECT_EQ(kAlertStop, mAlerts.Shown()[0].first);
    EXPECT_NE(std::string::npos, mAlerts.Shown()[0].second.find("Can not copy folder \xD2" "a\xD3 into itself."));
    EXPECT_NE(std::string::npos, mAlerts.Shown()[2].second.find("Can not move folder \xD2" "a\xD3 into itself."));
    EXPECT_EQ((std::set<std::string>{"a"}), Names(""));
}

TEST_F(ItemOperations, AMoveIntoItselfTrashesNothingInTheWay) {
    MakeDir("a");
    MakeDir("a/sub");
    MakeDir("a/sub/a");
    Write("a/sub/a/keep", "keep");
    mAlerts.Answer(1);  // would replace what is in the way
    EXPECT_EQ(kItemFailed, MoveItem(Folder("a"), Folder("a/sub")));
    ASSERT_EQ(1u, mAlerts.Shown().size());
    EXPECT_EQ(kAlertStop, mAlerts.Shown()[0].first);
    EXPECT_NE(std::string::npos, mAlerts.Shown()[0].second.find("Can not move folder \xD2" "a\xD3 into itself."));
    EXPECT_EQ("keep", ReadFile(mRoot / "a/sub/a/keep"));
}

TEST_F(ItemOperations, MoveOnOneVolumeCopyAcrossVolumes) {
    MakeDir("dst");
    WriteMacFile("m", "move me", "fork");
    EXPECT_EQ(kItemDone, CopyOrMoveItem(Spec("m"), Folder("dst"), 0));
    EXPECT_FALSE(Exists(mRoot / "m"));
    EXPECT_EQ("fork", ReadRsrc("dst/m"));

    struct stat shm, here;
    if (stat("/dev/shm", &shm) != 0 || stat(mRoot.path().c_str(), &here) != 0 || shm.st_dev == here.st_dev)
        GTEST_SKIP() << "no second file system";
    ScratchDir other("/dev/shm");
    ASSERT_TRUE(WriteFile(other / "far", "far away"));
    FSSpec far;
    ASSERT_EQ(noErr, FSMakeFSSpecFromPath(other / "far", &far));
    EXPECT_EQ(kItemDone, CopyOrMoveItem(far, Folder("dst"), 0));
    EXPECT_EQ("far away", ReadFile(mRoot / "dst/far"));
    EXPECT_TRUE(Exists(other / "far"));
}

}  // namespace
