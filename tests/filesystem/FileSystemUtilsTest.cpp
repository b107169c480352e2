// Locations, folder iteration, unique names, paths, permissions and fork copies
// on real files with their sidecars.
#include "FsFixture.h"

#include "filesystem/CFileClosers.h"
#include "filesystem/CFileSystemUtils.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace fstest;

namespace {

class FileSystemUtils : public FsFixture {};

TEST_F(FileSystemUtils, OpenPathCreatesFoldersOnTheWay) {
    FSSpec out;
    EXPECT_EQ(fnfErr, OpenPath(mVRefNum, mDirID, "././a/b/c.txt", &out));
    struct stat st;
    ASSERT_EQ(0, lstat((mRoot / "a/b").c_str(), &st));
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    // The result names folder b itself (empty name) for the caller to create in.
    EXPECT_EQ(DirID("a/b"), out.parID);
    EXPECT_EQ("", FSpName(out));

    Write("a/b/c.txt", "x");
    EXPECT_EQ(noErr, OpenPath(mVRefNum, mDirID, "a/b/c.txt", &out));
    EXPECT_EQ("c.txt", FSpName(out));
    EXPECT_EQ(DirID("a/b"), out.parID);
    EXPECT_EQ(noErr, OpenPath(mVRefNum, mDirID, "a", nullptr));
}

TEST_F(FileSystemUtils, OpenPathRefusesWhatLeadsElsewhere) {
    MakeDir("d");
    for (char const* path : {"../x", "d/../../x", "a//b", "/etc/x", "d/./x", ".", "", "d/", "._x", "d/._x/y"}) {
        FSSpec out;
        EXPECT_EQ(1, OpenPath(mVRefNum, mDirID, path, &out)) << path;
    }
    EXPECT_EQ((std::set<std::string>{"d"}), Names(""));
    EXPECT_TRUE(Names("d").empty());
    EXPECT_NE(std::string::npos, Logged(2).find("Invalid path component \xD2..\xD3")) << Logged();
}

TEST_F(FileSystemUtils, OpenPathNeverGoesThroughLinksFilesOrFifos) {
    ScratchDir outside;
    ASSERT_EQ(0, symlink(outside.path().c_str(), (mRoot / "link").c_str()));
    Write("file", "data");
    ASSERT_EQ(0, mkfifo((mRoot / "fifo").c_str(), 0600));

    for (char const* path : {"link/x/y", "link/y", "file/b", "fifo/b"}) {
        FSSpec out;
        EXPECT_EQ(1, OpenPath(mVRefNum, mDirID, path, &out)) << path;
    }
    EXPECT_NE(std::string::npos, Logged(3).find("File \xD2link\xD3 is in the way. Can't create folder in its place."));
    EXPECT_NE(std::string::npos, Logged(3).find("File \xD2" "fifo\xD3 is in the way."));
    EXPECT_EQ("", RunShell("ls -A " + Quote(outside.path())));
    // As the last component a FIFO is only named, never opened.
    FSSpec out;
    EXPECT_EQ(noErr, OpenPath(mVRefNum, mDirID, "fifo", &out));
}

TEST_F(FileSystemUtils, FolderIteratorDeliversUsableItemsAndPassesOverTheRest) {
    WriteMacFile("mac", "0123456789", "resource bytes");
    ASSERT_EQ(noErr, FSpSetFLock(Spec("mac")));
    Write("plain", "abc");
    MakeDir("sub");
    ScratchDir outside;
    ASSERT_EQ(0, symlink(outside.path().c_str(), (mRoot / "link").c_str()));
    ASSERT_EQ(0, mkfifo((mRoot / "fifo").c_str(), 0600));
    Write("._orphan", "not ours");
    Write("broken", "b");
    Write("._broken", std::string("\x00\x05\x16\x07\x00\x02\x00\x00garbage", 15));  // a corrupt sidecar
    Write("e\xCC\x81", "decomposed");  // NFD: no exact Mac Roman name
    Write("\xE6\x97\xA5", "kanji");     // outside Mac Roman

    std::map<std::string, CFITObject> items;
    int unreadable = 0;
    {
        CFolderIterator it(mVRefNum, mDirID);
        CFITObject obj;
        for (short r; (r = it.Next(obj)) != CFolderIterator::kNoMore;) {
            if (r == CFolderIterator::kItem)
                items[obj.name] = obj;
            else
                ++unreadable;
        }
        EXPECT_EQ(CFolderIterator::kNoMore, it.Next(obj));
    }
    ASSERT_EQ((std::set<std::string>{"mac", "plain", "sub", "link", "broken"}), [&] {
        std::set<std::string> s;
        for (auto& [k, v] : items)
            s.insert(k);
        return s;
    }());
    EXPECT_EQ(3, unreadable);  // the FIFO and the two names

    CFITObject const& mac = items["mac"];
    EXPECT_EQ(FourCC("TEXT"), mac.type);
    EXPECT_EQ(FourCC("Fnwr"), mac.creator);
    EXPECT_EQ(10u, mac.dataLength);
    EXPECT_EQ(14u, mac.rsrcLength);
    EXPECT_EQ(1, mac.locked);
    EXPECT_EQ(0, mac.isFolder);
    unsigned long date = 0;
    EXPECT_EQ(noErr, GetModificationDate(Spec("mac"), date));
    EXPECT_EQ(date, mac.modDate);
    EXPECT_EQ(0u, items["plain"].type);
    EXPECT_EQ(0u, items["plain"].rsrcLength);
    EXPECT_EQ(1, items["sub"].isFolder);
    EXPECT_EQ(1u, items["broken"].dataLength);
    EXPECT_NE(std::string::npos, Logged(3).find("\xD2" "broken\xD3 cannot be read")) << Logged();
    EXPECT_EQ(0, items["link"].isFolder);
    EXPECT_EQ(2u, [&] {
        std::string l = Logged(3);
        size_t n = 0;
        for (size_t p = 0; (p = l.find("can't convert Unicode name", p)) != std::string::npos; ++p)
            ++n;
        return n;
    }());
}

TEST_F(FileSystemUtils, FolderIteratorRefillsAndEnds) {
    MakeDir("empty");
    {
        CFolderIterator it(mVRefNum, DirID("empty"));
        CFITObject obj;
        EXPECT_EQ(CFolderIterator::kNoMore, it.Next(obj));
    }
    MakeDir("many");
    for (int i = 0; i < 41; ++i)
        Write("many/f" + std::to_string(i), "");
    CFolderIterator it(mVRefNum, DirID("many"));
    CFITObject obj;
    std::set<std::string> seen;
    while (it.Next(obj) == CFolderIterator::kItem)
        seen.insert(obj.name);
    EXPECT_EQ(41u, seen.size());
    EXPECT_EQ(CFolderIterator::kNoMore, it.Next(obj));
}

TEST_F(FileSystemUtils, UniqueAndTemporaryNames) {
    CString name("x");
    EXPECT_EQ(noErr, MakeUniqueInFolder(mVRefNum, mDirID, name));
    EXPECT_STREQ("x", name.c_str());
    Write("x", "");
    Write("x 2", "");
    EXPECT_EQ(noErr, MakeUniqueInFolder(mVRefNum, mDirID, name));
    EXPECT_STREQ("x 3", name.c_str());

    FSSpec spec = Spec("x");
    CreateNewFSSpec(spec, kNewSpecUnique);
    EXPECT_EQ("x 3", FSpName(spec));
    EXPECT_EQ(mDirID, spec.parID);

    spec = Spec("x");
    CreateNewFSSpec(spec, kNewSpecCryptic);
    EXPECT_EQ(0u, FSpName(spec).rfind("Fennel.", 0));
    EXPECT_EQ(mDirID, spec.parID);
    EXPECT_FALSE(Exists(mRoot / FSpName(spec)));

    // The temporary folder is private to the user.
    ScratchDir cache;
    std::string old = getenv("XDG_CACHE_HOME") ? getenv("XDG_CACHE_HOME") : "";
    setenv("XDG_CACHE_HOME", cache.path().c_str(), 1);
    spec = Spec("x");
    CreateNewFSSpec(spec, kNewSpecInTempFolder);
    std::string path;
    EXPECT_EQ(noErr, FSpGetPath(spec, path));
    EXPECT_EQ(0u, path.rfind(cache.path() + "/fennelwright/", 0)) << path;
    struct stat st;
    ASSERT_EQ(0, stat(path.substr(0, path.rfind('/')).c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777);
    if (old.empty())
        unsetenv("XDG_CACHE_HOME");
    else
        setenv("XDG_CACHE_HOME", old.c_str(), 1);
}

TEST_F(FileSystemUtils, PathsAndLocations) {
    MakeDir("sub");
    int32_t sub = DirID("sub");
    CString out;
    PathNameFromVolAndDir(mVRefNum, sub, out, true);
    EXPECT_EQ(mRoot / "sub", std::string(out.c_str()));
    PathNameFromVolAndDir(mVRefNum, sub, out, false);
    EXPECT_STREQ("sub", out.c_str());
    Write("sub/f", "");
    EXPECT_EQ(mRoot / "sub/f", std::string(PosixPathFromFSSpec(Spec("sub/f")).c_str()));
    EXPECT_STREQ("<invalid path string>", PosixPathFromFSSpec(Spec("sub/none")).c_str());
    EXPECT_NE(std::string::npos, Logged(3).find("Cannot generate POSIX path from FSSpec for file none"));

    // Folders by name: created, found, and told apart from files.
    long made = 0;
    EXPECT_EQ(noErr, LongDirCreate(mVRefNum, mDirID, CString("made"), made));
    EXPECT_EQ(dupFNErr, LongDirCreate(mVRefNum, mDirID, CString("made"), made));
    short v = 0;
    long d = 0;
    EXPECT_EQ(noErr, GetFolderVolAndDir(mVRefNum, mDirID, CString("made"), v, d));
    EXPECT_EQ(made, d);
    EXPECT_TRUE(IsFolder(Spec("made")));
    EXPECT_EQ(fnfErr, GetFolderVolAndDir(mVRefNum, mDirID, CString("none"), v, d));
    EXPECT_NE(noErr, GetFolderVolAndDir(mVRefNum, sub, CString("f"), v, d));
    EXPECT_FALSE(IsFolder(Spec("sub/f")));

    // A folder that went away yields the empty text.
    ASSERT_EQ(0, system(("rm -r " + Quote(mRoot / "sub")).c_str()));
    PathNameFromVolAndDir(mVRefNum, sub, out, true);
    EXPECT_STREQ("", out.c_str());

    // Long-name locations compare by all three fields, names byte for byte.
    CLongFSSpec a(CString("Abc"), 1, 2), b(CString("Abc"), 1, 2);
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == CLongFSSpec(CString("abc"), 1, 2));
    EXPECT_FALSE(a == CLongFSSpec(CString("Abc"), 1, 3));
    EXPECT_FALSE(CLongFSSpec(CString(), 1, 2) == CLongFSSpec(CString(""), 1, 2));
    EXPECT_TRUE(CLongFSSpec(CString(), 1, 2) == CLongFSSpec(CString(), 1, 2));
    CLongFSSpec fromSpec(Spec("none"));
    EXPECT_STREQ("none", fromSpec.mName.c_str());
    EXPECT_EQ(mDirID, fromSpec.mDirID);
}

TEST_F(FileSystemUtils, LongRenameNeverReplaces) {
    Write("a", "A");
    Write("b", "B");
    ASSERT_EQ(0, chmod((mRoot / "a").c_str(), 0444));
    FSSpec a = Spec("a");
    EXPECT_EQ(dupFNErr, LongRename(a, CString("b")));
    EXPECT_EQ("B", ReadFile(mRoot / "b"));
    EXPECT_EQ(noErr, LongRename(a, CString("c")));
    EXPECT_EQ("c", FSpName(a));
    struct stat st;
    ASSERT_EQ(0, stat((mRoot / "c").c_str(), &st));
    EXPECT_EQ(0444u, st.st_mode & 0777);
}

TEST_F(FileSystemUtils, PermissionsOfFilesAndLinks) {
    Write("f", "");
    ASSERT_EQ(0, chmod((mRoot / "f").c_str(), 0640));
    EXPECT_STREQ("u=rw,g=r,o=", GetAccessPrivileges(Spec("f")).c_str());
    EXPECT_EQ(0, SetAccessPrivilegesBin(Spec("f"), 0600));
    unsigned short mode = 0;
    EXPECT_EQ(0, GetAccessPrivilegesBin(Spec("f"), mode));
    EXPECT_EQ(0600, mode & 0777);

    // Setting a link's permissions never reaches what it points to.
    ASSERT_EQ(0, symlink((mRoot / "f").c_str(), (mRoot / "l").c_str()));
    EXPECT_EQ(0, SetAccessPrivilegesBin(Spec("l"), 0777));
    struct stat st;
    ASSERT_EQ(0, stat((mRoot / "f").c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);

    EXPECT_NE(0, GetAccessPrivilegesBin(Spec("missing"), mode));
    EXPECT_EQ(0744, mode);
    EXPECT_NE(std::string::npos, Logged(3).find("Failed to read privileges of file missing"));
}

TEST_F(FileSystemUtils, CopyKeepsForksAndMetadata) {
    WriteMacFile("src", std::string(10000, 'd'), std::string(5000, 'r'));
    FSSpec src = Spec("src");
    uint32_t create = 2000000000u, mod = 2100000000u, backup = 2050000000u;
    ASSERT_EQ(noErr, FSpSetCatDates(src, &create, &mod, &backup));
    ASSERT_EQ(0, chmod((mRoot / "src").c_str(), 0640));
    ASSERT_EQ(noErr, FSpSetFLock(src));

    EXPECT_EQ(noErr, FSpCopyFileLongFSSpec(src, CLongFSSpec(CString("copy"), mVRefNum, mDirID)));
    EXPECT_EQ(std::string(10000, 'd'), ReadFile(mRoot / "copy"));
    EXPECT_EQ(std::string(5000, 'r'), ReadRsrc("copy"));
    SCatInfo info;
    ASSERT_EQ(noErr, FSpGetCatInfo(Spec("copy"), &info));
    EXPECT_EQ(FourCC("TEXT"), info.type);
    EXPECT_EQ(FourCC("Fnwr"), info.creator);
    EXPECT_EQ(create, info.createDate);
    EXPECT_EQ(mod, info.modDate);
    EXPECT_EQ(backup, info.backupDate);
    EXPECT_TRUE(info.locked);
    EXPECT_EQ(0640u, info.mode & 0777);
    // Only the source, the copy and their sidecars: no temporary file is left.
    EXPECT_EQ((std::set<std::string>{"src", "._src", "copy", "._copy"}), Names(""));

    // A plain file stays plain: no sidecar is made for it.
    Write("plain", "p");
    EXPECT_EQ(noErr, FSpCopyFileLongFSSpec(Spec("plain"), CLongFSSpec(CString("plain2"), mVRefNum, mDirID)));
    EXPECT_FALSE(Exists(mRoot / "._plain2"));
    EXPECT_EQ("p", ReadFile(mRoot / "plain2"));

    // The target must be free.
    EXPECT_NE(noErr, FSpCopyFileLongFSSpec(Spec("plain"), CLongFSSpec(CString("copy"), mVRefNum, mDirID)));
    EXPECT_EQ(std::string(10000, 'd'), ReadFile(mRoot / "copy"));
}

TEST_F(FileSystemUtils, FailedForkCopyLeavesNothingBehind) {
    // A corrupt sidecar: the resource fork cannot be read.
    WriteMacFile("bad", "data", "rsrc");
    ASSERT_TRUE(WriteFile(mRoot / "._bad", std::string("\x00\x05\x16\x07garbage", 11)));
    // A link: it has no data fork to open.
    ASSERT_EQ(0, symlink("/etc/hostname", (mRoot / "link").c_str()));
    std::set<std::string> before = Names("");
    for (char const* name : {"bad", "link"}) {
        EXPECT_NE(noErr, FSpCopyFileLongFSSpec(Spec(name), CLongFSSpec(CString("copy"), mVRefNum, mDirID))) << name;
        EXPECT_EQ(before, Names("")) << name;
    }
    EXPECT_NE(std::string::npos, Logged(3).find("Failed to open")) << Logged();
}

TEST_F(FileSystemUtils, CopyForkOfEmptyResourceForkWritesNothing) {
    Write("a", "data");
    Write("b", "");
    EXPECT_TRUE(CopyFork(kResourceFork, Spec("b"), Spec("a")));
    EXPECT_FALSE(Exists(mRoot / "._b"));
    EXPECT_TRUE(CopyFork(kDataFork, Spec("b"), Spec("a")));
    EXPECT_EQ("data", ReadFile(mRoot / "b"));
    unsigned long before = CheckFailureCount();
    EXPECT_FALSE(CopyFork(7, Spec("b"), Spec("a")));
    EXPECT_EQ(before + 1, CheckFailureCount());
}

TEST_F(FileSystemUtils, FinderInfoAndClosers) {
    Write("f", "x");
    EXPECT_EQ(noErr, SetTypeAndCreator(CString("f"), Spec("f"), FourCC("TEXT"), FourCC("R*ch")));
    FInfo fi;
    ASSERT_EQ(noErr, FSpGetFInfo(Spec("f"), &fi));
    EXPECT_EQ(FourCC("R*ch"), fi.fdCreator);
    EXPECT_NE(noErr, SetTypeAndCreator(CString("gone"), Spec("gone"), 1, 2));
    EXPECT_NE(std::string::npos, Logged(3).find("Failed to read info of \xD2gone\xD3."));

    // Closers close what is open and leave slots marked closed alone.
    short refs[2] = {-1, -1};
    {
        CFSCloser closer(refs, 2);
        ASSERT_EQ(noErr, FSpOpenDF(Spec("f"), fsRdPerm, &refs[0]));
    }
    EXPECT_EQ(-1, refs[0]);
    FILE* files[2] = {fopen((mRoot / "f").c_str(), "r"), nullptr};
    {
        CFILECloser closer(files, 2);
    }
    EXPECT_EQ(nullptr, files[0]);
}

}  // namespace
