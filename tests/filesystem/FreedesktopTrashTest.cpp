// The desktop trash on plain paths, checked with trash-cli as the desktop's reader.
#include "filesystem/FreedesktopTrash.h"

#include "FsTestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace fstest;

namespace {

class TrashFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(mHome.path().empty());
        ASSERT_FALSE(mWork.path().empty());
        Save("HOME", mOldHome);
        Save("XDG_DATA_HOME", mOldData);
        setenv("HOME", mHome.path().c_str(), 1);
        setenv("XDG_DATA_HOME", (mHome / "data").c_str(), 1);
    }
    void TearDown() override {
        Restore("HOME", mOldHome);
        Restore("XDG_DATA_HOME", mOldData);
    }
    static void Save(const char* name, std::pair<bool, std::string>& slot) {
        const char* v = getenv(name);
        slot = {v != nullptr, v ? v : ""};
    }
    static void Restore(const char* name, const std::pair<bool, std::string>& slot) {
        if (slot.first)
            setenv(name, slot.second.c_str(), 1);
        else
            unsetenv(name);
    }
    std::string Env() const {
        return "HOME=" + Quote(mHome.path()) + " XDG_DATA_HOME=" + Quote(mHome / "data") + " ";
    }
    std::string TrashList() const { return RunShell(Env() + "trash-list 2>&1"); }
    std::string Trash() const { return mHome / "data/Trash"; }

    ScratchDir mHome;
    ScratchDir mWork;
    std::pair<bool, std::string> mOldHome, mOldData;
};

TEST_F(TrashFixture, ItemAndSidecarAppearInDesktopTrashAndRestore) {
    const std::string item = mWork / "Read me é.txt";
    ASSERT_TRUE(WriteFile(item, "data"));
    ASSERT_TRUE(WriteFile(mWork / "._Read me é.txt", "sidecar"));

    std::string entry;
    ASSERT_EQ(0, FreedesktopTrash::MoveToTrash(item, mWork / "._Read me é.txt", &entry));
    EXPECT_EQ("Read me é.txt", entry);
    EXPECT_FALSE(Exists(item));
    EXPECT_FALSE(Exists(mWork / "._Read me é.txt"));

    const std::string info = ReadFile(Trash() + "/info/Read me é.txt.trashinfo");
    EXPECT_NE(std::string::npos, info.find("[Trash Info]\nPath=" + FreedesktopTrash::EncodePath(item) + "\n"));
    EXPECT_NE(std::string::npos, info.find("%20me%20%C3%A9.txt"));

    const std::string list = TrashList();
    EXPECT_NE(std::string::npos, list.find(" " + item + "\n")) << list;
    EXPECT_NE(std::string::npos, list.find(" " + mWork.path() + "/._Read me é.txt\n")) << list;

    int rc = 0;
    RunShell("cd " + Quote(mWork.path()) + " && echo 0 | " + Env() + "trash-restore " + Quote(item) + " >/dev/null 2>&1", &rc);
    EXPECT_EQ(0, rc);
    RunShell("cd " + Quote(mWork.path()) + " && echo 0 | " + Env() + "trash-restore " + Quote(mWork / "._Read me é.txt") + " >/dev/null 2>&1", &rc);
    EXPECT_EQ("data", ReadFile(item));
    EXPECT_EQ("sidecar", ReadFile(mWork / "._Read me é.txt"));
    EXPECT_EQ(std::string::npos, TrashList().find(item));
}

TEST_F(TrashFixture, OlderItemOfSameNameIsRenamedWithItsSidecar) {
    const std::string item = mWork / "a.c";
    ASSERT_TRUE(WriteFile(item, "first"));
    ASSERT_TRUE(WriteFile(mWork / "._a.c", "first sidecar"));
    ASSERT_EQ(0, FreedesktopTrash::MoveToTrash(item, mWork / "._a.c"));
    ASSERT_TRUE(WriteFile(item, "second"));
    ASSERT_EQ(0, FreedesktopTrash::MoveToTrash(item, mWork / "._a.c"));  // no sidecar this time
    ASSERT_TRUE(WriteFile(item, "third"));
    ASSERT_EQ(0, FreedesktopTrash::MoveToTrash(item, std::string()));

    // Newest keeps the name; the older ones moved to "a.c 2" and "a.c 3" in turn.
    EXPECT_EQ("third", ReadFile(Trash() + "/files/a.c"));
    EXPECT_EQ("second", ReadFile(Trash() + "/files/a.c 3"));
    EXPECT_EQ("first", ReadFile(Trash() + "/files/a.c 2"));
    EXPECT_EQ("first sidecar", ReadFile(Trash() + "/files/._a.c 2"));
    EXPECT_FALSE(Exists(Trash() + "/files/._a.c"));
    for (const char* n : {"a.c", "a.c 2", "a.c 3", "._a.c 2"})
        EXPECT_TRUE(Exists(Trash() + "/info/" + n + ".trashinfo")) << n;
    EXPECT_FALSE(Exists(Trash() + "/info/._a.c.trashinfo"));

    // The desktop still sees every entry with its original path.
    const std::string list = TrashList();
    size_t count = 0;
    for (size_t pos = 0; (pos = list.find(" " + item + "\n", pos)) != std::string::npos; ++pos)
        ++count;
    EXPECT_EQ(3u, count) << list;
}

TEST_F(TrashFixture, SymbolicLinkIsTrashedAsLinkAndItsTargetSurvives) {
    ScratchDir outside;
    ASSERT_TRUE(WriteFile(outside / "keep.txt", "precious"));
    const std::string link = mWork / "link";
    ASSERT_EQ(0, symlink(outside.path().c_str(), link.c_str()));

    ASSERT_EQ(0, FreedesktopTrash::MoveToTrash(link, std::string()));
    struct stat st;
    ASSERT_EQ(0, lstat((Trash() + "/files/link").c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ("precious", ReadFile(outside / "keep.txt"));
}

TEST_F(TrashFixture, FailuresLeaveEverythingInPlace) {
    // A missing item, and a trash whose files/ is not ours to use.
    EXPECT_EQ(ENOENT, FreedesktopTrash::MoveToTrash(mWork / "missing", std::string()));
    ASSERT_TRUE(WriteFile(mWork / "x", "x"));
    ASSERT_EQ(0, system(("mkdir -p " + Quote(Trash()) + " && ln -s /tmp " + Quote(Trash() + "/files")).c_str()));
    EXPECT_NE(0, FreedesktopTrash::MoveToTrash(mWork / "x", std::string()));
    EXPECT_EQ("x", ReadFile(mWork / "x"));
}

TEST(TrashNames, CandidatesAndCuts) {
    EXPECT_EQ("a.c", FreedesktopTrash::CandidateName("a.c", 1));
    EXPECT_EQ("a.c 2", FreedesktopTrash::CandidateName("a.c", 2));
    const std::string longName(300, 'x');
    EXPECT_EQ(243u, FreedesktopTrash::EntryNameFor(longName).size());
    EXPECT_EQ(243u, FreedesktopTrash::CandidateName(FreedesktopTrash::EntryNameFor(longName), 10).size());
    // Never split a UTF-8 character.
    std::string accents;
    for (int i = 0; i < 130; ++i)
        accents += "é";
    std::string cut = FreedesktopTrash::EntryNameFor(accents);
    EXPECT_EQ(242u, cut.size());
    EXPECT_EQ("/x/%252Fa%20b%25/c~", FreedesktopTrash::EncodePath("/x/%2Fa b%/c~"));
}

// An item on another mount goes to that mount's own trash, with a relative path.
TEST_F(TrashFixture, ItemOnOtherMountUsesTopDirectoryTrash) {
    struct stat shm, home;
    if (stat("/dev/shm", &shm) != 0 || stat(mHome.path().c_str(), &home) != 0 || shm.st_dev == home.st_dev ||
        access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no second writable file system";
    const std::string uid = std::to_string(geteuid());
    const std::string topTrash = "/dev/shm/.Trash-" + uid;
    const bool hadTrash = Exists(topTrash);
    ScratchDir other("/dev/shm");
    ASSERT_TRUE(WriteFile(other / "f", "on shm"));
    std::string entry;
    ASSERT_EQ(0, FreedesktopTrash::MoveToTrash(other / "f", std::string(), &entry));
    FreedesktopTrash::Location loc;
    ASSERT_TRUE(WriteFile(other / "g", ""));
    ASSERT_EQ(0, FreedesktopTrash::Locate(other / "g", loc));
    EXPECT_EQ(topTrash, loc.dir);
    EXPECT_EQ("/dev/shm", loc.topdir);
    const std::string info = ReadFile(topTrash + "/info/" + entry + ".trashinfo");
    const std::string rel = other.path().substr(std::string("/dev/shm/").size()) + "/f";
    EXPECT_NE(std::string::npos, info.find("Path=" + FreedesktopTrash::EncodePath(rel) + "\n")) << info;
    EXPECT_EQ("on shm", ReadFile(topTrash + "/files/" + entry));
    unlink((topTrash + "/files/" + entry).c_str());
    unlink((topTrash + "/info/" + entry + ".trashinfo").c_str());
    if (!hadTrash) {  // only what is empty: another run may be using it
        rmdir((topTrash + "/files").c_str());
        rmdir((topTrash + "/info").c_str());
        rmdir(topTrash.c_str());
    }
}

}  // namespace
